#pragma once

#include <netinet/in.h>

#include <string>

// Fills `address` with the IPv4 address of host (a name or dotted text; empty
// means any) and port. Returns 0 or the socket error number
// (WSAHOST_NOT_FOUND when the name cannot be resolved).
int ResolveIPv4(const std::string& host, unsigned port, sockaddr_in& address);

// Dotted text and host-order port of an IPv4 address.
std::string DottedAddress(const sockaddr_in& address);
unsigned HostOrderPort(const sockaddr_in& address);

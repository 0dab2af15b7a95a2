#pragma once

#include <sys/socket.h>

#include <string>
#include <vector>

// A socket address of either family, IPv4 or IPv6.
struct SocketAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;

  int Family() const { return storage.ss_family; }
  const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
  // "127.0.0.1", "::1" (no brackets).
  std::string Text() const;
  unsigned Port() const;
};

// A literal address (dotted IPv4 or IPv6, without brackets) with the port;
// an empty host is IPv4's any address. False for anything else, a name
// included.
bool ParseNumericAddress(const std::string& host, unsigned port, SocketAddress& address);

// Every address of a host name or literal, in the order the system prefers
// them. Returns 0, or WSAHOST_NOT_FOUND when there is none. May block while
// the name is looked up.
int ResolveAddresses(const std::string& host, unsigned port, std::vector<SocketAddress>& addresses);

#pragma once

#include <sys/socket.h>

#include <string>

namespace testenv {

// A listening TCP socket on the loopback address of one family (127.0.0.1
// or ::1), on a free port that goes to *port. Throws when it cannot listen.
int ListenOnLoopback(bool ipv6, int backlog, int* port);

// The loopback host as a URL writes it: "127.0.0.1" or "[::1]".
std::string LoopbackHost(bool ipv6);

// "127.0.0.1:21" or "[::1]:21".
std::string AddressText(const sockaddr_storage& address);

}  // namespace testenv

#pragma once

#include <sys/socket.h>

#include <string>

namespace testenv {

// Servers that stand for a remote host listen on this address, another than
// the client's own (127.0.0.1), so that nothing passes only because both
// ends share one address.
inline constexpr char kServerAddress[] = "127.0.0.2";
inline const std::string kServerHost = kServerAddress;
// An address neither end uses: for connections from a stranger.
inline constexpr char kStrangerAddress[] = "127.0.0.3";

// A listening TCP socket on the servers' loopback address of one family
// (kServerAddress or ::1), on a free port that goes to *port. Throws when it
// cannot listen.
int ListenOnLoopback(bool ipv6, int backlog, int* port);

// The servers' loopback host as a URL writes it: "127.0.0.2" or "[::1]".
std::string LoopbackHost(bool ipv6);

// "127.0.0.2:21" or "[::1]:21".
std::string AddressText(const sockaddr_storage& address);

}  // namespace testenv

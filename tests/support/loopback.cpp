#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <stdexcept>

namespace testenv {

int ListenOnLoopback(bool ipv6, int backlog, int* port) {
  sockaddr_storage address{};
  socklen_t length = 0;
  if (ipv6) {
    auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_loopback;
    length = sizeof v6;
  } else {
    auto& v4 = reinterpret_cast<sockaddr_in&>(address);
    v4.sin_family = AF_INET;
    inet_pton(AF_INET, kServerAddress, &v4.sin_addr);
    length = sizeof v4;
  }
  const int fd = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("test server cannot listen on the loopback");
  }
  *port = ipv6 ? ntohs(reinterpret_cast<sockaddr_in6&>(address).sin6_port)
               : ntohs(reinterpret_cast<sockaddr_in&>(address).sin_port);
  return fd;
}

std::string LoopbackHost(bool ipv6) { return ipv6 ? "[::1]" : kServerAddress; }

std::string AddressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    return "[" + std::string(text) + "]:" + std::to_string(ntohs(v6.sin6_port));
  }
  const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
  inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(v4.sin_port));
}

}  // namespace testenv

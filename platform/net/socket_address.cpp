#include "platform/net/socket_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstring>

#include "platform/net/socket_errors.h"

int ResolveIPv4(const std::string& host, unsigned port, sockaddr_in& address) {
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (host.empty()) {
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    return 0;
  }
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1) {
    return 0;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    return WSAHOST_NOT_FOUND;
  }
  address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return 0;
}

std::string DottedAddress(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return text;
}

unsigned HostOrderPort(const sockaddr_in& address) { return ntohs(address.sin_port); }

#include "platform/net/socket_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>

#include "platform/net/socket_errors.h"

namespace {

SocketAddress FromSockaddr(const sockaddr* address, socklen_t length) {
  SocketAddress result;
  std::memcpy(&result.storage, address, length);
  result.length = length;
  return result;
}

}  // namespace

std::string SocketAddress::Text() const {
  char text[INET6_ADDRSTRLEN] = {};
  if (Family() == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr, text, sizeof text);
  } else {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr, text, sizeof text);
  }
  return text;
}

unsigned SocketAddress::Port() const {
  if (Family() == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
  return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
}

bool ParseNumericAddress(const std::string& host, unsigned port, SocketAddress& address) {
  sockaddr_in v4{};
  v4.sin_family = AF_INET;
  v4.sin_port = htons(static_cast<uint16_t>(port));
  if (host.empty() || inet_pton(AF_INET, host.c_str(), &v4.sin_addr) == 1) {
    if (host.empty()) v4.sin_addr.s_addr = htonl(INADDR_ANY);
    address = FromSockaddr(reinterpret_cast<const sockaddr*>(&v4), sizeof v4);
    return true;
  }
  sockaddr_in6 v6{};
  v6.sin6_family = AF_INET6;
  v6.sin6_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET6, host.c_str(), &v6.sin6_addr) != 1) return false;
  address = FromSockaddr(reinterpret_cast<const sockaddr*>(&v6), sizeof v6);
  return true;
}

int ResolveAddresses(const std::string& host, unsigned port, std::vector<SocketAddress>& addresses) {
  addresses.clear();
  SocketAddress literal;
  if (ParseNumericAddress(host, port, literal)) {
    addresses.push_back(literal);
    return 0;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) return WSAHOST_NOT_FOUND;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET || entry->ai_family == AF_INET6)
      addresses.push_back(FromSockaddr(entry->ai_addr, entry->ai_addrlen));
  }
  freeaddrinfo(found);
  return addresses.empty() ? WSAHOST_NOT_FOUND : 0;
}

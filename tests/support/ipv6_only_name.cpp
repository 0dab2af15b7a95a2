#include "tests/support/ipv6_only_name.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>

namespace testenv {

namespace {

constexpr const char* kPrivateName = "kestrion-ipv6-only.test";

bool ResolvesOnlyToIPv6(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return false;
  bool onlyIPv6 = found != nullptr;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next)
    onlyIPv6 = onlyIPv6 && entry->ai_family == AF_INET6;
  freeaddrinfo(found);
  return onlyIPv6;
}

}  // namespace

Ipv6OnlyName::Ipv6OnlyName() {
  for (const char* name : {"ip6-localhost", "ip6-loopback", "localhost6"}) {
    if (ResolvesOnlyToIPv6(name)) {
      m_name = name;
      return;
    }
  }
  const char* bin = getenv("KESTRION_BIN");
  if (bin == nullptr) {
    m_why = "KESTRION_BIN is not set";
    return;
  }
  const std::string hosts = m_dir.File("hosts"), launcher = m_dir.File("kestrion");
  WriteFile(hosts, std::string("127.0.0.1 localhost\n::1 ") + kPrivateName + "\n");
  const std::string probe = "unshare --mount sh -c 'mount --bind \"$0\" /etc/hosts && getent ahosts " +
                            std::string(kPrivateName) + "' '" + hosts + "' >/dev/null 2>&1";
  if (std::system(probe.c_str()) != 0) {
    m_why = "no name resolves only to IPv6 here, and a private /etc/hosts needs root and unshare";
    return;
  }
  WriteFile(launcher, "#!/bin/sh\nexec unshare --mount sh -c 'mount --bind \"$0\" /etc/hosts && exec \"$@\"' '" +
                          hosts + "' '" + bin + "' \"$@\"\n");
  chmod(launcher.c_str(), 0755);
  m_previousBin = bin;
  setenv("KESTRION_BIN", launcher.c_str(), 1);
  m_name = kPrivateName;
}

Ipv6OnlyName::~Ipv6OnlyName() {
  if (!m_previousBin.empty()) setenv("KESTRION_BIN", m_previousBin.c_str(), 1);
}

}  // namespace testenv

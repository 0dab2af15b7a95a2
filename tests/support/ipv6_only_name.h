#pragma once

#include <string>

#include "tests/support/test_env.h"

namespace testenv {

// A host name that resolves to ::1 alone, for the kestrion runs made while
// this object lives. The system's own such name serves where there is one
// (Debian's /etc/hosts has ip6-localhost); otherwise kestrion is run in a
// mount namespace of its own that sees a hosts file naming one, which needs
// root and unshare: KESTRION_BIN points to a launcher meanwhile.
class Ipv6OnlyName {
 public:
  Ipv6OnlyName();
  ~Ipv6OnlyName();  // KESTRION_BIN as it was
  Ipv6OnlyName(const Ipv6OnlyName&) = delete;
  Ipv6OnlyName& operator=(const Ipv6OnlyName&) = delete;

  // Empty when there is no way to have such a name here; Why() then says why.
  const std::string& Name() const { return m_name; }
  const std::string& Why() const { return m_why; }

 private:
  ScratchDir m_dir;
  std::string m_name;
  std::string m_why;
  std::string m_previousBin;
};

}  // namespace testenv

#pragma once

#include <string>

#include "tests/support/loopback_server.h"

namespace testenv {

// webfs (webfsd), a small static file server that refuses a range reaching
// past the end of the file, on a free port of the servers' address in the foreground, with
// its served folder in a scratch folder of its own. Stopped by its PID.
class WebfsServer : public LoopbackServer {
 public:
  static constexpr const char* kBinary = "/usr/bin/webfsd";

  WebfsServer();
  ~WebfsServer();

  std::string FilePath(const std::string& name) const { return m_root + "/" + name; }
  std::string Url(const std::string& name) const;

 private:
  bool Start();

  std::string m_root;
};

}  // namespace testenv

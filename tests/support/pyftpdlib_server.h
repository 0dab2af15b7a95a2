#pragma once

#include <string>

#include "tests/support/loopback_server.h"

namespace testenv {

// The real pyftpdlib (Debian's python3-pyftpdlib, run by the system's
// python3) on a free port of the servers' address: anonymous and read-only, serving a
// scratch folder, with every command and reply logged, and greeting with
// the banner given (pyftpdlib's own when empty; one longer than 75
// characters goes out as a reply of several lines). In active mode it
// opens the data connection at PORT time, so it starts transfers with 125.
// Stopped by its PID.
class PyftpdlibServer : public LoopbackServer {
 public:
  static constexpr const char* kPython = "/usr/bin/python3";

  explicit PyftpdlibServer(std::string banner = "");
  ~PyftpdlibServer();

  void AddFile(const std::string& name, const std::string& data);
  std::string Url(const std::string& name) const;
  // The server's log: commands and replies.
  std::string Log() const;

 private:
  bool Start();

  const std::string m_banner;
  std::string m_root;
};

}  // namespace testenv

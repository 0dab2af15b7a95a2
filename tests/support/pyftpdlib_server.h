#pragma once

#include <string>

#include "tests/support/server_process.h"
#include "tests/support/test_env.h"

namespace testenv {

// The real pyftpdlib (Debian's python3-pyftpdlib, run by the system's
// python3) on a free 127.0.0.1 port: anonymous and read-only, serving a
// scratch folder, with every command and reply logged. In active mode it
// opens the data connection at PORT time, so it starts transfers with 125.
// Stopped by its PID.
class PyftpdlibServer {
 public:
  static constexpr const char* kPython = "/usr/bin/python3";

  PyftpdlibServer();
  ~PyftpdlibServer();
  PyftpdlibServer(const PyftpdlibServer&) = delete;
  PyftpdlibServer& operator=(const PyftpdlibServer&) = delete;

  void AddFile(const std::string& name, const std::string& data);
  std::string Url(const std::string& name) const;
  // The server's log: commands and replies.
  std::string Log() const;

  // False when it could not be started; Error() says why.
  bool Running() const { return m_process.Running(); }
  const std::string& Error() const { return m_error; }

 private:
  bool Start();

  ScratchDir m_dir;
  std::string m_root;
  int m_port = 0;
  ServerProcess m_process;
  std::string m_error;
};

}  // namespace testenv

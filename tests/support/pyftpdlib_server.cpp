#include "tests/support/pyftpdlib_server.h"

#include <sys/stat.h>

namespace testenv {

PyftpdlibServer::PyftpdlibServer() : m_root(m_dir.File("root")) {
  mkdir(m_root.c_str(), 0755);
  StartWithRetries([&] { return Start(); });
}

PyftpdlibServer::~PyftpdlibServer() = default;

bool PyftpdlibServer::Start() {
  m_port = FreeLoopbackPort();
  const std::string output = m_dir.File("pyftpdlib.log");
  if (m_process.Start({kPython, "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", std::to_string(m_port), "-d", m_root, "-D"},
                      output, m_port))
    return true;
  m_error = "pyftpdlib did not start (scripts/install-deps test installs python3-pyftpdlib): " + ReadFile(output);
  return false;
}

void PyftpdlibServer::AddFile(const std::string& name, const std::string& data) {
  WriteFile(m_root + "/" + name, data);
}

std::string PyftpdlibServer::Url(const std::string& name) const {
  return "ftp://127.0.0.1:" + std::to_string(m_port) + "/" + name;
}

std::string PyftpdlibServer::Log() const { return ReadFile(m_dir.File("pyftpdlib.log")); }

}  // namespace testenv

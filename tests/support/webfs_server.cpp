#include "tests/support/webfs_server.h"

#include <unistd.h>

#include <filesystem>

namespace testenv {

WebfsServer::WebfsServer() : m_root(m_dir.File("www")) {
  std::filesystem::create_directories(m_root);
  StartWithRetries([&] { return Start(); });
}

WebfsServer::~WebfsServer() = default;

std::string WebfsServer::Url(const std::string& name) const {
  return "http://" + std::string(kServerAddress) + ":" + std::to_string(m_port) + "/" + name;
}

bool WebfsServer::Start() {
  if (access(kBinary, X_OK) != 0) {
    m_error = std::string(kBinary) + " is not installed (scripts/install-deps test installs it)";
    return false;
  }
  m_port = FreeLoopbackPort();
  const std::string output = m_dir.File("webfsd.out");
  // -F: no fork, so the PID is the server's; -j: no folder listings.
  if (m_process.Start({kBinary, "-F", "-4", "-j", "-i", kServerAddress, "-p", std::to_string(m_port), "-r", m_root},
                      output, m_port))
    return true;
  m_error = "webfsd did not start: " + ReadFile(output);
  return false;
}

}  // namespace testenv

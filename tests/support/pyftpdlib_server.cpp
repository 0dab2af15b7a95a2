#include "tests/support/pyftpdlib_server.h"

#include <sys/stat.h>

namespace testenv {

namespace {

// pyftpdlib's own command line has no banner: the server is set up by hand,
// as its documentation shows, with the log its -D option gives.
constexpr const char* kServerScript = R"(import logging, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.log import config_logging
from pyftpdlib.servers import FTPServer

root, port, banner, host = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
config_logging(level=logging.DEBUG)
authorizer = DummyAuthorizer()
authorizer.add_anonymous(root)
FTPHandler.authorizer = authorizer
if banner:
    FTPHandler.banner = banner
FTPServer((host, port), FTPHandler).serve_forever()
)";

}  // namespace

PyftpdlibServer::PyftpdlibServer(std::string banner) : m_banner(std::move(banner)), m_root(m_dir.File("root")) {
  mkdir(m_root.c_str(), 0755);
  StartWithRetries([&] { return Start(); });
}

PyftpdlibServer::~PyftpdlibServer() = default;

bool PyftpdlibServer::Start() {
  m_port = FreeLoopbackPort();
  const std::string output = m_dir.File("pyftpdlib.log");
  const std::string script = m_dir.File("server.py");
  WriteFile(script, kServerScript);
  if (m_process.Start({kPython, script, m_root, std::to_string(m_port), m_banner, kServerAddress}, output, m_port))
    return true;
  m_error = "pyftpdlib did not start (scripts/install-deps test installs python3-pyftpdlib): " + ReadFile(output);
  return false;
}

void PyftpdlibServer::AddFile(const std::string& name, const std::string& data) {
  WriteFile(m_root + "/" + name, data);
}

std::string PyftpdlibServer::Url(const std::string& name) const {
  return "ftp://" + std::string(kServerAddress) + ":" + std::to_string(m_port) + "/" + name;
}

std::string PyftpdlibServer::Log() const { return ReadFile(m_dir.File("pyftpdlib.log")); }

}  // namespace testenv

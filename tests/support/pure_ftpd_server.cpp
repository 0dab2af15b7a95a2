#include "tests/support/pure_ftpd_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace testenv {

namespace {

// The user's files belong to nobody in particular: the server reads them
// as this user (65534, "nobody" on Debian).
constexpr const char* kUserId = "65534";

}  // namespace

std::string PureFtpdServer::Program(const std::string& name) {
  for (const std::string folder : {"/usr/sbin/", "/usr/bin/"}) {
    for (const std::string& root : {std::string(), std::string(kUnpackedRoot)}) {
      const std::string path = root + folder + name;
      if (access(path.c_str(), X_OK) == 0) return path;
    }
  }
  return "";
}

PureFtpdServer::PureFtpdServer() : m_home(m_dir.File("home")) {
  mkdir(m_home.c_str(), 0755);
  chmod(m_dir.Path().c_str(), 0755);
  StartWithRetries([&] { return Start(); });
}

PureFtpdServer::~PureFtpdServer() = default;

bool PureFtpdServer::Start() {
  const std::string server = Program("pure-ftpd"), passwords = Program("pure-pw");
  if (server.empty() || passwords.empty()) {
    m_error = std::string("pure-ftpd is not installed (scripts/install-deps test unpacks it into ") + kUnpackedRoot + ")";
    return false;
  }
  // "/./" at the end of the home keeps the user inside it.
  const std::string passwd = m_dir.File("pureftpd.passwd"), database = m_dir.File("pureftpd.pdb");
  WriteFile(passwd, std::string(kUser) + ":" + kPasswordHash + ":" + kUserId + ":" + kUserId + "::" + m_home +
                        "/./::::::::::::\n");
  const std::string makeDatabase = "'" + passwords + "' mkdb '" + database + "' -f '" + passwd + "' >/dev/null 2>&1";
  if (std::system(makeDatabase.c_str()) != 0) {
    m_error = "pure-pw could not make the user database";
    return false;
  }
  m_port = FreeLoopbackPort();
  const std::string output = m_dir.File("pure-ftpd.out");
  // -E: no anonymous logins; -H: no name lookups of clients.
  if (m_process.Start({server, "-S", std::string(kServerAddress) + "," + std::to_string(m_port), "-l", "puredb:" + database, "-E", "-H"},
                      output, m_port))
    return true;
  m_error = "pure-ftpd did not start (it needs root): " + ReadFile(output);
  return false;
}

void PureFtpdServer::AddFile(const std::string& name, const std::string& data) {
  const std::string path = m_home + "/" + name;
  WriteFile(path, data);
  chmod(path.c_str(), 0644);
}

std::string PureFtpdServer::Url(const std::string& name) const {
  return std::string("ftp://") + kUser + ":" + kPassword + "@" + kServerAddress + ":" + std::to_string(m_port) + "/" + name;
}

}  // namespace testenv

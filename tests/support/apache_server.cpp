#include "tests/support/apache_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace testenv {

namespace {

constexpr const char* kModules = "/usr/lib/apache2/modules";

// Started as root, Apache serves as www-data; as anyone else, as that user.
std::string Config(const std::string& prefix, int port, const std::string& root) {
  std::string config = "ServerRoot " + prefix + "\n" + "Listen " + std::string(kServerAddress) + ":" + std::to_string(port) + "\n";
  for (const char* module : {"mpm_event", "authz_core", "dir", "mime"}) {
    config += std::string("LoadModule ") + module + "_module " + kModules + "/mod_" + module + ".so\n";
  }
  if (geteuid() == 0) config += "User www-data\nGroup www-data\n";
  return config +
         "ServerName " + std::string(kServerAddress) + "\n"
         "PidFile " + prefix + "/httpd.pid\n"
         "ErrorLog " + prefix + "/error.log\n"
         "LogFormat \"%>s|%{Range}i|%B|%r\" kestrion\n"
         "CustomLog " + prefix + "/access.log kestrion\n"
         "TypesConfig /dev/null\n"
         "DocumentRoot " + root + "\n"
         "DirectoryIndex index.html\n"
         "<Directory " + root + ">\n  Require all granted\n</Directory>\n";
}

}  // namespace

ApacheServer::ApacheServer(const std::string& extraConfig) : m_root(m_dir.File("www")) {
  std::filesystem::create_directories(m_root);
  // The server's user must reach the served folder.
  chmod(m_dir.Path().c_str(), 0755);
  chmod(m_root.c_str(), 0755);
  StartWithRetries([&] { return Start(extraConfig); });
}

ApacheServer::~ApacheServer() = default;

bool ApacheServer::Start(const std::string& extraConfig) {
  if (access(kBinary, X_OK) != 0) {
    m_error = std::string(kBinary) + " is not installed (scripts/install-deps test installs it)";
    return false;
  }
  m_port = FreeLoopbackPort();
  const std::string conf = m_dir.File("httpd.conf");
  WriteFile(conf, Config(m_dir.Path(), m_port, m_root) + extraConfig);
  const std::string output = m_dir.File("httpd.out");
  if (m_process.Start({kBinary, "-X", "-f", conf}, output, m_port)) return true;
  m_error = "apache2 did not start: " + ReadFile(output) + ReadFile(m_dir.File("error.log"));
  return false;
}

void ApacheServer::AddFile(const std::string& name, const std::string& data) {
  const std::filesystem::path path = FilePath(name);
  for (std::filesystem::path folder = path.parent_path(); folder.string().size() > m_root.size();
       folder = folder.parent_path()) {
    std::filesystem::create_directories(folder);
    chmod(folder.c_str(), 0755);
  }
  WriteFile(path, data);
  chmod(path.c_str(), 0644);
}

std::string ApacheServer::Url(const std::string& path) const {
  return "http://" + std::string(kServerAddress) + ":" + std::to_string(m_port) + path;
}

std::vector<std::string> ApacheServer::AccessLog() const { return ReadLines(m_dir.File("access.log")); }

}  // namespace testenv

#include "tests/support/nginx_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace testenv {

namespace {


// As Debian configures it: sendfile with tcp_nopush, which holds a reply's
// last partial segment back until nginx pushes it.
std::string Config(const std::string& prefix, int port, const std::string& root, const std::string& locations,
                   const std::string& httpDirectives, const std::string& listenOptions) {
  return "worker_processes 1;\n"
         "master_process off;\n"
         "daemon off;\n"
         "pid " + prefix + "/nginx.pid;\n"
         "error_log " + prefix + "/error.log;\n"
         "events { worker_connections 128; }\n"
         "http {\n"
         "  log_format kestrion '$status|$http_range|$body_bytes_sent|$request';\n"
         "  access_log " + prefix + "/access.log kestrion;\n"
         "  client_body_temp_path " + prefix + "/tmp;\n"
         "  proxy_temp_path " + prefix + "/tmp;\n"
         "  fastcgi_temp_path " + prefix + "/tmp;\n"
         "  uwsgi_temp_path " + prefix + "/tmp;\n"
         "  scgi_temp_path " + prefix + "/tmp;\n"
         "  sendfile on;\n"
         "  tcp_nopush on;\n" +
         httpDirectives +
         "  server {\n"
         "    listen " + std::string(kServerAddress) + ":" + std::to_string(port) + listenOptions + ";\n"
         "    root " + root + ";\n" +
         locations +
         "  }\n"
         "}\n";
}

}  // namespace

bool NginxServer::Available() { return access(kBinary, X_OK) == 0; }

NginxServer::NginxServer(const std::string& locations, const std::string& httpDirectives,
                         const std::string& listenOptions)
    : m_root(m_dir.File("www")) {
  std::filesystem::create_directories(m_root);
  std::filesystem::create_directories(m_dir.File("tmp"));
  // nginx's workers would drop to "nobody" only with a master; still, keep the
  // served folder readable for any user.
  chmod(m_dir.Path().c_str(), 0755);
  chmod(m_root.c_str(), 0755);
  if (!Available()) {
    m_error = std::string(kBinary) + " is not installed";
    return;
  }
  StartWithRetries([&] { return Start(locations, httpDirectives, listenOptions); });
}

NginxServer::~NginxServer() = default;

std::string NginxServer::Url(const std::string& name) const {
  return "http://" + std::string(kServerAddress) + ":" + std::to_string(m_port) + "/" + name;
}

bool NginxServer::Start(const std::string& locations, const std::string& httpDirectives,
                        const std::string& listenOptions) {
  m_port = FreeLoopbackPort();
  const std::string prefix = m_dir.Path();
  const std::string conf = m_dir.File("nginx.conf");
  WriteFile(conf, Config(prefix, m_port, m_root, locations, httpDirectives, listenOptions));
  const std::string outputPath = m_dir.File("nginx.out");
  if (m_process.Start({kBinary, "-p", prefix, "-c", conf}, outputPath, m_port)) return true;
  m_error = "nginx did not start: " + ReadFile(outputPath) + ReadFile(m_dir.File("error.log"));
  return false;
}

std::vector<std::string> NginxServer::AccessLog() const {
  std::vector<std::string> lines;
  for (const std::string& line : ReadLines(m_dir.File("access.log")))
    if (line.find("|GET ") != std::string::npos) lines.push_back(line);
  return lines;
}

}  // namespace testenv

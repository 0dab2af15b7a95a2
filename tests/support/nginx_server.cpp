#include "tests/support/nginx_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace testenv {

namespace {

constexpr int kStartAttempts = 3;

bool CanConnect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

std::string Config(const std::string& prefix, int port, const std::string& root, const std::string& locations) {
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
         "  server {\n"
         "    listen 127.0.0.1:" + std::to_string(port) + ";\n"
         "    root " + root + ";\n" +
         locations +
         "  }\n"
         "}\n";
}

}  // namespace

bool NginxServer::Available() { return access(kBinary, X_OK) == 0; }

NginxServer::NginxServer(const std::string& locations) : m_root(m_dir.File("www")) {
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
  for (int attempt = 0; attempt < kStartAttempts && !Running(); ++attempt) Start(locations);
}

NginxServer::~NginxServer() { StopProcess(); }

std::string NginxServer::Url(const std::string& name) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + "/" + name;
}

bool NginxServer::Start(const std::string& locations) {
  m_port = FreeLoopbackPort();
  const std::string prefix = m_dir.Path();
  const std::string conf = m_dir.File("nginx.conf");
  WriteFile(conf, Config(prefix, m_port, m_root, locations));
  const std::string outputPath = m_dir.File("nginx.out");
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    execl(kBinary, kBinary, "-p", prefix.c_str(), "-c", conf.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid < 0) {
    m_error = "fork failed";
    return false;
  }
  m_pid = pid;
  if (WaitUntilListening()) return true;
  StopProcess();
  m_error = "nginx did not start: " + ReadFile(outputPath) + ReadFile(m_dir.File("error.log"));
  return false;
}

bool NginxServer::WaitUntilListening() const {
  for (int i = 0; i < 500; ++i) {
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) return false;
    if (CanConnect(m_port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void NginxServer::StopProcess() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 300; ++i) {
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(m_pid, SIGKILL);
  waitpid(m_pid, &status, 0);
  m_pid = -1;
}

std::vector<std::string> NginxServer::AccessLog() const {
  std::vector<std::string> lines;
  for (const std::string& line : ReadLines(m_dir.File("access.log")))
    if (line.find("|GET ") != std::string::npos) lines.push_back(line);
  return lines;
}

}  // namespace testenv

#include "tests/support/vsftpd_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <utility>

namespace testenv {

namespace {

// An id no account of the machine is likely to have; the user's files are
// readable by everyone anyway.
constexpr const char* kUserId = "64123";

}  // namespace

bool VsftpdServer::Available() { return access(kBinary, X_OK) == 0; }

VsftpdServer::VsftpdServer(Login login, std::string extraConfig)
    : m_login(login), m_strExtraConfig(std::move(extraConfig)), m_root(m_dir.File("root")) {
  mkdir(m_root.c_str(), 0755);
  mkdir(m_dir.File("empty").c_str(), 0555);
  // The local user must reach its home.
  chmod(m_dir.Path().c_str(), 0755);
  if (!Available()) {
    m_error = std::string(kBinary) + " is not installed";
    return;
  }
  StartWithRetries([&] { return Start(); });
}

VsftpdServer::~VsftpdServer() = default;

void VsftpdServer::WriteConfig() const {
  std::ofstream config(m_dir.File("vsftpd.conf"));
  config << "listen=YES\n"
         << "listen_ipv6=NO\n"
         << "listen_address=" << kServerAddress << "\n"
         << "listen_port=" << m_port << "\n"
         << "background=NO\n"
         << "seccomp_sandbox=NO\n"
         << "connect_from_port_20=NO\n"
         << "port_enable=YES\n"
         << "pasv_enable=NO\n"
         << "write_enable=NO\n";
  if (m_login == Login::kAnonymous) {
    config << "run_as_launching_user=YES\n"
           << "anonymous_enable=YES\n"
           << "local_enable=NO\n"
           << "anon_root=" << m_root << "\n";
  } else {
    config << "anonymous_enable=NO\n"
           << "local_enable=YES\n"
           << "chroot_local_user=NO\n"
           << "pam_service_name=vsftpd\n";
  }
  config << "secure_chroot_dir=" << m_dir.File("empty") << "\n"
         << "log_ftp_protocol=YES\n"
         << "xferlog_enable=YES\n"
         << "dual_log_enable=YES\n"
         << "vsftpd_log_file=" << m_dir.File("vsftpd.log") << "\n"
         << "xferlog_file=" << m_dir.File("xferlog") << "\n"
         << "max_clients=0\n"
         << "max_per_ip=0\n"
         << m_strExtraConfig;
}

bool VsftpdServer::Start() {
  m_port = FreeLoopbackPort();
  WriteConfig();
  const std::string config = m_dir.File("vsftpd.conf");
  const std::string output = m_dir.File("vsftpd.out");
  const std::vector<std::string> command =
      m_login == Login::kAnonymous ? std::vector<std::string>{kBinary, config} : LocalUserCommand(config);
  if (m_process.Start(command, output, m_port)) return true;
  m_error = "vsftpd did not start: " + ReadFile(output);
  return false;
}

void VsftpdServer::AddFile(const std::string& name, const std::string& data) {
  WriteFile(FilePath(name), data);
  chmod(FilePath(name).c_str(), 0644);
}

std::string VsftpdServer::FilePath(const std::string& name) const { return m_root + "/" + name; }

std::string VsftpdServer::Url(const std::string& path) const {
  const std::string login = m_login == Login::kLocalUser ? std::string(kUser) + ":" + kPassword + "@" : "";
  return "ftp://" + login + kServerAddress + ":" + std::to_string(m_port) + "/" + path;
}

// The machine's accounts and the user, bound over /etc/passwd and
// /etc/shadow where only vsftpd sees them.
std::vector<std::string> VsftpdServer::LocalUserCommand(const std::string& config) const {
  const std::string passwd = m_dir.File("passwd"), shadow = m_dir.File("shadow");
  WriteFile(passwd, ReadFile("/etc/passwd") + kUser + ":x:" + kUserId + ":" + kUserId + "::" + m_root + ":/bin/sh\n");
  WriteFile(shadow, ReadFile("/etc/shadow") + kUser + ":" + kPasswordHash + ":19000:0:99999:7:::\n");
  chmod(shadow.c_str(), 0600);
  const std::string script = "mount --bind '" + passwd + "' /etc/passwd && mount --bind '" + shadow +
                             "' /etc/shadow && exec '" + kBinary + "' '" + config + "'";
  return {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c", script};
}

std::string VsftpdServer::Log() const { return ReadFile(m_dir.File("vsftpd.log")); }

// Lines look like: ... [pid 123] [ftp] FTP command: Client "127.0.0.1", "REST 100" (the client's address)
std::map<int, std::vector<std::string>> VsftpdServer::CommandsBySession() const {
  std::map<int, std::vector<std::string>> sessions;
  for (const auto& line : ReadLines(m_dir.File("vsftpd.log"))) {
    const size_t pidAt = line.find("[pid ");
    const size_t marker = line.find("FTP command: ");
    if (pidAt == std::string::npos || marker == std::string::npos) continue;
    const int pid = std::atoi(line.c_str() + pidAt + 5);
    const size_t open = line.find(", \"", marker);
    if (open == std::string::npos || line.back() != '"') continue;
    sessions[pid].push_back(line.substr(open + 3, line.size() - open - 4));
  }
  return sessions;
}

}  // namespace testenv

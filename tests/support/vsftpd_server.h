#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/support/loopback_server.h"

namespace testenv {

// The real vsftpd on a free port of the servers' address, with its config, served folder
// and logs in a scratch folder of its own: active-mode data connections,
// every command and reply logged. Stopped by its PID.
//
// kAnonymous: anonymous logins only; vsftpd runs as the launching user and
// so does not change its root, and a login starts in the served folder.
// kLocalUser: one local user (kUser, kPassword) whose home is the served
// folder and who is not confined to it, as Debian ships vsftpd. The user
// exists only for this server: vsftpd runs in a private mount namespace
// whose /etc/passwd and /etc/shadow name it. This needs root.
class VsftpdServer : public LoopbackServer {
 public:
  enum class Login { kAnonymous, kLocalUser };
  static constexpr const char* kBinary = "/usr/sbin/vsftpd";
  static constexpr const char* kUser = "kestrion";
  static bool Available();

  // extraConfig: more lines for vsftpd.conf (e.g. "anon_max_rate=131072").
  explicit VsftpdServer(Login login = Login::kAnonymous, std::string extraConfig = "");
  ~VsftpdServer();

  // Writes a file into the served folder (before or while it runs).
  void AddFile(const std::string& name, const std::string& data);
  std::string FilePath(const std::string& name) const;
  // The URL of a path relative to the login folder (written as a URL
  // writes it), with the user's name and password for kLocalUser.
  std::string Url(const std::string& path) const;

  // The commands logged so far per session (vsftpd's process id), in order.
  std::map<int, std::vector<std::string>> CommandsBySession() const;
  std::string Log() const;

 private:
  bool Start();
  void WriteConfig() const;
  // The command that starts vsftpd where the local user exists.
  std::vector<std::string> LocalUserCommand(const std::string& config) const;

  const Login m_login;
  const std::string m_strExtraConfig;
  std::string m_root;
};

}  // namespace testenv

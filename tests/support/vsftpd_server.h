#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/support/server_process.h"
#include "tests/support/test_env.h"

namespace testenv {

// The real vsftpd on a free 127.0.0.1 port, with its config, served folder
// and logs in a scratch folder of its own: anonymous logins only, active-mode
// data connections, every command and reply logged. Stopped by its PID.
// vsftpd runs as the launching user and so does not change its root: a URL
// names a served file by its full path (Url does that).
class VsftpdServer {
 public:
  static constexpr const char* kBinary = "/usr/sbin/vsftpd";
  static bool Available();

  VsftpdServer();
  ~VsftpdServer();
  VsftpdServer(const VsftpdServer&) = delete;
  VsftpdServer& operator=(const VsftpdServer&) = delete;

  // Writes a file into the served folder (before or while it runs).
  void AddFile(const std::string& name, const std::string& data);
  std::string FilePath(const std::string& name) const;
  std::string Url(const std::string& name) const;

  // False when it could not be started; Error() says why.
  bool Running() const { return m_process.Running(); }
  const std::string& Error() const { return m_error; }
  int Port() const { return m_port; }

  // The commands logged so far per session (vsftpd's process id), in order.
  std::map<int, std::vector<std::string>> CommandsBySession() const;
  std::string Log() const;

 private:
  bool Start();
  void WriteConfig() const;

  ScratchDir m_dir;
  std::string m_root;
  int m_port = 0;
  ServerProcess m_process;
  std::string m_error;
};

}  // namespace testenv

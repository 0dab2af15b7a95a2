#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/support/loopback_server.h"

namespace testenv {

// The real vsftpd on a free 127.0.0.1 port, with its config, served folder
// and logs in a scratch folder of its own: anonymous logins only, active-mode
// data connections, every command and reply logged. Stopped by its PID.
// vsftpd runs as the launching user and so does not change its root: a URL
// names a served file by its full path (Url does that).
class VsftpdServer : public LoopbackServer {
 public:
  static constexpr const char* kBinary = "/usr/sbin/vsftpd";
  static bool Available();

  VsftpdServer();
  ~VsftpdServer();

  // Writes a file into the served folder (before or while it runs).
  void AddFile(const std::string& name, const std::string& data);
  std::string FilePath(const std::string& name) const;
  std::string Url(const std::string& name) const;

  // The commands logged so far per session (vsftpd's process id), in order.
  std::map<int, std::vector<std::string>> CommandsBySession() const;
  std::string Log() const;

 private:
  bool Start();
  void WriteConfig() const;

  std::string m_root;
};

}  // namespace testenv

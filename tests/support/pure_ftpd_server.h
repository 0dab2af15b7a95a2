#pragma once

#include <string>

#include "tests/support/loopback_server.h"

namespace testenv {

// The real pure-ftpd on a free port of the servers' address, in the foreground, with one
// virtual user (kUser, kPassword) whose home is a scratch folder. It needs
// root (it changes to the user's identity and root folder). Its package
// conflicts with vsftpd's, so scripts/install-deps unpacks it into
// kUnpackedRoot; an installed package serves as well. Stopped by its PID.
class PureFtpdServer : public LoopbackServer {
 public:
  static constexpr const char* kUser = "kestrion";
  static constexpr const char* kUnpackedRoot = "/opt/kestrion-test/pure-ftpd";

  PureFtpdServer();
  ~PureFtpdServer();

  // Writes a file into the user's home, readable by the user.
  void AddFile(const std::string& name, const std::string& data);
  // The URL of a file in the home, with the user's name and password.
  std::string Url(const std::string& name) const;

 private:
  bool Start();
  // The program from the package, or the unpacked one; empty when neither.
  static std::string Program(const std::string& name);

  std::string m_home;
};

}  // namespace testenv

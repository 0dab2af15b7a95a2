#pragma once

#include <string>

#include "tests/support/server_process.h"
#include "tests/support/test_env.h"

namespace testenv {

// The real pure-ftpd on a free 127.0.0.1 port, in the foreground, with one
// virtual user (kUser, kPassword) whose home is a scratch folder. It needs
// root (it changes to the user's identity and root folder). Its package
// conflicts with vsftpd's, so scripts/install-deps unpacks it into
// kUnpackedRoot; an installed package serves as well. Stopped by its PID.
class PureFtpdServer {
 public:
  static constexpr const char* kUser = "kestrion";
  static constexpr const char* kPassword = "secret";
  static constexpr const char* kUnpackedRoot = "/opt/kestrion-test/pure-ftpd";

  PureFtpdServer();
  ~PureFtpdServer();
  PureFtpdServer(const PureFtpdServer&) = delete;
  PureFtpdServer& operator=(const PureFtpdServer&) = delete;

  // Writes a file into the user's home, readable by the user.
  void AddFile(const std::string& name, const std::string& data);
  // The URL of a file in the home, with the user's name and password.
  std::string Url(const std::string& name) const;

  // False when it could not be started; Error() says why.
  bool Running() const { return m_process.Running(); }
  const std::string& Error() const { return m_error; }

 private:
  bool Start();
  // The program from the package, or the unpacked one; empty when neither.
  static std::string Program(const std::string& name);

  ScratchDir m_dir;
  std::string m_home;
  int m_port = 0;
  ServerProcess m_process;
  std::string m_error;
};

}  // namespace testenv

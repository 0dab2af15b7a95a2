#pragma once

#include <string>
#include <vector>

#include "tests/support/loopback_server.h"

namespace testenv {

// The real Apache httpd on a free port of the servers' address, as one foreground process
// (-X), with its config, logs and served folder in a scratch folder of its
// own. Stopped by its PID. Each access log line reads
// "STATUS|RANGE|BYTES_SENT|REQUEST".
class ApacheServer : public LoopbackServer {
 public:
  static constexpr const char* kBinary = "/usr/sbin/apache2";

  // extraConfig: lines added to the end of the server's config.
  explicit ApacheServer(const std::string& extraConfig = "");
  ~ApacheServer();

  // The served folder; files may be put there before or while it runs.
  std::string FilePath(const std::string& name) const { return m_root + "/" + name; }
  // Writes a file (and its folders) into the served folder, readable by all.
  void AddFile(const std::string& name, const std::string& data);
  std::string Url(const std::string& path) const;

  std::vector<std::string> AccessLog() const;

 private:
  bool Start(const std::string& extraConfig);

  std::string m_root;
};

}  // namespace testenv

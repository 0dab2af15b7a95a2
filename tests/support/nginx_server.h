#pragma once

#include <string>
#include <vector>

#include "tests/support/server_process.h"
#include "tests/support/test_env.h"

namespace testenv {

// The real nginx on a free 127.0.0.1 port, one process (no master), with its
// config, logs and served folder in a scratch folder of its own. Stopped by
// its PID. Each access log line reads "STATUS|RANGE|BYTES_SENT|REQUEST".
class NginxServer {
 public:
  static constexpr const char* kBinary = "/usr/sbin/nginx";
  static bool Available();

  // locations: extra directives inside the server block (e.g. a location
  // with limit_rate).
  explicit NginxServer(const std::string& locations = "");
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  // The served folder; files may be put there before or while it runs.
  const std::string& Root() const { return m_root; }
  std::string FilePath(const std::string& name) const { return m_root + "/" + name; }
  std::string Url(const std::string& name) const;

  bool Running() const { return m_process.Running(); }
  const std::string& Error() const { return m_error; }
  int Port() const { return m_port; }

  // Lines of requests that named a path (not the empty leftovers of a
  // closed connection), in the order nginx logged them.
  std::vector<std::string> AccessLog() const;

 private:
  bool Start(const std::string& locations);

  ScratchDir m_dir;
  std::string m_root;
  int m_port = 0;
  ServerProcess m_process;
  std::string m_error;
};

}  // namespace testenv

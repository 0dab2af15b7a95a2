#pragma once

#include <string>
#include <vector>

#include "tests/support/loopback_server.h"

namespace testenv {

// The real nginx on a free port of the servers' address, one process (no master), with its
// config, logs and served folder in a scratch folder of its own, sendfile
// and tcp_nopush on as Debian ships it. Stopped by its PID. Each access log
// line reads "STATUS|RANGE|BYTES_SENT|REQUEST".
class NginxServer : public LoopbackServer {
 public:
  static constexpr const char* kBinary = "/usr/sbin/nginx";
  static bool Available();

  // locations: extra directives inside the server block (e.g. a location
  // with limit_rate); httpDirectives: inside the http block (e.g. a
  // limit_conn_zone); listenOptions: words after the listen address ("ssl").
  explicit NginxServer(const std::string& locations = "", const std::string& httpDirectives = "",
                       const std::string& listenOptions = "");
  ~NginxServer();

  // The served folder; files may be put there before or while it runs.
  const std::string& Root() const { return m_root; }
  std::string FilePath(const std::string& name) const { return m_root + "/" + name; }
  std::string Url(const std::string& name) const;

  // Lines of requests that named a path (not the empty leftovers of a
  // closed connection), in the order nginx logged them.
  std::vector<std::string> AccessLog() const;

 private:
  bool Start(const std::string& locations, const std::string& httpDirectives, const std::string& listenOptions);

  std::string m_root;
};

}  // namespace testenv

#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testenv {

// A scripted https server on a free port of the servers' address for the endings real
// servers do not give on demand. It serves its exchanges one connection
// each, in order, with the good test certificate: after the handshake it
// waits for the client's first bytes, sends the reply, and ends the
// connection as told.
class TlsTestServer {
 public:
  enum class Ending {
    kCloseNotify,  // TLS close_notify, then the TCP close
    kPlainClose,   // the TCP close alone: the stream may look cut short
    kReset,        // a TCP reset, once the client has had time to read the reply
  };

  struct Exchange {
    std::string reply;
    Ending ending;
  };

  TlsTestServer(std::string reply, Ending ending);
  explicit TlsTestServer(std::vector<Exchange> exchanges);
  // Waits for the connections to end (5 s at most for each still awaited).
  ~TlsTestServer();
  TlsTestServer(const TlsTestServer&) = delete;
  TlsTestServer& operator=(const TlsTestServer&) = delete;

  int Port() const { return m_port; }
  // The first bytes each connection brought (its request), so far.
  std::vector<std::string> Requests() const;

 private:
  void Serve();
  // False when no connection came or its handshake failed.
  bool ServeOne(const Exchange& exchange);

  std::vector<Exchange> m_exchanges;
  mutable std::mutex m_lock;
  std::vector<std::string> m_requests;
  int m_listenFd = -1;
  int m_port = 0;
  std::thread m_thread;
};

}  // namespace testenv

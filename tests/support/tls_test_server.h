#pragma once

#include <string>
#include <thread>

namespace testenv {

// A scripted https server on a free 127.0.0.1 port for the endings real
// servers do not give on demand. It serves one connection with the good
// test certificate: after the handshake it waits for the client's first
// bytes, sends the reply, and ends the connection as told.
class TlsTestServer {
 public:
  enum class Ending {
    kCloseNotify,  // TLS close_notify, then the TCP close
    kPlainClose,   // the TCP close alone: the stream may look cut short
    kReset,        // a TCP reset
  };

  TlsTestServer(std::string reply, Ending ending);
  ~TlsTestServer();  // waits for the connection to end (5 s at most)
  TlsTestServer(const TlsTestServer&) = delete;
  TlsTestServer& operator=(const TlsTestServer&) = delete;

  int Port() const { return m_port; }

 private:
  void Serve();

  std::string m_reply;
  Ending m_ending;
  int m_listenFd = -1;
  int m_port = 0;
  std::thread m_thread;
};

}  // namespace testenv

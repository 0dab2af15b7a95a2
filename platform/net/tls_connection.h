#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class Timer;
class TlsChannel;

// What a socket made secure keeps: the server's name, the channel of its
// current connection, why its last handshake failed, and the loop timers a
// handshake needs (its time limit, and a wake for input that the
// descriptor will not signal). The data calls answer as recv and send do;
// before a verified handshake they fail with ENOTCONN.
//
// Thread contract: the socket's; made after its Create, on its thread.
class TlsConnection {
 public:
  TlsConnection(std::string host, std::chrono::seconds handshakeLimit);
  ~TlsConnection();
  TlsConnection(const TlsConnection&) = delete;
  TlsConnection& operator=(const TlsConnection&) = delete;

  // The TCP connection on fd is up: opens the channel and starts the time
  // limit, after which onLimit is called on this thread. Then as Continue.
  int Begin(int fd, std::function<void()> onLimit);
  // 0 once the server is verified; WSAEWOULDBLOCK while the handshake goes
  // on (WantsWrite says for what); else the socket error, FailureText why.
  int Continue();
  // The time limit has passed: the handshake fails with WSAETIMEDOUT.
  int Expire();
  bool WantsWrite() const { return m_bWantsWrite; }
  bool Established() const { return m_bEstablished; }
  // Empty unless the last handshake failed.
  const std::string& FailureText() const { return m_strFailure; }

  ssize_t Receive(void* buffer, size_t length);
  ssize_t Peek();
  ssize_t Send(const void* data, size_t length);
  size_t Buffered() const;
  bool HoldsUnseenInput() const;
  // Calls wake soon from this thread's loop, once however often asked
  // before it runs; End cancels it.
  void WakeSoon(std::function<void()> wake);

  // The connection ends: tells the server, drops the channel, stops the
  // timers. The name stays for the next connection.
  void End();
  // A new connection begins: End, and the last failure is forgotten.
  void Reset();

 private:
  int Fail(const std::string& text, int error);
  // The channel once verified; null, with errno ENOTCONN, before.
  TlsChannel* Verified() const;

  std::string m_strHost;
  std::chrono::seconds m_handshakeLimit;
  std::unique_ptr<TlsChannel> m_channel;
  bool m_bEstablished = false;
  bool m_bWantsWrite = false;
  std::string m_strFailure;
  std::unique_ptr<Timer> m_limitTimer;
  std::unique_ptr<Timer> m_wakeTimer;
  std::function<void()> m_wake;
};

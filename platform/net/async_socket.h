#pragma once

// Stands in for the platform's socket library: TCP sockets whose events
// arrive through the owning thread's loop, and their blocking flavour.
// A socket is used only on the thread that created it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/net/socket_errors.h"

class CFileReceiver;
class EventLoop;
class TlsConnection;

// A TCP socket bound to the loop of the thread that calls Create. Its
// notifications arrive on that thread, each with an error code:
//   OnReceive  data (or an error) is waiting; Receive never blocks
//   OnSend     sending may go on
//   OnConnect  an asynchronous connect finished (0 or the error)
//   OnAccept   a connection waits on a listening socket
//   OnClose    the peer ended it: 0 for a graceful close (after all data was
//              received), WSAECONNRESET for a reset; delivered once
// The object may be deleted from inside one of its own notifications.
// An OnReceive (OnAccept) that leaves the data (connection) waiting is not
// repeated until the next Receive (Accept).
// Thread contract: used only on the thread that created it, and closed or
// destroyed there before that thread ends.
class CAsyncSocket {
 public:
  CAsyncSocket();
  virtual ~CAsyncSocket();
  CAsyncSocket(const CAsyncSocket&) = delete;
  CAsyncSocket& operator=(const CAsyncSocket&) = delete;

  // A stream socket, bound to the port (0: any) and address (empty: any
  // IPv4 address; an IPv6 literal makes an IPv6 socket).
  bool Create(unsigned port = 0, long events = FD_ALL_EVENTS, const std::string& address = "");
  // Connects to a host name, a dotted IPv4 address or an IPv6 literal
  // (without brackets). A name is looked up without blocking the thread,
  // and each of its addresses is tried in turn until one answers; an
  // unbound socket takes the family of the address it tries. Asynchronous:
  // false with GetLastError() == WSAEWOULDBLOCK while under way, then
  // OnConnect.
  virtual bool Connect(const std::string& host, unsigned port);
  virtual int Send(const void* data, int length, int flags = 0);
  // Bytes read, 0 at the end of the stream, SOCKET_ERROR with the error in
  // GetLastError() (WSAEWOULDBLOCK when nothing is waiting).
  virtual int Receive(void* buffer, int length, int flags = 0);
  // Like Receive, but up to `length` waiting bytes go to the receiver's
  // file (see CFileReceiver), without a copy through this process. Throws
  // CFileException once writing to that file has failed.
  int64_t ReceiveToFile(CFileReceiver& receiver, int64_t length);
  // Bytes received and waiting to be taken; 0 when none or unknown.
  int64_t BytesWaiting() const;
  bool Listen(int backlog = 5);
  // Takes a waiting connection into `connected`, which must not be created;
  // it joins the loop of the calling thread. The peer's address, as text,
  // goes to *peerAddress when given (known even when the peer has already
  // reset the connection).
  virtual bool Accept(CAsyncSocket& connected, std::string* peerAddress = nullptr);
  // The address as text ("127.0.0.1", "::1") and the host-order port.
  bool GetSockName(std::string& address, unsigned& port) const;
  bool GetPeerName(std::string& address, unsigned& port) const;
  // The socket speaks IPv6.
  bool IsIPv6() const { return m_bIPv6; }
  virtual void Close();
  bool IsOpen() const { return m_fd >= 0; }

  // Makes the connection secure (TLS 1.2 or 1.3, see TlsChannel): called
  // after Create and before Connect, with the host as the URL names it.
  // The connect then completes (OnConnect, or a blocking Connect returns)
  // only once the server's certificate is verified for that host; a failed
  // handshake fails the connect (WSAECONNABORTED, WSAETIMEDOUT after the
  // limit) and GetSecureFailure says why. The notifications stay as they
  // are; Receive gives plaintext (its flags are not used), BytesWaiting the
  // plaintext already decrypted, and ReceiveToFile is refused
  // (WSAEOPNOTSUPP). A close without the server's close_notify is
  // OnClose(WSAECONNABORTED): the stream may have been cut short.
  bool MakeSecure(const std::string& host, std::chrono::seconds handshakeLimit = std::chrono::seconds(60));
  bool IsSecure() const { return m_secure != nullptr; }
  // The sentence that tells why the last handshake failed; empty if none did.
  std::string GetSecureFailure() const;

  // The last socket error of the calling thread.
  static int GetLastError();

  virtual void OnReceive(int nErrorCode);
  virtual void OnSend(int nErrorCode);
  virtual void OnConnect(int nErrorCode);
  virtual void OnAccept(int nErrorCode);
  virtual void OnClose(int nErrorCode);

 protected:
  // Hook for the blocking flavour: true while a blocking call waits.
  bool m_bConnecting = false;
  int m_nConnectResult = 0;

 private:
  friend class CSocket;

  enum class State { kIdle, kResolving, kConnecting, kHandshaking, kConnected, kListening };
  struct ConnectPlan;

  void Attach(int fd);
  void OnResolved(int error);
  // Starts a connect to the next address of the plan; 0 when one is under
  // way, else the error of the last one tried.
  int ConnectToNextAddress();
  // The connect has succeeded (0) or failed for good.
  void ReportConnect(int result);
  // For a secure socket whose TCP connect succeeded: the handshake starts,
  // and ends in ReportConnect. False for any other socket.
  bool BeginHandshake();
  void ContinueHandshake(int step);
  // A secure socket's input that the descriptor will not signal is
  // delivered as if it had.
  void WakeForHeldInput();
  void OnReady(uint32_t readyMask);
  void UpdateInterest();
  uint32_t WantedInterest() const;
  void FinishConnect();
  void HandleAccept();
  void HandleReadable(uint32_t readyMask);
  void ReportClose(int nErrorCode);
  // The error that refuses a receive of `length` bytes before it starts; 0 if none.
  int ReceiveRefusal(int64_t length) const;
  // SOCKET_ERROR for a receive that failed with errno `error`.
  int FailReceive(int error);
  void ArmReading();
  // Pumps the thread's loop until finished() holds, with this socket's own
  // notifications held back (they arrive after the wait). False when the
  // socket was closed or destroyed meanwhile, or a WM_QUIT came (WSAEINTR).
  bool WaitBlocking(const std::function<bool()>& finished);

  int m_fd = -1;
  bool m_bIPv6 = false;
  // Bound to an address or port of its own: it keeps its family.
  bool m_bBound = false;
  long m_events = 0;
  std::unique_ptr<ConnectPlan> m_plan;
  std::unique_ptr<TlsConnection> m_secure;
  bool m_bCloseReported = false;
  EventLoop* m_loop = nullptr;

  State m_state = State::kIdle;
  // Reads (and accepts) are re-enabled by the next Receive (Accept), so an
  // OnReceive that leaves the data waiting is not called over and over.
  bool m_bReadArmed = true;
  // A send would block: writable interest until it may go on.
  bool m_bWantSend = false;
  // A hard error that a Receive took from the socket, reported by OnClose
  // instead of the end of the stream that follows it.
  int m_nReceiveError = 0;
  // Blocking waits of this socket now running (nested pumps).
  int m_nBlockingWaits = 0;
  bool m_bWatched = false;
  // Bumped by Close: a notification in progress notices the socket is gone.
  uint64_t m_nGeneration = 0;
  // Cleared by the destructor: notifications and blocking waits notice that
  // the object was deleted under them.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

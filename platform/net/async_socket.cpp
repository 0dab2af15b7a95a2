#include "platform/net/async_socket.h"

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/loop/event_loop.h"
#include "platform/files/file_receiver.h"
#include "platform/net/host_resolver.h"
#include "platform/net/socket_address.h"
#include "platform/net/socket_error_map.h"
#include "platform/net/tls_connection.h"

namespace {

constexpr uint32_t kReadable = EventLoop::kReadable;
constexpr uint32_t kWritable = EventLoop::kWritable;
constexpr uint32_t kError = EventLoop::kError;
constexpr uint32_t kHangUp = EventLoop::kHangUp;

bool Fail(int error) {
  SetLastSocketError(error);
  return false;
}

int FailCount(int error) {
  SetLastSocketError(error);
  return SOCKET_ERROR;
}

int PendingSocketError(int fd) {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
    return errno;
  }
  return error;
}

bool IsHardReceiveError(int error) { return error != EAGAIN && error != EINTR; }

bool QueryName(int fd, int (*query)(int, sockaddr*, socklen_t*), std::string& address, unsigned& port) {
  if (fd < 0) {
    return Fail(WSAENOTSOCK);
  }
  SocketAddress name;
  name.length = sizeof name.storage;
  if (query(fd, reinterpret_cast<sockaddr*>(&name.storage), &name.length) != 0) {
    return Fail(SocketErrorFromErrno(errno));
  }
  address = name.Text();
  port = name.Port();
  return true;
}

int NewStreamSocket(int family) { return socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0); }

}  // namespace

// The addresses a connect tries, in order, and the lookup that finds them.
struct CAsyncSocket::ConnectPlan {
  std::vector<SocketAddress> addresses;
  size_t next = 0;
  std::unique_ptr<HostResolver> resolver;
};

CAsyncSocket::CAsyncSocket() = default;

CAsyncSocket::~CAsyncSocket() {
  CAsyncSocket::Close();
  *m_alive = false;
}

bool CAsyncSocket::Create(unsigned port, long events, const std::string& address) {
  if (m_fd >= 0) {
    return Fail(WSAEINVAL);
  }
  std::vector<SocketAddress> locals;
  if (const int error = ResolveAddresses(address, port, locals)) {
    return Fail(error);
  }
  const SocketAddress& local = locals.front();
  const int fd = NewStreamSocket(local.Family());
  if (fd < 0) {
    return Fail(SocketErrorFromErrno(errno));
  }
  // Left unbound when nothing is asked for: connect and listen pick an
  // ephemeral port themselves, and a connect may still change the family.
  m_bBound = port != 0 || !address.empty();
  if (m_bBound) {
    if (port != 0) {
      const int one = 1;
      setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    }
    if (bind(fd, local.Get(), local.length) != 0) {
      const int error = SocketErrorFromErrno(errno);
      close(fd);
      return Fail(error);
    }
  }
  m_bIPv6 = local.Family() == AF_INET6;
  m_events = events;
  m_state = State::kIdle;
  Attach(fd);
  return true;
}

void CAsyncSocket::Attach(int fd) {
  m_fd = fd;
  m_loop = &EventLoop::ForThisThread();
  m_bCloseReported = false;
  m_bReadArmed = true;
  m_bWantSend = false;
  m_nReceiveError = 0;
  m_bWatched = false;
  UpdateInterest();
}

bool CAsyncSocket::Connect(const std::string& host, unsigned port) {
  if (m_fd < 0) {
    return Fail(WSAENOTSOCK);
  }
  if (m_state == State::kConnecting || m_state == State::kResolving) {
    return Fail(WSAEALREADY);
  }
  if (m_state != State::kIdle) {
    return Fail(WSAEISCONN);
  }
  if (host.empty()) {
    return Fail(WSAEADDRNOTAVAIL);
  }
  if (m_secure) {
    m_secure->Reset();
  }
  m_plan = std::make_unique<ConnectPlan>();
  SocketAddress literal;
  if (!ParseNumericAddress(host, port, literal)) {
    m_state = State::kResolving;
    m_plan->resolver = std::make_unique<HostResolver>(
        host, port, [this](int error, std::vector<SocketAddress> addresses) {
          m_plan->addresses = std::move(addresses);
          OnResolved(error);
        });
    return Fail(WSAEWOULDBLOCK);
  }
  m_plan->addresses.push_back(literal);
  if (const int error = ConnectToNextAddress()) {
    m_state = State::kIdle;
    return Fail(error);
  }
  // Even a connect that completed at once is reported through the loop, as
  // callers of the asynchronous flavour expect.
  return Fail(WSAEWOULDBLOCK);
}

void CAsyncSocket::OnResolved(int error) {
  if (error == 0) {
    error = ConnectToNextAddress();
  }
  if (error != 0) {
    ReportConnect(error);
  }
}

// The first address uses the socket as created when the family fits; every
// later one a fresh socket, as a socket whose connect failed is spent.
int CAsyncSocket::ConnectToNextAddress() {
  int error = WSAEADDRNOTAVAIL;
  while (m_plan->next < m_plan->addresses.size()) {
    const bool first = m_plan->next == 0;
    const SocketAddress& address = m_plan->addresses[m_plan->next++];
    const bool ipv6 = address.Family() == AF_INET6;
    if (!first || ipv6 != m_bIPv6) {
      if (m_bBound) {
        error = WSAEAFNOSUPPORT;
        continue;
      }
      const int fd = NewStreamSocket(address.Family());
      if (fd < 0) {
        error = SocketErrorFromErrno(errno);
        continue;
      }
      if (m_bWatched) {
        m_loop->Unwatch(m_fd);
        m_bWatched = false;
      }
      close(m_fd);
      m_fd = fd;
      m_bIPv6 = ipv6;
    }
    if (connect(m_fd, address.Get(), address.length) == 0 || errno == EINPROGRESS) {
      m_state = State::kConnecting;
      UpdateInterest();
      return 0;
    }
    error = SocketErrorFromErrno(errno);
  }
  return error;
}

int CAsyncSocket::Send(const void* data, int length, int flags) {
  if (m_fd < 0) {
    return FailCount(WSAENOTSOCK);
  }
  if (length < 0) {
    return FailCount(WSAEINVAL);
  }
  const ssize_t sent = m_secure ? m_secure->Send(data, static_cast<size_t>(length))
                                : send(m_fd, data, static_cast<size_t>(length), MSG_NOSIGNAL | (flags & MSG_OOB));
  if (sent >= 0) {
    return static_cast<int>(sent);
  }
  const int error = errno;
  if (error == EAGAIN && m_state == State::kConnected && (m_events & FD_WRITE)) {
    m_bWantSend = true;
    UpdateInterest();
  }
  return FailCount(SocketErrorFromErrno(error));
}

int CAsyncSocket::Receive(void* buffer, int length, int flags) {
  if (const int refused = ReceiveRefusal(length)) {
    return FailCount(refused);
  }
  ArmReading();
  const ssize_t received = m_secure ? m_secure->Receive(buffer, static_cast<size_t>(length))
                                    : recv(m_fd, buffer, static_cast<size_t>(length), flags & (MSG_PEEK | MSG_OOB));
  return received >= 0 ? static_cast<int>(received) : FailReceive(errno);
}

int64_t CAsyncSocket::ReceiveToFile(CFileReceiver& receiver, int64_t length) {
  if (const int refused = ReceiveRefusal(length)) {
    return FailCount(refused);
  }
  // The file would get the records as they came, still encrypted.
  if (m_secure) {
    return FailCount(WSAEOPNOTSUPP);
  }
  ArmReading();
  const int64_t received = receiver.Receive(m_fd, length);
  return received >= 0 ? received : FailReceive(errno);
}

int64_t CAsyncSocket::BytesWaiting() const {
  if (m_secure) {
    return static_cast<int64_t>(m_secure->Buffered());
  }
  int waiting = 0;
  if (m_fd < 0 || ioctl(m_fd, FIONREAD, &waiting) != 0) {
    return 0;
  }
  return waiting;
}

int CAsyncSocket::ReceiveRefusal(int64_t length) const {
  if (m_fd < 0) {
    return WSAENOTSOCK;
  }
  return length < 0 ? WSAEINVAL : 0;
}

// A hard error is kept for the OnClose that follows it.
int CAsyncSocket::FailReceive(int error) {
  if (IsHardReceiveError(error)) {
    m_nReceiveError = SocketErrorFromErrno(error);
  }
  return FailCount(SocketErrorFromErrno(error));
}

bool CAsyncSocket::Listen(int backlog) {
  if (m_fd < 0) {
    return Fail(WSAENOTSOCK);
  }
  if (listen(m_fd, backlog) != 0) {
    return Fail(SocketErrorFromErrno(errno));
  }
  m_state = State::kListening;
  m_bReadArmed = true;
  UpdateInterest();
  return true;
}

bool CAsyncSocket::Accept(CAsyncSocket& connected, std::string* peerAddress) {
  if (m_fd < 0) {
    return Fail(WSAENOTSOCK);
  }
  if (m_state != State::kListening || connected.IsOpen()) {
    return Fail(WSAEINVAL);
  }
  ArmReading();
  SocketAddress peer;
  peer.length = sizeof peer.storage;
  const int fd = accept4(m_fd, reinterpret_cast<sockaddr*>(&peer.storage), &peer.length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    return Fail(SocketErrorFromErrno(errno));
  }
  if (peerAddress) {
    *peerAddress = peer.Text();
  }
  connected.m_bIPv6 = m_bIPv6;
  connected.m_events = m_events;
  connected.m_state = State::kConnected;
  connected.Attach(fd);
  return true;
}

bool CAsyncSocket::GetSockName(std::string& address, unsigned& port) const {
  return QueryName(m_fd, getsockname, address, port);
}

bool CAsyncSocket::GetPeerName(std::string& address, unsigned& port) const {
  return QueryName(m_fd, getpeername, address, port);
}

void CAsyncSocket::Close() {
  m_plan.reset();
  if (m_fd < 0) {
    return;
  }
  if (m_bWatched) {
    m_loop->Unwatch(m_fd);
    m_bWatched = false;
  }
  if (m_secure) {
    m_secure->End();
  }
  close(m_fd);
  m_fd = -1;
  m_state = State::kIdle;
  ++m_nGeneration;
  m_bConnecting = false;
  m_bWantSend = false;
  m_bCloseReported = false;
}

int CAsyncSocket::GetLastError() { return LastSocketError(); }

void CAsyncSocket::OnReceive(int) {}
void CAsyncSocket::OnSend(int) {}
void CAsyncSocket::OnConnect(int) {}
void CAsyncSocket::OnAccept(int) {}
void CAsyncSocket::OnClose(int) {}

uint32_t CAsyncSocket::WantedInterest() const {
  if (m_fd < 0) {
    return 0;
  }
  const bool serveReads = m_bReadArmed && m_nBlockingWaits == 0;
  switch (m_state) {
    case State::kResolving:
      return 0;
    case State::kConnecting:
      return kWritable;
    case State::kHandshaking:
      return m_secure->WantsWrite() ? kWritable : kReadable;
    case State::kListening:
      return serveReads && (m_events & FD_ACCEPT) ? kReadable : 0;
    case State::kConnected: {
      uint32_t interest = 0;
      if (serveReads && !m_bCloseReported && (m_events & (FD_READ | FD_CLOSE))) {
        interest |= kReadable;
      }
      if (m_bWantSend) {
        interest |= kWritable;
      }
      return interest;
    }
    case State::kIdle:
      break;
  }
  return 0;
}

// Nothing wanted means no watch at all: epoll reports errors and hang-ups
// whatever the interest, and a dead socket would wake the loop forever.
void CAsyncSocket::UpdateInterest() {
  const uint32_t wanted = WantedInterest();
  if (m_secure && m_state == State::kConnected && (wanted & kReadable) && m_secure->HoldsUnseenInput()) {
    WakeForHeldInput();
  }
  if (wanted == 0) {
    if (m_bWatched) {
      m_loop->Unwatch(m_fd);
      m_bWatched = false;
    }
    return;
  }
  if (m_bWatched) {
    m_loop->ChangeInterest(m_fd, wanted);
    return;
  }
  m_loop->Watch(m_fd, wanted, [this](uint32_t readyMask) { OnReady(readyMask); });
  m_bWatched = true;
}

void CAsyncSocket::ArmReading() {
  if (!m_bReadArmed) {
    m_bReadArmed = true;
    UpdateInterest();
  }
}

void CAsyncSocket::OnReady(uint32_t readyMask) {
  if (m_fd < 0) {
    return;
  }
  switch (m_state) {
    case State::kConnecting:
      FinishConnect();
      return;
    case State::kHandshaking:
      ContinueHandshake(m_secure->Continue());
      return;
    case State::kListening:
      if (m_nBlockingWaits == 0) {
        HandleAccept();
      }
      return;
    case State::kConnected:
      break;
    case State::kIdle:
    case State::kResolving:
      return;
  }
  const auto alive = m_alive;
  const uint64_t generation = m_nGeneration;
  if (m_bWantSend && (readyMask & (kWritable | kError | kHangUp))) {
    m_bWantSend = false;
    UpdateInterest();
    // A blocking send takes the chance itself; only others hear of it.
    if (m_nBlockingWaits > 0) {
      return;
    }
    OnSend(0);
    if (!*alive || generation != m_nGeneration) {
      return;
    }
  }
  if (m_nBlockingWaits == 0 && (readyMask & (kReadable | kError | kHangUp))) {
    HandleReadable(readyMask);
  }
}

void CAsyncSocket::FinishConnect() {
  int result = SocketErrorFromErrno(PendingSocketError(m_fd));
  if (result != 0 && m_plan && m_plan->next < m_plan->addresses.size()) {
    const int next = ConnectToNextAddress();
    if (next == 0) {
      return;
    }
    result = next;
  }
  ReportConnect(result);
}

void CAsyncSocket::ReportConnect(int result) {
  m_plan.reset();
  if (result == 0 && BeginHandshake()) {
    return;
  }
  m_state = result == 0 ? State::kConnected : State::kIdle;
  const bool blockingWait = m_bConnecting;
  m_bConnecting = false;
  m_nConnectResult = result;
  UpdateInterest();
  if (!blockingWait && (m_events & FD_CONNECT)) {
    OnConnect(result);
  }
}

void CAsyncSocket::HandleAccept() {
  if (!(m_events & FD_ACCEPT) || !m_bReadArmed) {
    return;
  }
  const auto alive = m_alive;
  const uint64_t generation = m_nGeneration;
  m_bReadArmed = false;
  OnAccept(0);
  if (*alive && generation == m_nGeneration) {
    UpdateInterest();
  }
}

// One byte is peeked to tell data from the end of the stream, so OnClose
// comes only once everything before it was received.
void CAsyncSocket::HandleReadable(uint32_t readyMask) {
  if (m_bCloseReported || !m_bReadArmed) {
    return;
  }
  char byte = 0;
  const ssize_t peeked = m_secure ? m_secure->Peek() : recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  if (peeked > 0) {
    m_bReadArmed = false;
    if (!(m_events & FD_READ)) {
      UpdateInterest();
      return;
    }
    const auto alive = m_alive;
    const uint64_t generation = m_nGeneration;
    OnReceive(0);
    if (*alive && generation == m_nGeneration) {
      UpdateInterest();
    }
    return;
  }
  if (peeked == 0) {
    ReportClose(m_nReceiveError);
    return;
  }
  const int error = errno;
  if (IsHardReceiveError(error)) {
    ReportClose(SocketErrorFromErrno(error));
    return;
  }
  if (readyMask & kError) {
    if (const int pending = PendingSocketError(m_fd)) {
      ReportClose(SocketErrorFromErrno(pending));
    }
  }
}

void CAsyncSocket::ReportClose(int nErrorCode) {
  m_bCloseReported = true;
  UpdateInterest();
  if (m_events & FD_CLOSE) {
    OnClose(nErrorCode);
  }
}

bool CAsyncSocket::WaitBlocking(const std::function<bool()>& finished) {
  const auto alive = m_alive;
  const uint64_t generation = m_nGeneration;
  EventLoop& loop = *m_loop;
  ++m_nBlockingWaits;
  UpdateInterest();
  const bool done =
      loop.PumpUntil([&] { return !*alive || generation != m_nGeneration || finished(); });
  if (!*alive) {
    return Fail(WSAEINTR);
  }
  --m_nBlockingWaits;
  UpdateInterest();
  if (!done || generation != m_nGeneration) {
    return Fail(WSAEINTR);
  }
  return true;
}

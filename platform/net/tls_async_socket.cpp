// CAsyncSocket's secure mode: the handshake between the TCP connect and the
// connect's report, and the wake for input the descriptor will not signal.
// The data calls go through the TlsConnection in async_socket.cpp.

#include "platform/loop/event_loop.h"
#include "platform/net/async_socket.h"
#include "platform/net/socket_error_map.h"
#include "platform/net/tls_connection.h"

bool CAsyncSocket::MakeSecure(const std::string& host, std::chrono::seconds handshakeLimit) {
  if (m_fd < 0) {
    SetLastSocketError(WSAENOTSOCK);
    return false;
  }
  if (m_state != State::kIdle) {
    SetLastSocketError(WSAEISCONN);
    return false;
  }
  m_secure = std::make_unique<TlsConnection>(host, handshakeLimit);
  return true;
}

std::string CAsyncSocket::GetSecureFailure() const { return m_secure ? m_secure->FailureText() : std::string(); }

bool CAsyncSocket::BeginHandshake() {
  if (!m_secure || m_secure->Established()) {
    return false;
  }
  m_state = State::kHandshaking;
  const uint64_t generation = m_nGeneration;
  ContinueHandshake(m_secure->Begin(m_fd, [this, generation] {
    if (generation == m_nGeneration) {
      ContinueHandshake(m_secure->Expire());
    }
  }));
  return true;
}

void CAsyncSocket::ContinueHandshake(int step) {
  if (step == WSAEWOULDBLOCK) {
    UpdateInterest();
    return;
  }
  ReportConnect(step);
}

void CAsyncSocket::WakeForHeldInput() {
  const uint64_t generation = m_nGeneration;
  m_secure->WakeSoon([this, generation] {
    if (generation == m_nGeneration && m_state == State::kConnected && m_nBlockingWaits == 0) {
      HandleReadable(EventLoop::kReadable);
    }
  });
}

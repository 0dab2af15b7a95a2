#include "platform/net/tls_connection.h"

#include <cerrno>

#include "platform/base/failure.h"
#include "platform/loop/timer.h"
#include "platform/net/socket_errors.h"
#include "platform/net/tls_channel.h"
#include "platform/net/tls_messages.h"

TlsConnection::TlsConnection(std::string host, std::chrono::seconds handshakeLimit)
    : m_strHost(std::move(host)), m_handshakeLimit(handshakeLimit) {}

TlsConnection::~TlsConnection() = default;

int TlsConnection::Begin(int fd, std::function<void()> onLimit) {
  Reset();
  std::string reason;
  m_channel = TlsChannel::Open(fd, m_strHost, &reason);
  if (!m_channel) return Fail(Format(tls_messages::kSecureConnectionFailed, reason.c_str()), WSAECONNABORTED);
  m_limitTimer = std::make_unique<Timer>(std::move(onLimit));
  m_limitTimer->Start(m_handshakeLimit, false);
  return Continue();
}

int TlsConnection::Continue() {
  if (!m_channel) return WSAENOTCONN;
  m_bWantsWrite = false;
  switch (m_channel->Handshake()) {
    case TlsChannel::HandshakeStep::kDone:
      m_limitTimer.reset();
      m_bEstablished = true;
      return 0;
    case TlsChannel::HandshakeStep::kWantWrite:
      m_bWantsWrite = true;
      return WSAEWOULDBLOCK;
    case TlsChannel::HandshakeStep::kWantRead:
      return WSAEWOULDBLOCK;
    case TlsChannel::HandshakeStep::kFailed:
      break;
  }
  return Fail(m_channel->FailureText(), WSAECONNABORTED);
}

int TlsConnection::Expire() {
  const int seconds = static_cast<int>(m_handshakeLimit.count());
  const std::string reason = Format(tls_messages::kHandshakeTooSlow, seconds);
  return Fail(Format(tls_messages::kSecureConnectionFailed, reason.c_str()), WSAETIMEDOUT);
}

// The channel goes: nothing of a failed handshake may be read.
int TlsConnection::Fail(const std::string& text, int error) {
  m_strFailure = text;
  End();
  return error;
}

TlsChannel* TlsConnection::Verified() const {
  if (m_bEstablished) return m_channel.get();
  errno = ENOTCONN;
  return nullptr;
}

ssize_t TlsConnection::Receive(void* buffer, size_t length) {
  TlsChannel* channel = Verified();
  return channel ? channel->Receive(buffer, length) : -1;
}

ssize_t TlsConnection::Peek() {
  TlsChannel* channel = Verified();
  return channel ? channel->Peek() : -1;
}

ssize_t TlsConnection::Send(const void* data, size_t length) {
  TlsChannel* channel = Verified();
  return channel ? channel->Send(data, length) : -1;
}

size_t TlsConnection::Buffered() const { return m_bEstablished ? m_channel->Buffered() : 0; }

bool TlsConnection::HoldsUnseenInput() const { return m_bEstablished && m_channel->HoldsUnseenInput(); }

void TlsConnection::WakeSoon(std::function<void()> wake) {
  if (m_wakeTimer && m_wakeTimer->IsActive()) return;
  m_wake = std::move(wake);
  if (!m_wakeTimer) {
    m_wakeTimer = std::make_unique<Timer>([this] {
      // A copy: the call may delete the socket, and this object with it.
      const auto call = m_wake;
      call();
    });
  }
  m_wakeTimer->Start(std::chrono::milliseconds(0), false);
}

void TlsConnection::End() {
  m_limitTimer.reset();
  if (m_wakeTimer) m_wakeTimer->Stop();
  if (m_channel && m_bEstablished) m_channel->Shutdown();
  m_channel.reset();
  m_bEstablished = false;
  m_bWantsWrite = false;
}

void TlsConnection::Reset() {
  End();
  m_strFailure.clear();
}

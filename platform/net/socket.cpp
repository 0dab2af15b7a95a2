#include "platform/net/socket.h"

#include "platform/net/socket_error_map.h"

bool CSocket::Connect(const std::string& host, unsigned port) {
  if (m_nBlockingWaits > 0) {
    SetLastSocketError(WSAEINPROGRESS);
    return false;
  }
  const auto alive = m_alive;
  // Set first, so the completion is kept for this call and not sent to
  // OnConnect.
  m_bConnecting = true;
  if (CAsyncSocket::Connect(host, port)) {
    m_bConnecting = false;
    return true;
  }
  if (GetLastError() != WSAEWOULDBLOCK) {
    m_bConnecting = false;
    return false;
  }
  if (!WaitBlocking([this] { return !m_bConnecting; })) {
    if (*alive) {
      m_bConnecting = false;
    }
    return false;
  }
  if (m_nConnectResult != 0) {
    SetLastSocketError(m_nConnectResult);
    return false;
  }
  return true;
}

int CSocket::Send(const void* data, int length, int flags) {
  // A second blocking call from a notification served during the first
  // would interleave its bytes with the rest of the first one's.
  if (m_nBlockingWaits > 0) {
    SetLastSocketError(WSAEINPROGRESS);
    return SOCKET_ERROR;
  }
  if (length <= 0) {
    return CAsyncSocket::Send(data, length, flags);
  }
  const char* const bytes = static_cast<const char*>(data);
  int sent = 0;
  while (sent < length) {
    const int count = CAsyncSocket::Send(bytes + sent, length - sent, flags);
    if (count != SOCKET_ERROR) {
      sent += count;
      continue;
    }
    if (GetLastError() != WSAEWOULDBLOCK) {
      return SOCKET_ERROR;
    }
    m_bWantSend = true;
    if (!WaitBlocking([this] { return !m_bWantSend; })) {
      return SOCKET_ERROR;
    }
  }
  return length;
}

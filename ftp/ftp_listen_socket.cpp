#include "ftp/ftp_listen_socket.h"

#include "ftp/ftp_command_socket.h"
#include "ftp/ftp_data_socket.h"

bool CFTPListenSocket::CreateAndListen(const std::string& localAddress) {
  return Create(0, FD_ALL_EVENTS, localAddress) && Listen(1);
}

// One RETR brings one data connection; the listener is closed once it has
// the server's. Anyone else's goes before a byte of it is read.
void CFTPListenSocket::OnAccept(int nErrorCode) {
  std::string peer;
  if (Accept(*m_pDataSocket, &peer)) {
    if (peer == m_strServerAddress) {
      Close();
    } else {
      m_pDataSocket->Close();
    }
  }
  CSocket::OnAccept(nErrorCode);
}

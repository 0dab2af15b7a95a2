#include "ftp/ftp_listen_socket.h"

#include "ftp/ftp_command_socket.h"
#include "ftp/ftp_data_socket.h"

bool CFTPListenSocket::CreateAndListen() { return Create(0, FD_ALL_EVENTS) && Listen(1); }

// One RETR brings one data connection; the listener is closed once it has it.
void CFTPListenSocket::OnAccept(int nErrorCode) {
  if (Accept(*m_pDataSocket)) Close();
  CSocket::OnAccept(nErrorCode);
}

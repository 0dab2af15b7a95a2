#pragma once

#include "platform/net/socket.h"

class CFTPDataSocket;

// Waits for the server's active-mode data connection and hands it to the
// data socket. Threads: manager's thread. Owned by the control socket; the
// data socket it knows outlives it.
class CFTPListenSocket : public CSocket {
 public:
  explicit CFTPListenSocket(CFTPDataSocket* dataSocket) : m_pDataSocket(dataSocket) {}

  // A stream socket on any local address and port, listening with backlog 1.
  bool CreateAndListen();
  void OnAccept(int nErrorCode) override;

 private:
  CFTPDataSocket* m_pDataSocket;
};

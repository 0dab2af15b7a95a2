#pragma once

#include <string>

#include "platform/net/socket.h"

class CFTPDataSocket;

// Waits for the server's active-mode data connection and hands it to the
// data socket. Only the server may connect: the socket listens on the
// control connection's own local address, and a connection from any address
// but the server's is closed at once, the socket listening on.
// Threads: manager's thread. Owned by the control socket; the data socket
// it knows outlives it.
class CFTPListenSocket : public CSocket {
 public:
  // serverAddress: the control connection's peer, as GetPeerName gives it.
  CFTPListenSocket(CFTPDataSocket* dataSocket, std::string serverAddress)
      : m_pDataSocket(dataSocket), m_strServerAddress(std::move(serverAddress)) {}

  // A stream socket on the local address (any port), listening with backlog 1.
  bool CreateAndListen(const std::string& localAddress);
  void OnAccept(int nErrorCode) override;

 private:
  CFTPDataSocket* m_pDataSocket;
  std::string m_strServerAddress;
};

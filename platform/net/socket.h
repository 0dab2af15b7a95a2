#pragma once

#include "platform/net/async_socket.h"

// The blocking flavour: Connect and Send wait until done, pumping the calling
// thread's loop meanwhile, so the thread's other sockets, timers and posted
// messages are still served. Receive does not block. A WM_QUIT seen while
// waiting ends the wait with WSAEINTR, and so does closing or deleting the
// socket from a notification served meanwhile. A second Connect or Send on a
// socket whose blocking call is still waiting fails with WSAEINPROGRESS.
// OnConnect is not called for a blocking Connect, nor OnSend during a Send.
class CSocket : public CAsyncSocket {
 public:
  bool Connect(const std::string& host, unsigned port) override;
  int Send(const void* data, int length, int flags = 0) override;
};

#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/net/socket_address.h"

// Looks a host name up on a thread of its own, so that the loop of the
// thread that asked keeps running (and a quit still ends a blocking connect
// at once, however slow the name service). The answer comes on that loop.
//
// Threads: Start and Cancel on the asking thread; the lookup thread touches
// only the shared state, which lives until both are done with it.
class HostResolver {
 public:
  // error: 0, or WSAHOST_NOT_FOUND with no addresses.
  using Done = std::function<void(int error, std::vector<SocketAddress> addresses)>;

  // Starts the lookup; `done` runs once on the calling thread's loop,
  // unless the resolver is cancelled or destroyed first.
  HostResolver(const std::string& host, unsigned port, Done done);
  ~HostResolver();  // cancels
  HostResolver(const HostResolver&) = delete;
  HostResolver& operator=(const HostResolver&) = delete;

  void Cancel();

 private:
  struct Lookup;
  void Deliver();

  std::shared_ptr<Lookup> m_lookup;
  Done m_done;
  bool m_bWatched = false;
};

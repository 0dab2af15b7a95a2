#pragma once

#include "tests/support/loopback_server.h"

namespace testenv {

// openssl s_server on a free port of the servers' address speaking TLS 1.0 only (at
// security level 0, which that old protocol needs), with the good test
// certificate: a server a client must refuse. Stopped by its PID.
class OldTlsServer : public LoopbackServer {
 public:
  OldTlsServer();
  ~OldTlsServer();

 private:
  bool Start();
};

}  // namespace testenv

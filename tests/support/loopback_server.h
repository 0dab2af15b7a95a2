#pragma once

#include <functional>
#include <string>

#include "tests/support/loopback.h"
#include "tests/support/server_process.h"
#include "tests/support/test_env.h"

namespace testenv {

// What every real server a test starts has: a scratch folder for its files,
// a free port on the servers' address (kServerAddress), its process (stopped by its PID when the object
// goes) and, when it did not start, why.
class LoopbackServer {
 public:
  // The password of the servers' own users, and its crypt(3) SHA-512 hash,
  // so that no tool is needed to make it.
  static constexpr const char* kPassword = "secret";
  static constexpr const char* kPasswordHash =
      "$6$kestrion$XRlEvLys8P9ubw967qVyjFEmytrn3K4b5vCi6oyFqxStammnP.epTYe7y6UVlmH6fyeBKKybQKoXKKOyA0m4R0";

  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // False when it could not be started; Error() says why.
  bool Running() const { return m_process.Running(); }
  const std::string& Error() const { return m_error; }
  int Port() const { return m_port; }

 protected:
  LoopbackServer() = default;
  ~LoopbackServer() = default;

  // Calls start until the server runs, a few times at most: the free port
  // start picks may be taken by someone else before the server binds it.
  void StartWithRetries(const std::function<bool()>& start);

  ScratchDir m_dir;
  int m_port = 0;
  ServerProcess m_process;
  std::string m_error;
};

}  // namespace testenv

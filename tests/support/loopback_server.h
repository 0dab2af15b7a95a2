#pragma once

#include <functional>
#include <string>

#include "tests/support/server_process.h"
#include "tests/support/test_env.h"

namespace testenv {

// What every real server a test starts has: a scratch folder for its files,
// a free 127.0.0.1 port, its process (stopped by its PID when the object
// goes) and, when it did not start, why.
class LoopbackServer {
 public:
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

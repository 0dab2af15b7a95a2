#pragma once

#include <string>
#include <vector>

namespace testenv {

// A server run as a child process for a test: its stdout and stderr go to one
// file, its stdin is /dev/null, and it is stopped by its PID (SIGTERM, then
// SIGKILL when it lingers). Used by one thread.
class ServerProcess {
 public:
  ServerProcess() = default;
  ~ServerProcess();  // stops the child if it still runs
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Starts argv[0] with the arguments after it, then waits up to 5 s for it
  // to accept connections on the servers' address (kServerAddress) at port. False (and the child stopped)
  // when it exits or stays deaf; the output file tells why.
  bool Start(const std::vector<std::string>& argv, const std::string& outputPath, int port);
  // Waits up to 3 s after SIGTERM before SIGKILL. Safe to call when stopped.
  void Stop();
  bool Running() const { return m_pid > 0; }
  int Pid() const { return m_pid; }

 private:
  bool WaitUntilListening(int port);

  int m_pid = -1;
};

}  // namespace testenv

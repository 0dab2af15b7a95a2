#include "tests/support/server_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/support/loopback.h"

namespace testenv {

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(5);
constexpr auto kStopTimeout = std::chrono::seconds(3);
constexpr auto kPollInterval = std::chrono::milliseconds(10);

bool CanConnect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, kServerAddress, &address.sin_addr);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecServer(const std::vector<char*>& args, const char* outputPath) {
  const int out = open(outputPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int in = open("/dev/null", O_RDONLY);
  if (in >= 0) dup2(in, 0);
  if (out >= 0) {
    dup2(out, 1);
    dup2(out, 2);
  }
  execv(args[0], args.data());
  _exit(127);
}

}  // namespace

ServerProcess::~ServerProcess() { Stop(); }

bool ServerProcess::Start(const std::vector<std::string>& argv, const std::string& outputPath, int port) {
  Stop();
  if (argv.empty()) return false;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) ExecServer(args, outputPath.c_str());
  if (pid < 0) return false;
  m_pid = pid;
  if (WaitUntilListening(port)) return true;
  Stop();
  return false;
}

bool ServerProcess::WaitUntilListening(int port) {
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      return false;
    }
    if (CanConnect(port)) return true;
    std::this_thread::sleep_for(kPollInterval);
  }
  return false;
}

void ServerProcess::Stop() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
  int status = 0;
  while (waitpid(m_pid, &status, WNOHANG) != m_pid) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  m_pid = -1;
}

}  // namespace testenv

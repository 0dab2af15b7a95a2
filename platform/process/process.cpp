#include "platform/process/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

constexpr unsigned kStarted = 33;
constexpr unsigned kOutOfResources = 0;
constexpr unsigned kFileNotFound = 2;
constexpr unsigned kAccessDenied = 5;
constexpr unsigned kBadFormat = 11;
constexpr intptr_t kOpened = 42;
constexpr intptr_t kNoAssociation = 31;
// How long ShellExecuteOpen waits for xdg-open's verdict; a handler still
// running after that is taken as opened.
constexpr int kOpenVerdictMillis = 5000;

struct CommandLine {
  std::string program;
  std::optional<std::string> argument;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

CommandLine SplitCommandLine(const std::string& line) {
  size_t pos = 0;
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  CommandLine split;
  if (pos < line.size() && line[pos] == '"') {
    size_t close = line.find('"', pos + 1);
    size_t end = close == std::string::npos ? line.size() : close;
    split.program = line.substr(pos + 1, end - pos - 1);
    pos = close == std::string::npos ? line.size() : close + 1;
  } else {
    size_t end = pos;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    split.program = line.substr(pos, end - pos);
    pos = end;
  }
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (pos < line.size()) split.argument = line.substr(pos);
  return split;
}

// The file to execute, or empty with *error set (ENOENT, EACCES).
std::string FindProgram(const std::string& name, int* error) {
  *error = ENOENT;
  if (name.empty()) return "";
  if (name.find('/') != std::string::npos) {
    if (access(name.c_str(), X_OK) == 0) return name;
    *error = errno;
    return "";
  }
  const char* pathVar = getenv("PATH");
  std::string path = pathVar ? pathVar : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = end > start ? path.substr(start, end - start) : ".";
    std::string candidate = dir + "/" + name;
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
      *error = EACCES;
    }
    start = end + 1;
  }
  return "";
}

// Runs in a child between fork and exec: only async-signal-safe calls.
// Leaves the parent's session, signal mask, ignored signals and descriptors
// behind, so the program runs as if started afresh.
void DetachChild() {
  setsid();
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int sig = 1; sig < NSIG; ++sig) signal(sig, SIG_DFL);
  close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
}

void SleepMillis(long millis) {
  timespec pause{millis / 1000, (millis % 1000) * 1000000L};
  nanosleep(&pause, nullptr);
}

int WaitForExit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<char*> ArgumentVector(const std::string& program, const std::optional<std::string>& argument) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  if (argument) argv.push_back(const_cast<char*>(argument->c_str()));
  argv.push_back(nullptr);
  return argv;
}

// Starts the program as a grandchild, so it is nobody's zombie. Returns 0
// once it runs, else the errno of the fork or exec that failed.
int SpawnDetached(const std::string& file, const std::vector<char*>& argv) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return errno;
  pid_t child = fork();
  if (child == 0) {
    pid_t grandchild = fork();
    if (grandchild == 0) {
      DetachChild();
      execv(file.c_str(), argv.data());
    }
    if (grandchild <= 0) {
      int error = errno;
      (void)!write(pipeFds[1], &error, sizeof error);
    }
    _exit(0);
  }
  int error = child < 0 ? errno : 0;
  close(pipeFds[1]);
  if (child > 0) {
    WaitForExit(child);
    // The write end closes when the program's exec succeeds; otherwise it
    // carries the errno first.
    ssize_t n;
    do {
      n = read(pipeFds[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(sizeof error)) error = 0;
  }
  close(pipeFds[0]);
  return error;
}

unsigned WinExecResult(int error) {
  switch (error) {
    case 0: return kStarted;
    case ENOENT:
    case ENOTDIR: return kFileNotFound;
    case EACCES:
    case EPERM: return kAccessDenied;
    case ENOEXEC: return kBadFormat;
    default: return kOutOfResources;
  }
}

// Runs the opener in a grandchild; the child waits a bounded time for its
// exit status and passes it on as its own (0 while it still runs, 127 when
// it could not be executed).
int RunOpener(const std::string& file, const std::vector<char*>& argv) {
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    pid_t grandchild = fork();
    if (grandchild == 0) {
      DetachChild();
      execv(file.c_str(), argv.data());
      _exit(127);
    }
    if (grandchild < 0) _exit(126);
    for (int waited = 0; waited < kOpenVerdictMillis; waited += 20) {
      int status = 0;
      if (waitpid(grandchild, &status, WNOHANG) == grandchild)
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
      SleepMillis(20);
    }
    _exit(0);
  }
  return WaitForExit(child);
}

}  // namespace

unsigned WinExec(const std::string& commandLine, int /*show: a detached program has no window to show*/) {
  CommandLine split = SplitCommandLine(commandLine);
  int error = 0;
  std::string file = FindProgram(split.program, &error);
  if (file.empty()) return WinExecResult(error);
  return WinExecResult(SpawnDetached(file, ArgumentVector(split.program, split.argument)));
}

intptr_t ShellExecuteOpen(const std::string& url, int /*show*/) {
  int error = 0;
  std::string file = FindProgram("xdg-open", &error);
  if (file.empty()) return kFileNotFound;
  int status = RunOpener(file, ArgumentVector("xdg-open", url));
  if (status == 0) return kOpened;
  if (status == 127 || status == 2) return kFileNotFound;
  return kNoAssociation;
}

std::string GetModuleFileName() {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return "";
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
}

#include "platform/process/stdio_channel.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace {

// A private copy of the descriptor that later programs do not inherit.
int MoveAside(int fd) { return fcntl(fd, F_DUPFD_CLOEXEC, 3); }

bool PointAtNull(int fd, int flags) {
  const int null = open("/dev/null", flags | O_CLOEXEC);
  if (null < 0) return false;
  const bool moved = dup2(null, fd) == fd;
  close(null);
  return moved;
}

}  // namespace

std::unique_ptr<StdioChannel> StdioChannel::TakeOver() {
  const int in = MoveAside(STDIN_FILENO);
  const int out = MoveAside(STDOUT_FILENO);
  if (in < 0 || out < 0 || !PointAtNull(STDIN_FILENO, O_RDONLY) || !PointAtNull(STDOUT_FILENO, O_WRONLY)) {
    if (in >= 0) close(in);
    if (out >= 0) close(out);
    return nullptr;
  }
  signal(SIGPIPE, SIG_IGN);
  return std::unique_ptr<StdioChannel>(new StdioChannel(in, out));
}

StdioChannel::~StdioChannel() {
  close(m_in);
  close(m_out);
}

long StdioChannel::Read(void* buffer, size_t size) {
  ssize_t n;
  do {
    n = read(m_in, buffer, size);
  } while (n < 0 && errno == EINTR);
  return n;
}

bool StdioChannel::WriteAll(const std::string& data) {
  size_t written = 0;
  while (written < data.size()) {
    const ssize_t n = write(m_out, data.data() + written, data.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

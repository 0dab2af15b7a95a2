#include "platform/ui/console_terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/loop/event_loop.h"

namespace {

constexpr char kClearToLineEnd[] = "\033[K";
constexpr char kClearBelow[] = "\033[J";
constexpr char kLineUp[] = "\033[A";
constexpr std::chrono::milliseconds kQuestionPumpSlice(50);

}  // namespace

ConsoleTerminal::ConsoleTerminal(int in, int out, int err)
    : m_in(in),
      m_out(out),
      m_err(err),
      m_inIsTerminal(isatty(in) == 1),
      m_outIsTerminal(isatty(out) == 1),
      m_errIsTerminal(isatty(err) == 1) {}

ConsoleTerminal::~ConsoleTerminal() { SetKeyMode(false); }

void ConsoleTerminal::Write(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

size_t ConsoleTerminal::Columns() const {
  winsize size{};
  if (ioctl(m_err, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col - 1u;
  return 79;
}

// The cursor stays at the start of the first line, so a message printed
// next overwrites the lines after clearing them.
void ConsoleTerminal::DrawLiveLines(const void* owner, const std::vector<std::string>& lines) {
  if (m_ended || !DrawsLiveLines()) return;
  std::string out = "\r" + lines.at(0) + kClearToLineEnd;
  if (lines.size() > 1)
    out += "\n" + lines[1] + kClearToLineEnd + kLineUp + "\r";
  else if (m_liveLines > 1)
    out += std::string("\n") + kClearToLineEnd + kLineUp + "\r";
  Write(m_err, out);
  m_liveOwner = owner;
  m_liveLines = lines.size();
}

void ConsoleTerminal::ClearLiveLines() {
  if (!m_liveOwner) return;
  Write(m_err, m_liveLines > 1 ? std::string("\r") + kClearBelow : std::string("\r") + kClearToLineEnd);
  m_liveOwner = nullptr;
  m_liveLines = 0;
}

void ConsoleTerminal::KeepLiveLines(const void* owner) {
  if (!owner || m_liveOwner != owner) return;
  Write(m_err, std::string(m_liveLines, '\n'));
  m_liveOwner = nullptr;
  m_liveLines = 0;
}

// A download thread may still be drawing its last state as the program
// ends: that is waited for, briefly, so that the line is still ended. A
// question that holds the terminal for longer is left as it is.
void ConsoleTerminal::End() {
  std::unique_lock guard(m_lock, std::chrono::milliseconds(300));
  if (!guard.owns_lock()) return;
  KeepLiveLines(m_liveOwner);
  SetKeyMode(false);
  m_ended = true;
}

void ConsoleTerminal::SetKeyMode(bool on) {
  if (on == m_keyMode || (on && (m_ended || !CanReadKeys()))) return;
  if (on && tcgetattr(m_in, &m_savedMode) != 0) return;
  m_keyMode = on;
  ApplyKeyMode(on);
}

void ConsoleTerminal::ApplyKeyMode(bool on) {
  termios mode = m_savedMode;
  if (on) {
    mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
  }
  tcsetattr(m_in, TCSANOW, &mode);
}

std::string ConsoleTerminal::ReadWaitingBytes() {
  int waiting = 0;
  if (ioctl(m_in, FIONREAD, &waiting) != 0 || waiting <= 0) return "";
  std::string bytes(static_cast<size_t>(waiting), '\0');
  const ssize_t n = read(m_in, bytes.data(), bytes.size());
  bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return bytes;
}

// Between looks at the input the asking thread's loop runs, so its sockets
// are served and a quit (Ctrl-C) ends the question.
std::optional<std::string> ConsoleTerminal::ReadLine() {
  m_questionOpen = true;
  if (m_keyMode) ApplyKeyMode(false);
  EventLoop& loop = EventLoop::ForThisThread();
  std::string line;
  bool ended = false;
  for (;;) {
    pollfd input{m_in, POLLIN, 0};
    if (poll(&input, 1, 0) <= 0) {
      loop.PumpUntil([] { return false; }, kQuestionPumpSlice);
      if (!loop.QuitPending()) continue;
      ended = true;
      break;
    }
    char c;
    const ssize_t n = read(m_in, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ended = line.empty();
      break;
    }
    if (c == '\n') break;
    line += c;
  }
  if (m_keyMode) ApplyKeyMode(true);
  m_questionOpen = false;
  if (ended) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

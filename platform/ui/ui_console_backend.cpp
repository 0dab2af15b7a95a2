#include "platform/ui/ui_console_backend.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

// A terminal is redrawn often; a log file or pipe gets a line now and then.
constexpr auto kLiveLineInterval = std::chrono::milliseconds(250);
constexpr auto kPlainLineInterval = std::chrono::seconds(5);

void WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// One line from the descriptor, without its newline; none at end of input.
std::optional<std::string> ReadLine(int fd) {
  std::string line;
  for (;;) {
    char c;
    ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (line.empty()) return std::nullopt;
      return line;
    }
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string Lowered(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string WithoutTrailingBlanks(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  return text;
}

// Cuts to at most `columns` characters, never inside a UTF-8 sequence.
std::string FitToColumns(const std::string& text, size_t columns) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters++ == columns) return text.substr(0, i);
  }
  return text;
}

}  // namespace

// The descriptors and what is on the error stream's last line, shared by the
// backend and its views. Every write goes through here under the lock.
struct UIConsoleBackend::Terminal {
  int in, out, err;
  bool inIsTerminal, errIsTerminal;
  std::recursive_mutex lock;
  const void* liveLineOwner = nullptr;  // view whose line is drawn, if any

  size_t Columns() const {
    winsize size{};
    if (ioctl(err, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col - 1u;
    return 79;
  }

  void ClearLiveLine() {
    if (!liveLineOwner) return;
    WriteAll(err, "\r\033[K");
    liveLineOwner = nullptr;
  }

  void DrawLiveLine(const void* owner, const std::string& text) {
    WriteAll(err, "\r" + FitToColumns(text, Columns()) + "\033[K");
    liveLineOwner = owner;
  }

  // The line drawn stays on the screen; what follows starts below it.
  void KeepLiveLine(const void* owner) {
    if (liveLineOwner != owner) return;
    WriteAll(err, "\n");
    liveLineOwner = nullptr;
  }
};

namespace {

// Draws only visible states: the first at once, then at most one per
// interval, and on Close the last one given if it was not drawn yet.
class ConsoleProgressView : public IProgressView {
 public:
  explicit ConsoleProgressView(std::shared_ptr<UIConsoleBackend::Terminal> terminal)
      : m_terminal(std::move(terminal)) {}
  ~ConsoleProgressView() override { Close(); }

  void Update(const ProgressWindowState& state) override {
    if (m_closed) return;
    std::optional<std::string> line;
    if (state.visible) line = UIConsoleBackend::ProgressLine(state);
    // While another thread asks a question the terminal is its own; the
    // download goes on and its state waits.
    std::unique_lock guard(m_terminal->lock, std::try_to_lock);
    if (!guard.owns_lock()) {
      m_pending = line;
      return;
    }
    if (!line) {
      m_pending.reset();
      if (m_terminal->liveLineOwner == this) m_terminal->ClearLiveLine();
      return;
    }
    Clock::duration interval = m_terminal->errIsTerminal ? Clock::duration(kLiveLineInterval)
                                                         : Clock::duration(kPlainLineInterval);
    auto now = Clock::now();
    if (m_drawnOnce && now - m_lastDraw < interval) {
      m_pending = std::move(line);
      return;
    }
    Draw(*line, now);
  }

  void Close() override {
    if (m_closed) return;
    m_closed = true;
    std::lock_guard guard(m_terminal->lock);
    if (m_pending && *m_pending != m_lastLine) Draw(*m_pending, Clock::now());
    if (m_terminal->errIsTerminal) m_terminal->KeepLiveLine(this);
  }

 private:
  void Draw(const std::string& line, Clock::time_point now) {
    if (m_terminal->errIsTerminal)
      m_terminal->DrawLiveLine(this, line);
    else
      WriteAll(m_terminal->err, line + "\n");
    m_lastLine = line;  // before the reset: line may be the pending one
    m_pending.reset();
    m_drawnOnce = true;
    m_lastDraw = now;
  }

  std::shared_ptr<UIConsoleBackend::Terminal> m_terminal;
  bool m_closed = false;
  bool m_drawnOnce = false;
  Clock::time_point m_lastDraw;
  std::string m_lastLine;
  std::optional<std::string> m_pending;
};

// Asks until the answer is yes or no; an empty line or the end of input is
// the default button, Yes.
int AskYesNo(UIConsoleBackend::Terminal& terminal) {
  for (;;) {
    WriteAll(terminal.out, "[y/n] ");
    std::optional<std::string> line = ReadLine(terminal.in);
    if (!line) {
      WriteAll(terminal.out, "\n");
      return IDYES;
    }
    std::string answer = Lowered(WithoutTrailingBlanks(*line));
    if (answer.empty() || answer == "y" || answer == "yes") return IDYES;
    if (answer == "n" || answer == "no") return IDNO;
  }
}

// Asks until the answer names a button; an empty line or the end of input
// is the default button, OK.
int AskChoice(UIConsoleBackend::Terminal& terminal) {
  for (;;) {
    WriteAll(terminal.out, "[s]ave, [r]egular download, [c]ancel: ");
    std::optional<std::string> line = ReadLine(terminal.in);
    if (!line) {
      WriteAll(terminal.out, "\n");
      return IDOK;
    }
    std::string answer = Lowered(WithoutTrailingBlanks(*line));
    if (answer.empty() || answer == "s" || answer == "save") return IDOK;
    if (answer == "r" || answer == "regular") return IDREGULARDOWNLOAD;
    if (answer == "c" || answer == "cancel") return IDCANCEL;
  }
}

}  // namespace

UIConsoleBackend::UIConsoleBackend(int inFd, int outFd, int errFd)
    : m_terminal(std::make_shared<Terminal>()) {
  m_terminal->in = inFd;
  m_terminal->out = outFd;
  m_terminal->err = errFd;
  m_terminal->inIsTerminal = isatty(inFd) == 1;
  m_terminal->errIsTerminal = isatty(errFd) == 1;
}

UIConsoleBackend::~UIConsoleBackend() = default;

void UIConsoleBackend::AskMessage(const std::string& text, unsigned type, std::function<void(int)> answered) {
  int button = IDOK;
  {
    std::lock_guard guard(m_terminal->lock);
    m_terminal->ClearLiveLine();
    WriteAll(m_terminal->out, text + "\n");
    if ((type & 0x0F) == MB_YESNO) {
      if (m_terminal->inIsTerminal) {
        button = AskYesNo(*m_terminal);
      } else {
        WriteAll(m_terminal->out, "[y/n] y\n");
        button = IDYES;
      }
    }
  }
  answered(button);
}

void UIConsoleBackend::AskSaveFile(const std::string& initialPath,
                                   std::function<void(std::optional<std::string>)> answered) {
  std::optional<std::string> path = initialPath;
  {
    std::lock_guard guard(m_terminal->lock);
    m_terminal->ClearLiveLine();
    WriteAll(m_terminal->out, "Save as [" + initialPath + "] (- to cancel): ");
    if (m_terminal->inIsTerminal) {
      // An empty line keeps the proposed path; "-" or the end of input cancels.
      std::optional<std::string> line = ReadLine(m_terminal->in);
      if (!line || *line == "-")
        path.reset();
      else if (!line->empty())
        path = *line;
      if (!line) WriteAll(m_terminal->out, "\n");
    } else {
      WriteAll(m_terminal->out, initialPath + "\n");
    }
  }
  answered(std::move(path));
}

void UIConsoleBackend::AskDownloadChoice(const std::string& text, std::function<void(int)> answered) {
  int button = IDOK;
  {
    std::lock_guard guard(m_terminal->lock);
    m_terminal->ClearLiveLine();
    WriteAll(m_terminal->out, "File Download: " + text + "\n");
    if (m_terminal->inIsTerminal)
      button = AskChoice(*m_terminal);
    else
      WriteAll(m_terminal->out, "[s]ave, [r]egular download, [c]ancel: s\n");
  }
  answered(button);
}

std::unique_ptr<IProgressView> UIConsoleBackend::CreateProgressView(std::function<void()>) {
  // Cancel on a terminal is Ctrl+C, which the program's interrupt handler
  // turns into the same end of the download.
  return std::make_unique<ConsoleProgressView>(m_terminal);
}

void UIConsoleBackend::Beep() {
  std::lock_guard guard(m_terminal->lock);
  if (m_terminal->errIsTerminal) WriteAll(m_terminal->err, "\a");
}

std::string UIConsoleBackend::ProgressLine(const ProgressWindowState& state) {
  std::string line = state.title + "  " + std::to_string(state.progress) + "%";
  if (!state.rate.empty()) line += "  " + state.rate;
  if (!state.timeLeft.empty()) line += "  " + state.timeLeft;
  return WithoutTrailingBlanks(line);
}

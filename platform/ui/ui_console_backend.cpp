#include "platform/ui/ui_console_backend.h"

#include <sys/stat.h>

#include <cctype>
#include <chrono>
#include <mutex>
#include <vector>

#include "platform/loop/event_loop.h"
#include "platform/ui/console_progress_line.h"
#include "platform/ui/console_terminal.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kLiveLineInterval = std::chrono::milliseconds(250);

std::string Lowered(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string WithoutTrailingBlanks(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  return text;
}

constexpr char kChoicePrompt[] = "[s]ave, [r]egular download, [c]ancel: ";

std::string SavePrompt(const std::string& proposed) { return "Save as [" + proposed + "] (- to cancel): "; }

// The used columns of the connection grid, as one line.
std::string GridLine(const WindowState& state) {
  std::string line;
  for (int n = 0; n < 10; ++n) {
    if (state.connections[n].empty() || state.connections[n] == ".") continue;
    if (!line.empty()) line += "  ";
    line += "-" + std::to_string(n + 1) + "- " + state.connections[n];
  }
  return line.empty() ? "-1- ." : line;
}

// Draws only visible states, and only where the terminal draws live lines:
// the first at once, then at most one per interval, and on Close the last
// one given if it was not drawn yet. While the window offers its details,
// the details key toggles a second line with the connection grid.
class ConsoleWindowView : public IWindowView {
 public:
  ConsoleWindowView(std::shared_ptr<ConsoleTerminal> terminal, ViewInputHandler onInput)
      : m_terminal(std::move(terminal)), m_onInput(std::move(onInput)), m_loop(EventLoop::ForThisThread()) {}
  ~ConsoleWindowView() override { Close(); }

  void Update(const WindowState& state) override {
    if (m_closed) return;
    std::optional<std::vector<std::string>> lines;
    if (state.visible && m_terminal->DrawsLiveLines()) lines = Lines(state);
    // While a question is asked the terminal is its own; the download goes
    // on and its state waits.
    std::unique_lock guard(m_terminal->Lock(), std::try_to_lock);
    if (!guard.owns_lock() || m_terminal->QuestionOpen()) {
      m_pending = lines;
      return;
    }
    ResumeKeys();
    WatchKeys(state.visible && state.detailsShown ? state.toggleId : 0);
    if (!lines) {
      m_pending.reset();
      if (m_terminal->DrawsFor(this)) m_terminal->ClearLiveLines();
      return;
    }
    auto now = Clock::now();
    // A second line coming or going is drawn at once: it answers a key.
    if (m_drawnOnce && now - m_lastDraw < kLiveLineInterval && lines->size() == m_lastLines.size()) {
      m_pending = std::move(lines);
      return;
    }
    Draw(*lines, now);
  }

  void Close() override {
    if (m_closed) return;
    m_closed = true;
    std::lock_guard guard(m_terminal->Lock());
    WatchKeys(0);
    if (m_pending && *m_pending != m_lastLines) Draw(*m_pending, Clock::now());
    m_terminal->KeepLiveLines(this);
  }

 private:
  std::vector<std::string> Lines(const WindowState& state) const {
    const size_t columns = m_terminal->Columns();
    const bool hint = state.detailsShown && !state.expanded && m_terminal->CanReadKeys();
    std::string first = ConsoleProgressLine(state, hint, columns);
    if (!state.expanded) return {first};
    return {first, CutToColumns(GridLine(state), columns)};
  }

  // Keys are read on the window's own thread, from its loop, for as long
  // as the toggle (a control id, 0 for none) can be pressed.
  void WatchKeys(int toggleId) {
    if (!m_terminal->CanReadKeys() || toggleId == m_toggleId) return;
    if (toggleId != 0 && m_toggleId == 0) {
      m_terminal->SetKeyMode(true);
      m_loop.Watch(m_terminal->In(), EventLoop::kReadable, [this](uint32_t) { OnKeys(); });
    } else if (toggleId == 0) {
      m_loop.Unwatch(m_terminal->In());
      m_terminal->SetKeyMode(false);
    }
    m_toggleId = toggleId;
  }

  // A question reads the input itself: the keys wait, unwatched, for the
  // next state drawn after it.
  void OnKeys() {
    std::unique_lock guard(m_terminal->Lock(), std::try_to_lock);
    if (!guard.owns_lock() || m_terminal->QuestionOpen()) {
      m_loop.ChangeInterest(m_terminal->In(), 0);
      m_keysPaused = true;
      return;
    }
    for (char key : m_terminal->ReadWaitingBytes())
      if (std::tolower(static_cast<unsigned char>(key)) == kConsoleDetailsKey) {
        ViewInput press;
        press.id = m_toggleId;
        m_onInput(press);
      }
  }

  void ResumeKeys() {
    if (!m_keysPaused) return;
    m_keysPaused = false;
    if (m_toggleId != 0) m_loop.ChangeInterest(m_terminal->In(), EventLoop::kReadable);
  }

  void Draw(const std::vector<std::string>& lines, Clock::time_point now) {
    m_terminal->DrawLiveLines(this, lines);
    m_lastLines = lines;  // before the reset: lines may be the pending ones
    m_pending.reset();
    m_drawnOnce = true;
    m_lastDraw = now;
  }

  std::shared_ptr<ConsoleTerminal> m_terminal;
  ViewInputHandler m_onInput;
  EventLoop& m_loop;
  int m_toggleId = 0;  // the toggle whose key is being watched
  bool m_keysPaused = false;
  bool m_closed = false;
  bool m_drawnOnce = false;
  Clock::time_point m_lastDraw;
  std::vector<std::string> m_lastLines;
  std::optional<std::vector<std::string>> m_pending;
};

// Asks until the answer is yes or no; an empty line is the default button,
// the end of input No.
int AskYesNo(ConsoleTerminal& terminal, int defaultButton) {
  for (;;) {
    terminal.Write(terminal.Err(), defaultButton == IDYES ? "[y/n] " : "[y/N] ");
    std::optional<std::string> line = terminal.ReadLine();
    if (!line) {
      terminal.Write(terminal.Err(), "\n");
      return IDNO;
    }
    std::string answer = Lowered(WithoutTrailingBlanks(*line));
    if (answer.empty()) return defaultButton;
    if (answer == "y" || answer == "yes") return IDYES;
    if (answer == "n" || answer == "no") return IDNO;
  }
}

// Asks until the answer names a button; an empty line is the default
// button, OK, the end of input Cancel.
int AskChoice(ConsoleTerminal& terminal) {
  for (;;) {
    terminal.Write(terminal.Err(), kChoicePrompt);
    std::optional<std::string> line = terminal.ReadLine();
    if (!line) {
      terminal.Write(terminal.Err(), "\n");
      return IDCANCEL;
    }
    std::string answer = Lowered(WithoutTrailingBlanks(*line));
    if (answer.empty() || answer == "s" || answer == "save") return IDOK;
    if (answer == "r" || answer == "regular") return IDREGULARDOWNLOAD;
    if (answer == "c" || answer == "cancel") return IDCANCEL;
  }
}

bool IsExistingFile(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

// Asks until a path is chosen, an existing file only once its replacing is
// confirmed; an empty line takes the proposed path, "-" or the end of input
// cancels.
std::optional<std::string> AskPath(ConsoleTerminal& terminal, const std::string& proposed) {
  for (;;) {
    terminal.Write(terminal.Err(), SavePrompt(proposed));
    std::optional<std::string> line = terminal.ReadLine();
    if (!line) terminal.Write(terminal.Err(), "\n");
    if (!line || *line == "-") return std::nullopt;
    const std::string path = line->empty() ? proposed : *line;
    if (!IsExistingFile(path)) return path;
    terminal.Write(terminal.Err(), path + " exists. Replace it? ");
    if (AskYesNo(terminal, IDNO) == IDYES) return path;
  }
}

// A question with nobody to ask is answered as nobody consented: the
// answer is printed after the question.
void AnswerUnasked(ConsoleTerminal& terminal, const std::string& question, const char* answer) {
  terminal.Write(terminal.Err(), question + answer + "\n");
}

}  // namespace

UIConsoleBackend::UIConsoleBackend(int inFd, int outFd, int errFd)
    : m_terminal(std::make_shared<ConsoleTerminal>(inFd, outFd, errFd)) {}

UIConsoleBackend::~UIConsoleBackend() = default;

void UIConsoleBackend::AskMessage(const std::string& text, unsigned type, std::function<void(int)> answered) {
  const bool question = (type & 0x0F) == MB_YESNO;
  int button = IDOK;
  {
    std::lock_guard guard(m_terminal->Lock());
    m_terminal->ClearLiveLines();
    // A success is the program's result; every other message is a report
    // beside it.
    const bool result = !question && (type & 0xF0) == MB_ICONINFORMATION;
    // Some of the program's texts end their last line themselves.
    const bool ended = !text.empty() && text.back() == '\n';
    m_terminal->Write(result ? m_terminal->Out() : m_terminal->Err(), ended ? text : text + "\n");
    if (question && m_terminal->InIsTerminal()) {
      button = AskYesNo(*m_terminal, IDYES);
    } else if (question) {
      AnswerUnasked(*m_terminal, "[y/n] ", "n");
      button = IDNO;
    }
  }
  answered(button);
}

void UIConsoleBackend::AskSaveFile(const std::string& initialPath,
                                   std::function<void(std::optional<std::string>)> answered) {
  std::optional<std::string> path;
  {
    std::lock_guard guard(m_terminal->Lock());
    m_terminal->ClearLiveLines();
    if (m_terminal->InIsTerminal())
      path = AskPath(*m_terminal, initialPath);
    else
      AnswerUnasked(*m_terminal, SavePrompt(initialPath), "-");
  }
  answered(std::move(path));
}

bool UIConsoleBackend::CanAsk() const { return m_terminal->InIsTerminal(); }

void UIConsoleBackend::AskDownloadChoice(const std::string& text, std::function<void(int)> answered) {
  int button = IDCANCEL;
  {
    std::lock_guard guard(m_terminal->Lock());
    m_terminal->ClearLiveLines();
    m_terminal->Write(m_terminal->Err(), "File Download: " + text + "\n");
    if (m_terminal->InIsTerminal())
      button = AskChoice(*m_terminal);
    else
      AnswerUnasked(*m_terminal, kChoicePrompt, "c");
  }
  answered(button);
}

std::unique_ptr<IWindowView> UIConsoleBackend::CreateWindowView(ViewInputHandler onInput) {
  // Cancel on a terminal is Ctrl+C, which the program's interrupt handler
  // turns into the same end of the download.
  return std::make_unique<ConsoleWindowView>(m_terminal, std::move(onInput));
}

void UIConsoleBackend::Beep() {
  std::lock_guard guard(m_terminal->Lock());
  if (m_terminal->DrawsLiveLines()) m_terminal->Write(m_terminal->Err(), "\a");
}

void UIConsoleBackend::End() { m_terminal->End(); }

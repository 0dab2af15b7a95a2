#include "platform/ui/ui_script_backend.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr auto kWindowLogInterval = std::chrono::milliseconds(250);

std::string EnvOrEmpty(const char* name) {
  const char* value = getenv(name);
  return value ? value : "";
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return m_fd; }

 private:
  int m_fd;
};

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string ReadAll(int fd) {
  std::string content;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  return content;
}

// Length of the valid UTF-8 sequence at text[i], or 0 when there is none.
size_t Utf8SequenceLength(const std::string& text, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  return length;
}

void AppendLine(const std::string& path, const std::string& json) {
  if (path.empty()) return;
  FileDescriptor file(open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  if (file.Get() < 0) return;
  WriteAll(file.Get(), json + "\n");
}

const char* ButtonsName(unsigned type) { return (type & 0x0F) == MB_YESNO ? "yesno" : "ok"; }

const char* IconName(unsigned type) {
  switch (type & 0xF0) {
    case MB_ICONEXCLAMATION: return "exclamation";
    case MB_ICONINFORMATION: return "information";
    default: return "none";
  }
}

const char* AnswerName(int button) {
  switch (button) {
    case IDYES: return "yes";
    case IDNO: return "no";
    case IDCANCEL: return "cancel";
    case IDREGULARDOWNLOAD: return "regular";
    default: return "ok";
  }
}

// Fields that change with every bit of progress; a change elsewhere (shown,
// expanded, a banner, a link opened, cancel...) is written at once.
bool SameApartFromProgress(const WindowState& a, const WindowState& b) {
  return a.visible == b.visible && a.size == b.size && a.expanded == b.expanded && a.cancelled == b.cancelled &&
         a.openedLink == b.openedLink && a.url == b.url && a.saving == b.saving && a.destFolder == b.destFolder &&
         a.version == b.version && a.detailsShown == b.detailsShown && a.banner == b.banner &&
         a.adFiles == b.adFiles;
}

// A click as the clicks file writes it: "command ID" or "event ID" (the
// control's Click event).
std::optional<ViewInput> ParseClick(const std::string& line) {
  const size_t blank = line.find(' ');
  if (blank == std::string::npos) return std::nullopt;
  const std::string verb = line.substr(0, blank);
  char* end = nullptr;
  const long id = strtol(line.c_str() + blank + 1, &end, 10);
  if (end == line.c_str() + blank + 1 || *end != '\0') return std::nullopt;
  ViewInput input;
  input.id = static_cast<int>(id);
  if (verb == "command") {
    input.kind = ViewInput::kCommand;
  } else if (verb == "event") {
    input.kind = ViewInput::kControlEvent;
    input.eventId = DISPID_CLICK;
  } else {
    return std::nullopt;
  }
  return input;
}

// A click reaches only what a person could click: a visible, enabled control.
bool Clickable(const WindowState& state, const ViewInput& input) {
  const DialogControl* control = state.Find(input.id);
  return control && control->visible && control->enabled;
}

// Writes the first state at once, then at most one state per interval for
// progress alone; any other change is written at once, and the last state
// given is always written when the window closes. After each written state
// of a visible window one click, if any, is taken from the clicks file.
// Keeps its own copies of the paths, so it may outlive the backend.
class ScriptWindowView : public IWindowView {
 public:
  ScriptWindowView(const UIScriptBackend& backend, int number, ViewInputHandler onInput)
      : m_backend(backend), m_number(number), m_onInput(std::move(onInput)) {}
  ~ScriptWindowView() override { Close(); }

  void Update(const WindowState& state) override {
    if (m_closed) return;
    auto now = std::chrono::steady_clock::now();
    bool due = !m_written || !SameApartFromProgress(state, m_lastWritten) || now - m_lastWrite >= kWindowLogInterval;
    if (!due) {
      m_pending = state;
      return;
    }
    Write(state, now);
    if (state.visible) TakeClick(state);
  }

  void Close() override {
    if (m_closed) return;
    m_closed = true;
    if (m_pending) Write(*m_pending, std::chrono::steady_clock::now());
    m_backend.AppendLogLine("{\"kind\":\"window-closed\",\"window\":" + std::to_string(m_number) + "}");
  }

 private:
  void Write(const WindowState& state, std::chrono::steady_clock::time_point now) {
    m_backend.AppendLogLine(StateJson(state));
    m_written = true;
    m_lastWritten = state;
    m_lastWrite = now;
    m_pending.reset();  // last: state may be the pending one
  }

  void TakeClick(const WindowState& state) {
    const std::optional<std::string> line = m_backend.TakeClick();
    if (!line) return;
    const std::optional<ViewInput> click = ParseClick(*line);
    const bool delivered = click && Clickable(state, *click);
    m_backend.AppendLogLine("{\"kind\":\"window-click\",\"click\":" + UIScriptBackend::JsonQuote(*line) +
                            ",\"delivered\":" + (delivered ? "true" : "false") +
                            ",\"window\":" + std::to_string(m_number) + "}");
    if (delivered) m_onInput(*click);
  }

  std::string StateJson(const WindowState& state) const {
    auto q = UIScriptBackend::JsonQuote;
    auto flag = [](bool value) { return value ? std::string("true") : std::string("false"); };
    std::string json = "{\"kind\":\"window\",\"title\":" + q(state.title) + ",\"saving\":" + q(state.saving) +
                       ",\"url\":" + q(state.url) + ",\"timeLeft\":" + q(state.timeLeft) +
                       ",\"destFolder\":" + q(state.destFolder) + ",\"rate\":" + q(state.rate) +
                       ",\"progress\":" + std::to_string(state.progress) + ",\"connections\":[";
    for (int i = 0; i < 10; ++i) json += (i ? "," : "") + q(state.connections[i]);
    json += "],\"visible\":" + flag(state.visible);
    json += ",\"version\":" + q(state.version) + ",\"expanded\":" + flag(state.expanded) +
            ",\"details\":" + flag(state.detailsShown) + ",\"banner\":" + q(state.banner) +
            ",\"adFiles\":[";
    for (size_t i = 0; i < state.adFiles.size(); ++i) json += (i ? "," : "") + q(state.adFiles[i]);
    json += "],\"openedLink\":" + q(state.openedLink) + ",\"cancelled\":" + flag(state.cancelled) +
            ",\"width\":" + std::to_string(state.size.cx) + ",\"height\":" + std::to_string(state.size.cy);
    json += ",\"window\":" + std::to_string(m_number) + "}";
    return json;
  }

  const UIScriptBackend m_backend;
  int m_number;
  ViewInputHandler m_onInput;
  bool m_closed = false;
  bool m_written = false;
  WindowState m_lastWritten;
  std::chrono::steady_clock::time_point m_lastWrite;
  std::optional<WindowState> m_pending;
};

}  // namespace

UIScriptBackend::UIScriptBackend(std::string logPath, std::string answersPath, std::string clicksPath)
    : m_logPath(std::move(logPath)), m_answersPath(std::move(answersPath)), m_clicksPath(std::move(clicksPath)) {}

std::unique_ptr<UIScriptBackend> UIScriptBackend::FromEnvironment() {
  return std::make_unique<UIScriptBackend>(EnvOrEmpty("KESTRION_UI_LOG"), EnvOrEmpty("KESTRION_UI_ANSWERS"),
                                           EnvOrEmpty("KESTRION_UI_CLICKS"));
}

void UIScriptBackend::AskMessage(const std::string& text, unsigned type, std::function<void(int)> answered) {
  int button = MessageAnswer(type, TakeAnswer());
  AppendLogLine("{\"kind\":\"message\",\"text\":" + JsonQuote(text) + ",\"buttons\":\"" + ButtonsName(type) +
                "\",\"icon\":\"" + IconName(type) + "\",\"answer\":\"" + AnswerName(button) + "\"}");
  answered(button);
}

void UIScriptBackend::AskSaveFile(const std::string& initialPath,
                                  std::function<void(std::optional<std::string>)> answered) {
  std::optional<std::string> path = SaveFileAnswer(initialPath, TakeAnswer());
  AppendLogLine("{\"kind\":\"save-file\",\"initial\":" + JsonQuote(initialPath) +
                ",\"answer\":" + JsonQuote(path ? *path : "cancel") + "}");
  answered(std::move(path));
}

void UIScriptBackend::AskDownloadChoice(const std::string& text, std::function<void(int)> answered) {
  int button = ChoiceAnswer(TakeAnswer());
  AppendLogLine("{\"kind\":\"download-choice\",\"text\":" + JsonQuote(text) + ",\"answer\":\"" +
                AnswerName(button) + "\"}");
  answered(button);
}

std::unique_ptr<IWindowView> UIScriptBackend::CreateWindowView(ViewInputHandler onInput) {
  static std::atomic<int> windowsCreated{0};
  return std::make_unique<ScriptWindowView>(*this, ++windowsCreated, std::move(onInput));
}

void UIScriptBackend::Beep() { AppendLogLine("{\"kind\":\"beep\"}"); }

int UIScriptBackend::MessageAnswer(unsigned type, const std::optional<std::string>& answer) {
  if ((type & 0x0F) != MB_YESNO) return IDOK;
  if (answer == "no" || answer == "cancel") return IDNO;
  return IDYES;
}

int UIScriptBackend::ChoiceAnswer(const std::optional<std::string>& answer) {
  if (answer == "regular") return IDREGULARDOWNLOAD;
  if (answer == "cancel" || answer == "no") return IDCANCEL;
  return IDOK;
}

std::optional<std::string> UIScriptBackend::SaveFileAnswer(const std::string& initialPath,
                                                           const std::optional<std::string>& answer) {
  if (!answer || answer->empty() || answer == "ok" || answer == "yes") return initialPath;
  if (answer == "cancel" || answer == "no" || answer == "regular") return std::nullopt;
  return answer;
}

std::optional<std::string> UIScriptBackend::TakeAnswer() const { return TakeFirstLine(m_answersPath); }

std::optional<std::string> UIScriptBackend::TakeClick() const { return TakeFirstLine(m_clicksPath); }

std::optional<std::string> UIScriptBackend::TakeFirstLine(const std::string& path) {
  if (path.empty()) return std::nullopt;
  FileDescriptor file(open(path.c_str(), O_RDWR | O_CLOEXEC));
  if (file.Get() < 0) return std::nullopt;
  // Released when the descriptor closes.
  while (flock(file.Get(), LOCK_EX) != 0)
    if (errno != EINTR) return std::nullopt;
  std::string content = ReadAll(file.Get());
  if (content.empty()) return std::nullopt;
  size_t end = content.find('\n');
  std::string answer = content.substr(0, end);
  std::string rest = end == std::string::npos ? "" : content.substr(end + 1);
  // Rewritten in place: every taker holds the lock on this same file, which a
  // rename would replace under a waiting taker.
  if (lseek(file.Get(), 0, SEEK_SET) != 0 || !WriteAll(file.Get(), rest) ||
      ftruncate(file.Get(), static_cast<off_t>(rest.size())) != 0)
    return std::nullopt;
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();
  return answer;
}

void UIScriptBackend::AppendLogLine(const std::string& json) const { AppendLine(m_logPath, json); }

std::string UIScriptBackend::JsonQuote(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      size_t length = Utf8SequenceLength(text, i);
      if (length > 0) {
        out.append(text, i, length);
        i += length;
        continue;
      }
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char escaped[8];
          snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out + "\"";
}

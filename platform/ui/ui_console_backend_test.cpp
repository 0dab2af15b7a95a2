#include "platform/ui/ui_console_backend.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/loop/event_loop.h"
#include "platform/ui/console_progress_line.h"
#include "tests/support/test_env.h"

namespace {

using testenv::ReadFile;

WindowState Visible(int percent) {
  WindowState state;
  state.title = "File Download (" + std::to_string(percent) + "%)";
  state.saving = "a.zip from host";
  state.progress = percent;
  state.rate = "12.5 Kb/Sec";
  state.timeLeft = "5 Seconds    (Opened so far 1.0 KB)";
  state.visible = true;
  return state;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd(fd) {}
  ~Descriptor() { close(fd); }
  int fd;
};

// Everything the other end of the terminal can read within a short while.
std::string Drain(int master) {
  std::string text;
  pollfd p{master, POLLIN, 0};
  while (poll(&p, 1, 100) == 1) {
    char buffer[512];
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

// A terminal of the given width; the backend gets it as all three streams.
class Terminal {
 public:
  explicit Terminal(unsigned short columns = 80) {
    winsize size{};
    size.ws_col = columns;
    size.ws_row = 24;
    EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, &size), 0);
  }
  ~Terminal() {
    close(master);
    close(slave);
  }
  void Type(const std::string& keys) const { ASSERT_EQ(write(master, keys.data(), keys.size()), ssize_t(keys.size())); }
  int master = -1, slave = -1;
};

class ConsoleBackendTest : public ::testing::Test {
 protected:
  int OpenFile(const std::string& name) { return open(m_dir.File(name).c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644); }
  testenv::ScratchDir m_dir;
};

// Nobody to ask: every question is answered as nobody consented, and the
// only thing on the output is the success; nothing is drawn in place.
TEST_F(ConsoleBackendTest, WithoutATerminalQuestionsAreCancelledAndOnlyTheOutcomeIsPrinted) {
  Descriptor in(open("/dev/null", O_RDONLY)), out(OpenFile("out")), err(OpenFile("err"));
  UIConsoleBackend backend(in.fd, out.fd, err.fd);
  auto view = backend.CreateWindowView([](const ViewInput&) {});
  for (int percent = 0; percent <= 100; percent += 10) view->Update(Visible(percent));
  view->Close();
  std::vector<int> buttons;
  auto press = [&](int b) { buttons.push_back(b); };
  std::optional<std::string> path = "unset";
  backend.AskMessage("Download [a.zip] completed successfuly", MB_OK | MB_ICONINFORMATION, press);
  backend.AskMessage("Download Aborted. (Reason=x)", MB_OK, press);
  backend.AskMessage("cause is error=10061\nPlease use regular download\n", MB_OK, press);
  backend.AskMessage("Replace the others?", MB_YESNO, press);
  backend.AskDownloadChoice("a.zip from host", press);
  backend.AskSaveFile("/d/a.zip", [&](std::optional<std::string> p) { path = p; });
  EXPECT_EQ(buttons, (std::vector<int>{IDOK, IDOK, IDOK, IDNO, IDCANCEL}));
  EXPECT_EQ(path, std::nullopt);
  EXPECT_EQ(ReadFile(m_dir.File("out")), "Download [a.zip] completed successfuly\n");
  EXPECT_EQ(ReadFile(m_dir.File("err")),
            "Download Aborted. (Reason=x)\n"
            "cause is error=10061\nPlease use regular download\n"
            "Replace the others?\n[y/n] n\n"
            "File Download: a.zip from host\n[s]ave, [r]egular download, [c]ancel: c\n"
            "Save as [/d/a.zip] (- to cancel): -\n");
}

// The fields, the least useful dropped first, the percentage once.
TEST(ConsoleProgressLine, FitsTheWidthDroppingTheLeastUsefulFirst) {
  WindowState known = Visible(42);
  known.detailsShown = true;
  WindowState unknown = Visible(0);
  unknown.timeLeft = "Unknown    (Opened so far 3.50 MB)";
  const struct {
    const WindowState& state;
    size_t columns;
    std::string line;
  } cases[] = {
      {known, 200, "a.zip from host  42%  5 Seconds  (Opened so far 1.0 KB)  12.5 Kb/Sec  (d: details)"},
      {known, 70, "42%  5 Seconds  (Opened so far 1.0 KB)  12.5 Kb/Sec  (d: details)"},
      {known, 55, "42%  5 Seconds  (Opened so far 1.0 KB)  12.5 Kb/Sec"},
      {known, 40, "42%  5 Seconds  (Opened so far 1.0 KB)"},
      {known, 20, "42%  5 Seconds"},
      {known, 4, "42%"},
      {known, 2, "42"},
      {unknown, 40, "Unknown  (Opened so far 3.50 MB)"},
      {unknown, 30, "(Opened so far 3.50 MB)"},
  };
  for (const auto& c : cases) EXPECT_EQ(ConsoleProgressLine(c.state, c.state.detailsShown, c.columns), c.line);
}

TEST_F(ConsoleBackendTest, OnATerminalTheLiveLineFitsAndStaysAndQuestionsAreAsked) {
  Terminal terminal(40);
  UIConsoleBackend backend(terminal.slave, terminal.slave, terminal.slave);
  auto view = backend.CreateWindowView([](const ViewInput&) {});
  view->Update(Visible(5));
  EXPECT_EQ(Drain(terminal.master), "\r5%  5 Seconds  (Opened so far 1.0 KB)\033[K");

  terminal.Type("maybe\nN\n");
  int button = 0;
  backend.AskMessage("Replace it?", MB_YESNO, [&](int b) { button = b; });
  EXPECT_EQ(button, IDNO);
  const std::string asked = Drain(terminal.master);
  EXPECT_NE(asked.find("\r\033[K"), std::string::npos) << "the live line makes way";
  EXPECT_NE(asked.find("Replace it?\r\n[y/n] "), std::string::npos);

  // An existing file is replaced only when that is confirmed; No, the
  // default, asks for the path again.
  testenv::WriteFile(m_dir.File("old.zip"), "old");
  std::optional<std::string> path = "unset";
  auto save = [&](std::optional<std::string> p) { path = p; };
  terminal.Type("-\n");
  backend.AskSaveFile("/d/a.zip", save);
  EXPECT_EQ(path, std::nullopt);
  terminal.Type("\n");
  backend.AskSaveFile("/d/a.zip", save);
  EXPECT_EQ(path, "/d/a.zip");
  terminal.Type("\n\n" + m_dir.File("new.zip") + "\n");
  backend.AskSaveFile(m_dir.File("old.zip"), save);
  EXPECT_EQ(path, m_dir.File("new.zip"));
  terminal.Type("\ny\n");
  backend.AskSaveFile(m_dir.File("old.zip"), save);
  EXPECT_EQ(path, m_dir.File("old.zip"));
  EXPECT_NE(Drain(terminal.master).find("old.zip exists. Replace it? [y/N] "), std::string::npos);

  view->Update(Visible(6));  // the message cleared the line; the next state redraws it
  view->Close();
  const std::string closing = Drain(terminal.master);
  EXPECT_NE(closing.find("6%"), std::string::npos);
  EXPECT_EQ(closing.substr(closing.size() - 2), "\r\n");  // the final line stays
}

// Ctrl-C ends the program before the window is closed: its line is ended,
// and nothing is drawn in place after that.
TEST_F(ConsoleBackendTest, TheEndOfTheProgramEndsTheLiveLine) {
  Terminal terminal;
  UIConsoleBackend backend(terminal.slave, terminal.slave, terminal.slave);
  auto view = backend.CreateWindowView([](const ViewInput&) {});
  view->Update(Visible(5));
  Drain(terminal.master);
  backend.End();
  EXPECT_EQ(Drain(terminal.master), "\r\n");
  view->Update(Visible(50));
  view->Close();
  EXPECT_EQ(Drain(terminal.master), "");
}

// Lines redrawn in place would pile up in a file: with the output
// redirected, nothing but the outcome is printed, and no key is read.
TEST_F(ConsoleBackendTest, WithTheOutputRedirectedNothingIsDrawnInPlace) {
  Terminal terminal;
  Descriptor out(OpenFile("out"));
  UIConsoleBackend backend(terminal.slave, out.fd, terminal.slave);
  auto view = backend.CreateWindowView([](const ViewInput&) {});
  WindowState state = Visible(5);
  state.toggleId = 1011;
  state.detailsShown = true;
  view->Update(state);
  termios mode{};
  tcgetattr(terminal.slave, &mode);
  EXPECT_NE(mode.c_lflag & ICANON, 0u);
  view->Close();
  backend.End();
  EXPECT_EQ(Drain(terminal.master), "");
  EXPECT_EQ(ReadFile(m_dir.File("out")), "");
}

TEST_F(ConsoleBackendTest, OnATerminalTheDetailsKeyTogglesALineWithTheConnections) {
  Terminal terminal;
  UIConsoleBackend backend(terminal.slave, terminal.slave, terminal.slave);
  std::vector<int> pressed;
  auto view = backend.CreateWindowView([&](const ViewInput& input) { pressed.push_back(input.id); });

  WindowState state = Visible(5);
  state.toggleId = 1011;
  state.detailsShown = true;
  for (auto& column : state.connections) column = ".";
  state.connections[0] = "1.00 MB";
  state.connections[1] = "512.0 KB";
  view->Update(state);
  EXPECT_NE(Drain(terminal.master).find("(d: details)"), std::string::npos);
  termios mode{};
  tcgetattr(terminal.slave, &mode);
  EXPECT_EQ(mode.c_lflag & ICANON, 0u) << "keys are read one by one";

  terminal.Type("xd");
  EventLoop::ForThisThread().PumpUntil([&] { return !pressed.empty(); }, std::chrono::milliseconds(5000));
  EXPECT_EQ(pressed, std::vector<int>{1011});

  state.expanded = true;
  view->Update(state);  // drawn at once: it answers the key
  const std::string drawn = Drain(terminal.master);
  EXPECT_NE(drawn.find("\n-1- 1.00 MB  -2- 512.0 KB\033[K"), std::string::npos) << drawn;
  EXPECT_EQ(drawn.find("(d: details)"), std::string::npos);
  view->Close();
  tcgetattr(terminal.slave, &mode);
  EXPECT_NE(mode.c_lflag & ICANON, 0u) << "the terminal's own mode comes back";
}

TEST_F(ConsoleBackendTest, AQuitEndsAQuestionAskedOnTheTerminal) {
  Terminal terminal;
  UIConsoleBackend backend(terminal.slave, terminal.slave, terminal.slave);
  std::optional<std::string> path = "unanswered";
  bool quitPending = false;
  std::atomic<ThreadId> asker{0};
  std::thread question([&] {
    asker = GetCurrentThreadId();
    backend.AskSaveFile("/d/a.zip", [&](std::optional<std::string> p) { path = p; });
    quitPending = EventLoop::ForThisThread().QuitPending();
  });
  while (asker == 0) std::this_thread::yield();
  PostThreadMessage(asker, WM_QUIT);
  question.join();
  EXPECT_EQ(path, std::nullopt);
  EXPECT_TRUE(quitPending);
}

}  // namespace

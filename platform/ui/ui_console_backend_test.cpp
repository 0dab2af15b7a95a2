#include "platform/ui/ui_console_backend.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/loop/event_loop.h"
#include "tests/support/test_env.h"

namespace {

using testenv::ReadFile;

WindowState Visible(int percent) {
  WindowState state;
  state.title = "File Download (" + std::to_string(percent) + "%)";
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

class ConsoleBackendTest : public ::testing::Test {
 protected:
  int OpenFile(const std::string& name) { return open(m_dir.File(name).c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644); }
  testenv::ScratchDir m_dir;
};

TEST_F(ConsoleBackendTest, WithoutATerminalTheDefaultButtonAndProposedPathAreTaken) {
  Descriptor in(open("/dev/null", O_RDONLY)), out(OpenFile("out")), err(OpenFile("err"));
  UIConsoleBackend backend(in.fd, out.fd, err.fd);
  int ok = 0, yes = 0;
  std::optional<std::string> path;
  backend.AskMessage("Download [a.zip] completed successfuly", MB_OK | MB_ICONINFORMATION, [&](int b) { ok = b; });
  backend.AskMessage("Overwrite?", MB_YESNO, [&](int b) { yes = b; });
  backend.AskSaveFile("/d/a.zip", [&](std::optional<std::string> p) { path = p; });
  EXPECT_EQ(ok, IDOK);
  EXPECT_EQ(yes, IDYES);
  EXPECT_EQ(path, "/d/a.zip");
  EXPECT_EQ(ReadFile(m_dir.File("out")),
            "Download [a.zip] completed successfuly\nOverwrite?\n[y/n] y\nSave as [/d/a.zip] (- to cancel): /d/a.zip\n");
  EXPECT_EQ(ReadFile(m_dir.File("err")), "");
}

TEST_F(ConsoleBackendTest, PlainProgressLinesAreRareButTheFinalStateIsPrinted) {
  Descriptor out(OpenFile("out")), err(OpenFile("err"));
  UIConsoleBackend backend(0, out.fd, err.fd);
  auto hidden = backend.CreateWindowView([](const ViewInput&) {});
  hidden->Update(WindowState{});
  hidden->Close();
  auto view = backend.CreateWindowView([](const ViewInput&) {});
  WindowState first;
  first.title = "File Download";
  view->Update(first);  // not visible yet
  for (int percent = 0; percent <= 100; percent += 10) view->Update(Visible(percent));
  view.reset();  // closing through the destructor
  EXPECT_EQ(ReadFile(m_dir.File("err")),
            "File Download (0%)  0%  12.5 Kb/Sec  5 Seconds    (Opened so far 1.0 KB)\n"
            "File Download (100%)  100%  12.5 Kb/Sec  5 Seconds    (Opened so far 1.0 KB)\n");
}

TEST_F(ConsoleBackendTest, OnATerminalQuestionsAreAskedAndTheLiveLineMakesWayForMessages) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  Descriptor m(master), s(slave), out(OpenFile("out"));
  UIConsoleBackend backend(slave, out.fd, slave);

  auto view = backend.CreateWindowView([](const ViewInput&) {});
  view->Update(Visible(5));
  std::string drawn = Drain(master);
  EXPECT_EQ(drawn, "\r" + UIConsoleBackend::ProgressLine(Visible(5)) + "\033[K");

  ASSERT_EQ(write(master, "maybe\nN\n", 8), 8);
  int button = 0;
  backend.AskMessage("Replace it?", MB_YESNO, [&](int b) { button = b; });
  EXPECT_EQ(button, IDNO);
  EXPECT_EQ(ReadFile(m_dir.File("out")), "Replace it?\n[y/n] [y/n] ");
  EXPECT_NE(Drain(master).find("\r\033[K"), std::string::npos);  // the live line was cleared

  std::optional<std::string> path = "unset";
  ASSERT_EQ(write(master, "-\n\n/home/u/b.zip\n", 17), 17);
  backend.AskSaveFile("/d/a.zip", [&](std::optional<std::string> p) { path = p; });
  EXPECT_EQ(path, std::nullopt);
  backend.AskSaveFile("/d/a.zip", [&](std::optional<std::string> p) { path = p; });
  EXPECT_EQ(path, "/d/a.zip");
  backend.AskSaveFile("/d/a.zip", [&](std::optional<std::string> p) { path = p; });
  EXPECT_EQ(path, "/home/u/b.zip");
  Drain(master);

  view->Update(Visible(6));  // the message cleared the line; the next state redraws it
  view->Close();
  std::string closing = Drain(master);
  EXPECT_NE(closing.find(UIConsoleBackend::ProgressLine(Visible(6))), std::string::npos);
  EXPECT_EQ(closing.substr(closing.size() - 2), "\r\n");  // the final line stays
}

}  // namespace

namespace {

TEST_F(ConsoleBackendTest, OnATerminalTheDetailsKeyTogglesALineWithTheConnections) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  Descriptor m(master), s(slave), out(OpenFile("out"));
  UIConsoleBackend backend(slave, out.fd, slave);
  std::vector<int> pressed;
  auto view = backend.CreateWindowView([&](const ViewInput& input) { pressed.push_back(input.id); });

  WindowState state = Visible(5);
  state.toggleId = 1011;
  state.detailsShown = true;
  for (auto& column : state.connections) column = ".";
  state.connections[0] = "1.00 MB";
  state.connections[1] = "512.0 KB";
  view->Update(state);
  EXPECT_NE(Drain(master).find("(d: details)"), std::string::npos);
  termios mode{};
  tcgetattr(slave, &mode);
  EXPECT_EQ(mode.c_lflag & ICANON, 0u) << "keys are read one by one";

  ASSERT_EQ(write(master, "xd", 2), 2);
  EventLoop::ForThisThread().PumpUntil([&] { return !pressed.empty(); }, std::chrono::milliseconds(5000));
  EXPECT_EQ(pressed, std::vector<int>{1011});

  state.expanded = true;
  view->Update(state);  // drawn at once: it answers the key
  const std::string drawn = Drain(master);
  EXPECT_NE(drawn.find("\n-1- 1.00 MB  -2- 512.0 KB\033[K"), std::string::npos) << drawn;
  EXPECT_EQ(drawn.find("(d: details)"), std::string::npos);
  view->Close();
  tcgetattr(slave, &mode);
  EXPECT_NE(mode.c_lflag & ICANON, 0u) << "the terminal's own mode comes back";
}

TEST_F(ConsoleBackendTest, AQuitEndsAQuestionAskedOnTheTerminal) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  Descriptor m(master), s(slave), out(OpenFile("out"));
  UIConsoleBackend backend(slave, out.fd, slave);
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

TEST_F(ConsoleBackendTest, WithoutATerminalThereIsNoDetailsKey) {
  Descriptor in(open("/dev/null", O_RDONLY)), err(OpenFile("err"));
  UIConsoleBackend backend(in.fd, 1, err.fd);
  auto view = backend.CreateWindowView([](const ViewInput&) {});
  WindowState state = Visible(5);
  state.toggleId = 1011;
  state.detailsShown = true;
  state.expanded = true;
  view->Update(state);
  view->Close();
  EXPECT_EQ(ReadFile(m_dir.File("err")), UIConsoleBackend::ProgressLine(state) + "\n");
}

}  // namespace

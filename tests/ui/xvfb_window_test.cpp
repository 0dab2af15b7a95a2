// The real window on a real (virtual) X display: kestrion with the qt
// interface, driven by xdotool as a person would drive it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>

#include "platform/ui/dialog_template.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_env.h"

namespace {

using namespace std::chrono_literals;

bool Installed(const char* program) { return system((std::string("command -v ") + program + " >/dev/null").c_str()) == 0; }

// An X display of its own, made by xvfb-run, which holds it while a shell
// sleeps; ending the shell ends the display.
class XvfbDisplay {
 public:
  XvfbDisplay() {
    const std::string ready = m_dir.File("ready");
    m_pid = fork();
    if (m_pid == 0) {
      setpgid(0, 0);
      const int quiet = open("/dev/null", O_WRONLY);
      dup2(quiet, 1);
      dup2(quiet, 2);
      const std::string script = "echo \"$$ $DISPLAY $XAUTHORITY\" > " + ready + ".tmp && mv " + ready + ".tmp " +
                                 ready + " && exec sleep 300";
      // Numbers are looked for from one of this process's own, away from
      // those a display that is still shutting down may hold.
      const std::string first = std::to_string(100 + getpid() % 800);
      execlp("xvfb-run", "xvfb-run", "-n", first.c_str(), "-a", "-s", "-screen 0 1024x768x24 -nolisten tcp", "sh",
             "-c", script.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 300 && !testenv::FileExists(ready); ++i) std::this_thread::sleep_for(50ms);
    std::istringstream line(testenv::ReadFile(ready));
    line >> m_shell >> m_display >> m_authority;
    // The server's own process, which Xvfb writes into its lock file.
    if (!m_display.empty()) m_server = atoi(testenv::ReadFile(LockFile()).c_str());
  }
  ~XvfbDisplay() {
    if (m_shell > 0) kill(m_shell, SIGTERM);
    for (int i = 0; i < 100 && waitpid(m_pid, nullptr, WNOHANG) == 0; ++i) std::this_thread::sleep_for(50ms);
    if (waitpid(m_pid, nullptr, WNOHANG) == 0) {
      kill(-m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    // Xvfb ends after xvfb-run does (which tells it to); a new one on the
    // same number before then would lose its socket to the old one's
    // clean-up. One that outlives xvfb-run is told again.
    for (int i = 0; i < 100 && m_server > 0 && ServerRuns(); ++i) {
      if (i == 50) kill(m_server, SIGTERM);
      std::this_thread::sleep_for(50ms);
    }
  }
  bool Ready() const { return !m_display.empty(); }
  std::string LockFile() const { return "/tmp/.X" + m_display.substr(m_display.find(':') + 1) + "-lock"; }
  // Running and not yet a zombie waiting for its parent.
  bool ServerRuns() const {
    const std::string stat = testenv::ReadFile("/proc/" + std::to_string(m_server) + "/stat");
    const size_t state = stat.rfind(')');
    return state != std::string::npos && stat.size() > state + 2 && stat[state + 2] != 'Z' &&
           testenv::ReadFile("/proc/" + std::to_string(m_server) + "/comm") == "Xvfb\n";
  }
  // What the display shows and what xdotool said, for a failure message.
  std::string Describe() const {
    return "windows: [" + Xdotool("search --name . getwindowname %@") + "] " +
           testenv::ReadFile(m_dir.File("xdotool.err"));
  }
  std::map<std::string, std::string> Environment() const { return {{"DISPLAY", m_display}, {"XAUTHORITY", m_authority}}; }

  // xdotool's output, each command given at most `limit`.
  std::string Xdotool(const std::string& arguments, std::chrono::seconds limit = 5s) const {
    const std::string command = "DISPLAY=" + m_display + " XAUTHORITY=" + m_authority + " timeout " +
                                std::to_string(limit.count()) + " xdotool " + arguments + " 2>>" + m_dir.File("xdotool.err");
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[256];
      while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
      pclose(pipe);
    }
    while (!output.empty() && output.back() == '\n') output.pop_back();
    return output;
  }
  // The first shown window whose title matches, waiting for it (the program
  // also has a hidden one named after it). A fresh display now and then
  // refuses xdotool's first connection, so that is tried again.
  std::string FindWindow(const std::string& titlePattern) const {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    std::string found;
    while (found.empty() && std::chrono::steady_clock::now() < deadline) {
      found = Xdotool("search --sync --onlyvisible --name '" + titlePattern + "'", 10s);
      if (found.empty()) std::this_thread::sleep_for(100ms);
    }
    return found.substr(0, found.find('\n'));
  }
  // Clicks at a point of a window given in dialog units.
  void Click(const std::string& window, int x, int y) const {
    Xdotool("mousemove --window " + window + " " + std::to_string(DialogUnitsToPixelsX(x)) + " " +
            std::to_string(DialogUnitsToPixelsY(y)) + " click 1");
  }
  // Polls until the check holds, for at most 30 s.
  static bool Eventually(const std::function<bool()>& check) {
    for (int i = 0; i < 300; ++i) {
      if (check()) return true;
      std::this_thread::sleep_for(100ms);
    }
    return false;
  }

 private:
  testenv::ScratchDir m_dir;
  pid_t m_pid = -1;
  int m_shell = -1;
  int m_server = -1;
  std::string m_display, m_authority;
};

// Button centres in dialog units.
constexpr int kCancelX = 269 + 25, kCancelY = 99 + 7;
constexpr int kDetailsX = 214 + 24, kDetailsY = 99 + 7;

class XvfbWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* plugin = getenv("KESTRION_QT_PLUGIN");
    if (!plugin || !testenv::FileExists(plugin)) GTEST_SKIP() << "kestrion was built without the qt interface";
    for (const char* tool : {"xvfb-run", "xdotool", "xauth"})
      if (!Installed(tool)) GTEST_SKIP() << tool << " is not installed (scripts/install-deps test)";
    ASSERT_TRUE(m_nginx.Running()) << m_nginx.Error();
    ASSERT_TRUE(m_display.Ready()) << "xvfb-run gave no display";
    std::filesystem::create_directories(m_dir.File("registry"));
    testenv::WriteFile(m_dir.File("registry/HKEY_LOCAL_MACHINE.reg"),
                       "Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvane\\Kestrion]\r\n\"Details\"=dword:00000001\r\n");
  }

  std::map<std::string, std::string> Environment() const {
    std::map<std::string, std::string> env = m_display.Environment();
    env["KESTRION_UI"] = "qt";
    env["QT_QPA_PLATFORM"] = "";  // the offscreen tests of this binary set it
    // The display has no session bus; without this, Qt's D-Bus library would
    // start one for it (and leave it running), forking from a thread.
    env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + m_dir.File("no-bus");
    env["KESTRION_REGISTRY"] = m_dir.File("registry");
    return env;
  }

  void ExpectEndedByCancel(testenv::KestrionProcess& kestrion, const std::string& destination) {
    const testenv::RunResult result = kestrion.Wait(20s);
    EXPECT_NE(result.exitCode, -1) << "kestrion did not end after Cancel: " << result.output;
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(testenv::ListFiles(m_dir.Path(), "FFF").empty()) << "piece files left";
    EXPECT_FALSE(testenv::FileExists(destination));
  }

  testenv::NginxServer m_nginx{"location / { limit_rate 100k; }"};
  testenv::ScratchDir m_dir;
  XvfbDisplay m_display;
};

TEST_F(XvfbWindowTest, TheWindowShowsProgressOpensItsDetailsAndCancelEndsTheDownload) {
  testenv::WriteFile(m_nginx.FilePath("big.bin"), testenv::PatternBytes(8 << 20));
  const std::string destination = m_dir.File("big.bin");
  testenv::KestrionProcess kestrion({m_nginx.Url("big.bin"), destination}, m_dir.Path(), Environment());
  const std::string window = m_display.FindWindow("^File Download");
  ASSERT_FALSE(window.empty()) << "no File Download window: " << m_display.Describe()
                               << kestrion.Wait(std::chrono::seconds(0)).output;
  EXPECT_TRUE(XvfbDisplay::Eventually(
      [&] { return m_display.Xdotool("getwindowname " + window).find("%)") != std::string::npos; }))
      << m_display.Xdotool("getwindowname " + window);
  EXPECT_NE(testenv::ReadFile("/proc/" + std::to_string(kestrion.Pid()) + "/maps").find("libQt6Widgets"),
            std::string::npos);

  const std::string collapsed = std::to_string(DialogUnitsToPixelsY(167));
  const std::string expanded = std::to_string(DialogUnitsToPixelsY(225));
  EXPECT_NE(m_display.Xdotool("getwindowgeometry " + window).find("x" + collapsed), std::string::npos);
  m_display.Click(window, kDetailsX, kDetailsY);
  EXPECT_TRUE(XvfbDisplay::Eventually(
      [&] { return m_display.Xdotool("getwindowgeometry " + window).find("x" + expanded) != std::string::npos; }))
      << m_display.Xdotool("getwindowgeometry " + window);

  m_display.Click(window, kCancelX, kCancelY);
  ExpectEndedByCancel(kestrion, destination);
}

TEST_F(XvfbWindowTest, CancelWhileAQuestionIsOpenEndsTheDownload) {
  testenv::WriteFile(m_nginx.FilePath("small.bin"), testenv::PatternBytes(200000));
  // The folder is missing, so the finished pieces cannot be joined there and
  // a message box asks, with the window still up.
  const std::string destination = m_dir.File("missing/small.bin");
  testenv::KestrionProcess kestrion({m_nginx.Url("small.bin"), destination}, m_dir.Path(), Environment());
  const std::string window = m_display.FindWindow("^File Download");
  ASSERT_FALSE(window.empty()) << "no File Download window: " << m_display.Describe()
                               << kestrion.Wait(std::chrono::seconds(0)).output;
  const std::string box = m_display.FindWindow("^Kestrion$");
  ASSERT_FALSE(box.empty()) << "no message box";
  m_display.Xdotool("windowmove " + box + " 0 600");
  m_display.Click(window, kCancelX, kCancelY);
  ExpectEndedByCancel(kestrion, destination);
}

}  // namespace

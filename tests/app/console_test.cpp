// The console interface as a shell user meets it: the result on standard
// output, the rest on standard error, nothing drawn in place into a file,
// and on a terminal one live line that fits it and ends with a newline.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/http_test_server.h"
#include "tests/support/nginx_server.h"
#include "tests/support/registry_values.h"
#include "tests/support/test_env.h"
#include "tests/support/loopback.h"

namespace {

using namespace std::chrono_literals;

std::map<std::string, std::string> ConsoleEnvironment(const testenv::ScratchDir& dir) {
  return {{"KESTRION_UI", "console"}, {"KESTRION_REGISTRY", dir.File("registry")}};
}

// With both streams in files: exactly the outcome, each on its stream.
TEST(Console, TheResultGoesToTheOutputAndEverythingElseToTheErrorStream) {
  // Under the size that starts the banner updater, which has its own say.
  testenv::HttpTestServer server(testenv::PatternBytes(200000, 41));
  testenv::ScratchDir dir;
  testenv::InstallProgramKeys(dir.File("registry"));
  std::filesystem::create_directories(dir.File("folder"));
  const struct {
    std::string url, destination;
    int exitCode;
    std::string out, errStart;
  } cases[] = {
      {server.URL(), "file.bin", 0, "Download [/file.bin] completed successfuly\n", ""},
      {"http://" + testenv::kServerHost + ":" + std::to_string(testenv::FreeLoopbackPort()) + "/f.zip", "f.zip", 1, "",
       "Error: Command Socket could not connect to:" + testenv::kServerHost},
      // Nobody to ask for another path: the question is answered Cancel.
      {server.URL(), "folder", 1, "",
       "Request output filename could not be created, please select again (folder: Is a directory)\n"
       "Save as [folder] (- to cancel): -\n"},
  };
  for (const auto& c : cases) {
    const testenv::RunResult run =
        testenv::RunProgram("/bin/sh", {"-c", "exec \"$0\" \"$1\" \"$2\" 2>err", testenv::BuildFolder() + "/kestrion", c.url,
                                        c.destination},
                            dir.Path(), ConsoleEnvironment(dir));
    const std::string err = testenv::ReadFile(dir.File("err"));
    EXPECT_EQ(run.exitCode, c.exitCode) << c.destination << ": " << err;
    EXPECT_EQ(run.output, c.out) << c.destination;
    EXPECT_EQ(err.rfind(c.errStart, 0), 0u) << c.destination << ": " << err;
    if (c.exitCode == 0) {
      EXPECT_EQ(err, "");
    }
    EXPECT_EQ(err.find('\r'), std::string::npos) << c.destination << ": " << err;
  }
  EXPECT_TRUE(testenv::ReadFile(dir.File("file.bin")) == server.Content());
  // Into a pipe whose reader has gone, the messages are lost, not the end
  // of the download: it fails in order, its pieces removed.
  const testenv::RunResult piped = testenv::RunProgram(
      "/bin/bash", {"-c", "{ sleep 1; \"$0\" \"$1\" folder 2>&1; } | true; exit ${PIPESTATUS[0]}",
                    testenv::BuildFolder() + "/kestrion", server.URL()},
      dir.Path(), ConsoleEnvironment(dir));
  EXPECT_EQ(piped.exitCode, 1);
  EXPECT_TRUE(testenv::ListFiles(dir.Path(), "FFF").empty());
}

// On a terminal 40 columns wide, Ctrl-C during a slow download.
TEST(Console, OnATerminalTheLiveLineFitsAndCtrlCEndsIt) {
  testenv::NginxServer nginx("location / { limit_rate 8k; }");
  ASSERT_TRUE(nginx.Running()) << nginx.Error();
  testenv::WriteFile(nginx.FilePath("file.bin"), testenv::PatternBytes(240000, 42));
  testenv::ScratchDir dir;
  const std::string kestrion = testenv::BuildFolder() + "/kestrion";
  testenv::InstallProgramKeys(dir.File("registry"));
  winsize size{};
  size.ws_col = 40;
  size.ws_row = 24;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(dir.Path().c_str()) != 0) _exit(127);
    for (const auto& [name, value] : ConsoleEnvironment(dir)) setenv(name.c_str(), value.c_str(), 1);
    execl(kestrion.c_str(), kestrion.c_str(), nginx.Url("file.bin").c_str(), "file.bin", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string screen;
  auto readFor = [&](std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    pollfd p{master, POLLIN, 0};
    while (std::chrono::steady_clock::now() < deadline && poll(&p, 1, 50) >= 0) {
      char buffer[512];
      if (!(p.revents & POLLIN)) continue;
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) return;
      screen.append(buffer, static_cast<size_t>(n));
    }
  };
  for (int i = 0; i < 100 && screen.find('%') == std::string::npos; ++i) readFor(100ms);
  readFor(1500ms);  // a few redraws
  ASSERT_EQ(write(master, "\x03", 1), 1);  // Ctrl-C, from the terminal
  readFor(3000ms);
  int status = 0;
  for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i) std::this_thread::sleep_for(50ms);
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
  ASSERT_NE(screen.find('%'), std::string::npos) << screen;
  // Every state drawn fits the width and names the percentage once.
  size_t drawn = 0;
  for (size_t at = screen.find('\r'); at != std::string::npos; at = screen.find('\r', at + 1)) {
    const size_t end = screen.find_first_of("\r\n\033", at + 1);
    const std::string line = screen.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    EXPECT_LE(line.size(), 39u) << line;
    if (line.find('%') == std::string::npos) continue;
    ++drawn;
    EXPECT_EQ(line.find('%'), line.rfind('%')) << line;
  }
  EXPECT_GT(drawn, 0u);
  EXPECT_EQ(screen.substr(screen.size() - 2), "\r\n") << "the line is ended: " << screen;
  EXPECT_TRUE(testenv::ListFiles(dir.Path(), "FFF").empty());
}

}  // namespace

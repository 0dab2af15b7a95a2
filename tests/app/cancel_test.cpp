// Ctrl-C, SIGTERM, SIGHUP and the window's Cancel end a download at once,
// each with its exit status, and leave none of its pieces.
#include <sys/stat.h>

#include <csignal>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/test_env.h"
#include "tests/support/loopback.h"

namespace {

using namespace std::chrono_literals;

struct Ending {
  const char* scheme;
  int signal;  // 0: the window's Cancel
  int exitCode;
};

class CancelTest : public ::testing::TestWithParam<Ending> {};

TEST_P(CancelTest, EndsTheDownloadAtOnceAndRemovesItsPieces) {
  const Ending ending = GetParam();
  testenv::ScratchDir dir;
  testenv::SilentServer server;
  const std::string log = dir.File("ui.log");
  // Cancel is clicked once the window shows.
  testenv::WriteFile(dir.File("clicks"), ending.signal == 0 ? "command 2\n" : "");
  testenv::KestrionProcess kestrion(
      {std::string(ending.scheme) + "://" + testenv::kServerHost + ":" + std::to_string(server.Port()) + "/big.zip", "big.zip"},
      dir.Path(),
      {{"KESTRION_UI", "script"},
       {"KESTRION_UI_LOG", log},
       {"KESTRION_UI_CLICKS", dir.File("clicks")},
       {"KESTRION_REGISTRY", dir.File("registry")}});
  for (int i = 0; i < 500 && server.Accepted() == 0; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(server.Accepted(), 1);
  // The first piece file exists while the connection waits for its answer.
  std::this_thread::sleep_for(200ms);
  const auto signalled = std::chrono::steady_clock::now();
  if (ending.signal != 0) kestrion.Signal(ending.signal);
  testenv::RunResult result = kestrion.Wait(std::chrono::seconds(15));
  // About a second at most; the bound leaves room for a loaded machine.
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, 5s);
  EXPECT_EQ(result.exitCode, ending.exitCode) << result.output;
  EXPECT_TRUE(testenv::ListFiles(dir.Path(), "FFF").empty());
  EXPECT_FALSE(testenv::FileExists(dir.File("big.zip")));
  EXPECT_TRUE(testenv::LogLinesOfKind(log, "message").empty()) << "a cancel shows no message";
}

INSTANTIATE_TEST_SUITE_P(Endings, CancelTest,
                         ::testing::Values(Ending{"http", SIGINT, 130}, Ending{"ftp", SIGTERM, 143},
                                           Ending{"http", SIGHUP, 129}, Ending{"ftp", SIGHUP, 129},
                                           Ending{"http", 0, 130}));

// A thread stuck in a call that never returns (here the manager's write of
// its window to a UI log that is a pipe nobody reads) does not keep a
// signal from ending the program in time, its pieces removed.
TEST(Cancel, ASignalEndsAProgramThatIsStuckRemovingItsPieces) {
  testenv::ScratchDir dir;
  testenv::SilentServer server;
  ASSERT_EQ(mkfifo(dir.File("ui.log").c_str(), 0600), 0);
  testenv::KestrionProcess kestrion({"http://" + testenv::kServerHost + ":" + std::to_string(server.Port()) + "/big.zip", "big.zip"},
                                    dir.Path(),
                                    {{"KESTRION_UI", "script"},
                                     {"KESTRION_UI_LOG", dir.File("ui.log")},
                                     {"KESTRION_REGISTRY", dir.File("registry")}});
  for (int i = 0; i < 500 && testenv::ListFiles(dir.Path(), "FFF").empty(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_FALSE(testenv::ListFiles(dir.Path(), "FFF").empty());
  std::this_thread::sleep_for(200ms);
  const auto signalled = std::chrono::steady_clock::now();
  kestrion.Signal(SIGHUP);
  testenv::RunResult result = kestrion.Wait(std::chrono::seconds(15));
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, 5s);
  EXPECT_EQ(result.exitCode, 129) << result.output;
  EXPECT_TRUE(testenv::ListFiles(dir.Path(), "FFF").empty());
}

}  // namespace

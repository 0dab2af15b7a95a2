// Ctrl-C and SIGTERM are the console's and the script UI's Cancel button.
#include <csignal>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/test_env.h"

namespace {

void ExpectCancelEndsTheDownload(const std::string& scheme, int signalNumber) {
  testenv::ScratchDir dir;
  testenv::SilentServer server;
  const std::string log = dir.File("ui.log");
  testenv::KestrionProcess kestrion(
      {scheme + "://127.0.0.1:" + std::to_string(server.Port()) + "/big.zip", "big.zip"}, dir.Path(),
      {{"KESTRION_UI", "script"}, {"KESTRION_UI_LOG", log}, {"KESTRION_REGISTRY", dir.File("registry")}});
  for (int i = 0; i < 500 && server.Accepted() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(server.Accepted(), 1);
  // The first piece file exists while the connection waits for its answer.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto signalled = std::chrono::steady_clock::now();
  kestrion.Signal(signalNumber);
  testenv::RunResult result = kestrion.Wait(std::chrono::seconds(15));
  EXPECT_NE(result.exitCode, -1) << "kestrion did not end after the signal";
  // About a second at most; the bound leaves room for a loaded machine.
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(5));
  EXPECT_NE(result.exitCode, 0);
  EXPECT_TRUE(testenv::ListFiles(dir.Path(), "FFF").empty());
  EXPECT_FALSE(testenv::FileExists(dir.File("big.zip")));
  EXPECT_TRUE(testenv::LogLinesOfKind(log, "message").empty()) << "a cancel shows no message";
}

TEST(Cancel, InterruptEndsAnHttpDownloadAndRemovesItsPieces) { ExpectCancelEndsTheDownload("http", SIGINT); }

TEST(Cancel, TerminateEndsAnFtpDownloadAndRemovesItsPieces) { ExpectCancelEndsTheDownload("ftp", SIGTERM); }

}  // namespace

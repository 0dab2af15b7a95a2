#include <signal.h>

#include <filesystem>
#include <set>
#include <thread>
#include <tuple>

#include "tests/ftp/ftp_download_fixture.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/ftp_test_server.h"

namespace {

using testenv::FtpDataFault;
using testenv::FtpSessionScript;
using testenv::FtpTestServer;
using testenv::PatternBytes;
using namespace std::chrono_literals;

FtpSessionScript Faulty(FtpDataFault fault, int64_t at) {
  FtpSessionScript script;
  script.fault = fault;
  script.faultAt = at;
  return script;
}

int64_t RestOffset(const FtpTestServer& server, int session) {
  for (const auto& line : server.Commands(session)) {
    if (line.compare(0, 5, "REST ") == 0 && line != "REST 100") return std::stoll(line.substr(5));
  }
  return -1;
}

class FtpRecoveryTest : public FtpDownloadTest {};

TEST_F(FtpRecoveryTest, ResetInTheMiddleOfRangeTwoIsResumedByConnectionFive) {
  const std::string file = PatternBytes(1000000);
  FtpTestServer server(file);
  server.SetScript(2, Faulty(FtpDataFault::kReset, 100000));
  EXPECT_DOWNLOADED(Download(server.Url()), file);
  ASSERT_EQ(server.SessionCount(), 5);
  const int64_t resumedAt = RestOffset(server, 5);
  EXPECT_GT(resumedAt, 250000);
  EXPECT_LE(resumedAt, 350000);
  EXPECT_EQ(server.FindCommand(5, "RETR"), "RETR file.bin");
}

TEST_F(FtpRecoveryTest, EarlyGracefulClosesAreResumedFromTheFirstMissingByte) {
  const std::string file = PatternBytes(1000000);
  FtpTestServer server(file);
  server.SetScript(2, Faulty(FtpDataFault::kClose, 50000));
  server.SetScript(4, Faulty(FtpDataFault::kClose, 70000));
  EXPECT_DOWNLOADED(Download(server.Url()), file);
  ASSERT_EQ(server.SessionCount(), 6);
  EXPECT_EQ((std::set<int64_t>{RestOffset(server, 5), RestOffset(server, 6)}), (std::set<int64_t>{300000, 820000}));
}

TEST_F(FtpRecoveryTest, ResumedConnectionThatFailsAgainIsResumedAgain) {
  const std::string file = PatternBytes(1000000);
  FtpTestServer server(file);
  server.SetScript(2, Faulty(FtpDataFault::kClose, 10000));
  server.SetScript(5, Faulty(FtpDataFault::kReset, 0));
  server.SetScript(6, Faulty(FtpDataFault::kClose, 30000));
  EXPECT_DOWNLOADED(Download(server.Url()), file);
  ASSERT_EQ(server.SessionCount(), 7);
  EXPECT_EQ(RestOffset(server, 5), 260000);
  EXPECT_EQ(RestOffset(server, 6), 260000);
  EXPECT_EQ(RestOffset(server, 7), 290000);
}

TEST_F(FtpRecoveryTest, TwentyFirstEarlyCloseAlongOneRangeAborts) {
  const std::string file = PatternBytes(1000000);
  FtpTestServer server(file);
  server.SetDefaultScript(Faulty(FtpDataFault::kClose, 1000));
  for (int healthy : {1, 3, 4}) server.SetScript(healthy, FtpSessionScript());
  const Outcome outcome = Download(server.Url());
  EXPECT_NE(outcome.exitCode, 0);
  EXPECT_EQ(outcome.messages,
            std::vector<std::string>{Aborted("One connection was closed before it finished (20 Retries)")});
  EXPECT_EQ(server.SessionCount(), 24);
  EXPECT_EQ(RestOffset(server, 24), 270000);
  EXPECT_FALSE(outcome.outputExists);
  EXPECT_TRUE(outcome.leftovers.empty());
}

// Connection 2 finishes its range before connection 3 is even greeted, so
// nobody is left to extend when connection 3 is dropped.
TEST_F(FtpRecoveryTest, RangeDroppedAfterItsNeighbourFinishedIsFetchedAnew) {
  const std::string file = PatternBytes(1000000);
  FtpTestServer server(file);
  FtpSessionScript refusing;
  refusing.replies["REST 100"] = {"502 Command not implemented."};
  refusing.beforeGreeting = [&server] { server.WaitForCommand(2, "ABOR", 10s); };
  server.SetScript(3, refusing);
  EXPECT_DOWNLOADED(Download(server.Url()), file);
  ASSERT_EQ(server.SessionCount(), 5);
  EXPECT_EQ(server.FindCommand(3, "RETR"), "");
  EXPECT_EQ(RestOffset(server, 5), 500000);
}

// Connection 1 fails while connections 2 to 4 hold pieces and open sockets.
TEST_F(FtpRecoveryTest, AbortLeavesNoTempFileAndNoConnectionBehind) {
  FtpTestServer server(PatternBytes(1000000));
  for (int session : {2, 3, 4}) server.SetScript(session, Faulty(FtpDataFault::kStall, 10000));
  FtpSessionScript first;
  first.beforeData = [&server] { server.WaitForDataSent({2, 3, 4}, 10000, 10s); };
  first.aborReplies = {"500 Unknown command."};
  server.SetScript(1, first);
  const Outcome outcome = Download(server.Url());
  EXPECT_NE(outcome.exitCode, 0);
  EXPECT_EQ(outcome.messages, std::vector<std::string>{Aborted("RETR rejected - 500 Unknown command.")});
  EXPECT_TRUE(outcome.leftovers.empty());
  EXPECT_FALSE(outcome.outputExists);
  for (int session = 1; session <= 4; ++session) EXPECT_TRUE(server.WaitForSessionEnd(session, 5s));
}

TEST_F(FtpRecoveryTest, CancelDuringTheTransferLeavesNothingBehind) {
  FtpTestServer server(PatternBytes(1000000));
  FtpSessionScript slow;
  slow.chunk = 2000;
  slow.pause = 20ms;
  server.SetDefaultScript(slow);
  testenv::KestrionProcess kestrion({server.Url(), Destination()}, WorkDir(),
                                    {{"KESTRION_UI", "script"},
                                     {"KESTRION_UI_LOG", m_dir.File("ui.log")},
                                     {"KESTRION_REGISTRY", m_dir.File("registry")}});
  ASSERT_TRUE(server.WaitForDataSent({1, 2, 3, 4}, 4000, 10s));
  // The first piece became the new file beside the destination.
  EXPECT_EQ(testenv::ListFiles(m_dir.Path(), "FFF").size(), 3u);
  EXPECT_EQ(testenv::ListFiles(m_dir.Path(), "out.bin.part").size(), 1u);
  kestrion.Signal(SIGINT);
  const testenv::RunResult result = kestrion.Wait(15s);
  EXPECT_NE(result.exitCode, -1);
  EXPECT_NE(result.exitCode, 0);
  EXPECT_TRUE(testenv::ListFiles(m_dir.Path(), "FFF").empty());
  EXPECT_TRUE(testenv::ListFiles(m_dir.Path(), "out.bin").empty());
  EXPECT_TRUE(testenv::DownloadMessages(m_dir.File("ui.log")).empty());
}

// Silence, or lines that are no reply, before the login is answered or
// while the data never starts: connection 1 has nothing to hand on, and the
// download ends after the stall limit.
TEST_F(FtpRecoveryTest, NoProgressOnConnectionOneAbortsWithinTheStallLimit) {
  SetStallSeconds(1);
  FtpSessionScript silentLogin;
  silentLogin.replies["USER"] = {};
  FtpSessionScript chattyLogin = silentLogin;
  chattyLogin.junkAfter = "USER";
  FtpSessionScript silentData = Faulty(FtpDataFault::kStall, 0);
  FtpSessionScript chattyData = silentData;
  chattyData.junkAfter = "RETR";
  const std::vector<std::tuple<const char*, FtpSessionScript, std::string>> cases = {
      {"silence before the login", silentLogin, "No reply from the server for 1 seconds"},
      {"junk lines before the login", chattyLogin, "No reply from the server for 1 seconds"},
      {"no data", silentData, "No data from the server for 1 seconds"},
      {"no data but junk lines", chattyData, "No data from the server for 1 seconds"},
  };
  for (const auto& [name, script, reason] : cases) {
    SCOPED_TRACE(name);
    FtpTestServer server(PatternBytes(5000));
    server.SetDefaultScript(script);
    const auto started = std::chrono::steady_clock::now();
    const Outcome outcome = Download(server.Url(), 20s);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_EQ(outcome.messages, std::vector<std::string>{Aborted(reason)});
    EXPECT_NE(outcome.exitCode, 0);
    EXPECT_TRUE(outcome.leftovers.empty());
  }
}

TEST_F(FtpRecoveryTest, StalledDataConnectionIsResumed) {
  SetStallSeconds(1);
  const std::string file = PatternBytes(1000000);
  FtpTestServer server(file);
  server.SetScript(2, Faulty(FtpDataFault::kStall, 50000));
  EXPECT_DOWNLOADED(Download(server.Url(), 20s), file);
  ASSERT_EQ(server.SessionCount(), 5);
  EXPECT_EQ(RestOffset(server, 5), 300000);
}

TEST_F(FtpRecoveryTest, ConnectionStalledBeforeItsTransferIsReplaced) {
  SetStallSeconds(1);
  const std::string file = PatternBytes(1000000);
  FtpTestServer server(file);
  FtpSessionScript silent;
  silent.replies["PASS"] = {};
  server.SetScript(3, silent);
  EXPECT_DOWNLOADED(Download(server.Url(), 20s), file);
  ASSERT_EQ(server.SessionCount(), 5);
  EXPECT_EQ(RestOffset(server, 5), 500000);
}

TEST_F(FtpRecoveryTest, QuietControlConnectionDuringALongTransferIsNormal) {
  SetStallSeconds(1);
  const std::string file = PatternBytes(60000);
  FtpTestServer server(file);
  FtpSessionScript slow;
  slow.chunk = 3000;
  slow.pause = 100ms;
  server.SetDefaultScript(slow);
  EXPECT_DOWNLOADED(Download(server.Url(), 20s), file);
  EXPECT_EQ(server.SessionCount(), 1);
}

TEST_F(FtpRecoveryTest, ControlConnectionClosedBeforeTheTransferAborts) {
  FtpTestServer server(PatternBytes(5000));
  FtpSessionScript closing;
  closing.replies["TYPE"] = {};
  closing.closeAfter = "TYPE";
  server.SetDefaultScript(closing);
  const Outcome outcome = Download(server.Url(), 20s);
  EXPECT_EQ(outcome.messages, std::vector<std::string>{Aborted("The server closed the control connection")});
  EXPECT_NE(outcome.exitCode, 0);
}

TEST_F(FtpRecoveryTest, LaterConnectionClosedBeforeItsTransferIsDropped) {
  const std::string file = PatternBytes(1000000);
  FtpTestServer server(file);
  FtpSessionScript closing;
  closing.greeting = {"421 Too many connections."};
  closing.closeAfter = "USER";
  server.SetScript(4, closing);
  FtpSessionScript waiting;
  waiting.beforeData = [&server] { server.WaitForSessionEnd(4, 10s); };
  server.SetScript(3, waiting);
  EXPECT_DOWNLOADED(Download(server.Url(), 20s), file);
  EXPECT_EQ(server.SessionCount(), 4);
  EXPECT_TRUE(server.Commands(4).empty());
}

// The pieces go beside the destination: the working folder plays no part.
TEST_F(FtpRecoveryTest, AMissingWorkingFolderPlaysNoPart) {
  FtpTestServer server(PatternBytes(5000));
  FtpSessionScript script;
  const std::string work = WorkDir();
  script.beforeGreeting = [work] { std::filesystem::remove_all(work); };
  server.SetDefaultScript(script);
  const Outcome outcome = Download(server.Url());
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.messages, std::vector<std::string>{Completed()});
  EXPECT_EQ(outcome.output, PatternBytes(5000));
}

TEST_F(FtpRecoveryTest, FailedTempFileWriteAbortsNamingTheFile) {
  FtpTestServer server(PatternBytes(90000));
  Outcome outcome;
  {
    testenv::FileSizeLimit limit(50000);
    outcome = Download(server.Url());
  }
  EXPECT_NE(outcome.exitCode, 0);
  ASSERT_EQ(outcome.messages.size(), 1u);
  EXPECT_EQ(outcome.messages[0].rfind("Download Aborted. (Reason=Could not write to " + m_dir.File("FFF"), 0), 0u)
      << outcome.messages[0];
  EXPECT_NE(outcome.messages[0].find(".TMP (File too large))"), std::string::npos) << outcome.messages[0];
  EXPECT_TRUE(outcome.leftovers.empty());
  EXPECT_FALSE(outcome.outputExists);
}

TEST_F(FtpRecoveryTest, FailedWriteInTheJoinNamesTheDestination) {
  FtpTestServer server(PatternBytes(200000));
  Outcome outcome;
  {
    testenv::FileSizeLimit limit(120000);
    outcome = Download(server.Url());
  }
  EXPECT_NE(outcome.exitCode, 0);
  EXPECT_EQ(outcome.messages, std::vector<std::string>{"Problem with concating files, download [/file.bin] was not "
                                                       "successful\nCould not write to " +
                                                       Destination() + " (File too large)"});
  EXPECT_TRUE(outcome.leftovers.empty());
  EXPECT_FALSE(outcome.outputExists);
}

}  // namespace

// FTP downloads that outlive the program: ended by SIGTERM or killed
// against a real vsftpd throttled so that the end lands mid-way, then run
// again. vsftpd's log shows where each connection restarted.
#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <thread>

#include "engine/download_journal.h"
#include "tests/http/download_fixture.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/vsftpd_server.h"

namespace {

using testenv::VsftpdServer;

constexpr int64_t kSize = 2 << 20;

class FtpContinueTest : public DownloadTest {
 protected:
  void SetUp() override {
    if (!VsftpdServer::Available()) GTEST_SKIP() << "skipped: " << VsftpdServer::kBinary << " is not installed";
    ASSERT_TRUE(server.Running()) << server.Error();
    server.AddFile("f.bin", content);
  }

  // A run ended by the signal once its journal holds some bytes; returns
  // the journal it left.
  std::optional<CDownloadJournal> EndMidway(int signal = SIGTERM) {
    testenv::KestrionProcess run({server.Url("f.bin"), Path("out.bin")}, dir.Path(),
                                 {{"KESTRION_UI", "script"}, {"KESTRION_REGISTRY", Path("registry")}});
    for (int i = 0; i < 1000 && JournalBytes() < 256 * 1024; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    run.Signal(signal);
    const testenv::RunResult result = run.Wait(std::chrono::seconds(15));
    if (signal == SIGTERM) {
      EXPECT_EQ(result.exitCode, 143) << result.output;
      EXPECT_NE(result.output.find("run the same command again"), std::string::npos) << result.output;
      ExpectNoPieces();
    }
    return Journal();
  }

  std::optional<CDownloadJournal> Journal() const {
    return CDownloadJournal::Read(testenv::ReadFile(Path("out.bin.kestrion")));
  }

  int64_t JournalBytes() const {
    const std::optional<CDownloadJournal> journal = Journal();
    return journal ? journal->BytesDone() : 0;
  }

  // Restarts (REST n, n not the probe's 100) of sessions not seen before.
  std::vector<int64_t> RestartsSince(const std::set<int>& seen) const {
    std::vector<int64_t> starts;
    for (const auto& [pid, commands] : server.CommandsBySession())
      for (const std::string& command : commands)
        if (!seen.count(pid) && command.rfind("REST ", 0) == 0 && command != "REST 100")
          starts.push_back(std::stoll(command.substr(5)));
    return starts;
  }

  std::set<int> Sessions() const {
    std::set<int> pids;
    for (const auto& session : server.CommandsBySession()) pids.insert(session.first);
    return pids;
  }

  void ExpectNothingLeft() {
    ExpectNoPieces();
    EXPECT_TRUE(testenv::ListFiles(dir.Path(), "out.bin.").empty());
  }

  std::string content = testenv::PatternBytes(kSize, 31);
  VsftpdServer server{VsftpdServer::Login::kAnonymous, "anon_max_rate=131072\n"};
};

class FtpEndedTest : public FtpContinueTest, public testing::WithParamInterface<int> {};

// Killed, the run leaves what its last record names; ended by SIGTERM, what
// came. Either way the rerun asks only for the rest and sweeps the pieces.
TEST_P(FtpEndedTest, TheRerunRestartsOnlyTheGaps) {
  const std::optional<CDownloadJournal> journal = EndMidway(GetParam());
  ASSERT_TRUE(journal);
  EXPECT_GE(journal->BytesDone(), 256 * 1024);
  const std::set<int> before = Sessions();
  const Outcome outcome = Run(server.Url("f.bin"), Path("out.bin"));
  ExpectSuccess(outcome, "/f.bin");
  ExpectFileHolds("out.bin", content);
  ExpectNothingLeft();
  const std::vector<ByteRange> missing = journal->Missing();
  const std::vector<int64_t> restarts = RestartsSince(before);
  EXPECT_FALSE(restarts.empty());
  for (const int64_t start : restarts)
    EXPECT_TRUE(std::any_of(missing.begin(), missing.end(),
                            [start](const ByteRange& gap) { return gap.begin <= start && start < gap.end; }))
        << "restarted at " << start << ", which was in place";
}

INSTANTIATE_TEST_SUITE_P(Signals, FtpEndedTest, testing::Values(SIGTERM, SIGKILL));

TEST_F(FtpContinueTest, ASizeChangedOnTheServerStartsAgain) {
  ASSERT_TRUE(EndMidway());
  const std::string changed = testenv::PatternBytes(kSize + 5000, 32);
  server.AddFile("f.bin", changed);
  const Outcome outcome = Run(server.Url("f.bin"), Path("out.bin"));
  ASSERT_EQ(outcome.messages.size(), 2u) << outcome.output;
  EXPECT_EQ(outcome.messages[0], "The file changed on the server since the last attempt; starting again");
  EXPECT_EQ(outcome.exitCode, 0);
  ExpectFileHolds("out.bin", changed);
  ExpectNothingLeft();
}

class FtpRestartRefusedTest : public DownloadTest {};

// What an earlier run left is of no use where the server will not restart:
// the download starts again from 0 and says why.
TEST_F(FtpRestartRefusedTest, AServerWithoutRestStartsAgain) {
  const std::string content = testenv::PatternBytes(300000, 33);
  testenv::FtpTestServer server(content);
  testenv::FtpSessionScript script;
  script.replies["REST 100"] = {"502 Command not implemented."};
  server.SetDefaultScript(script);
  CDownloadJournal journal;
  journal.m_strURL = server.Url();
  journal.m_nSize = static_cast<int64_t>(content.size());
  journal.m_strPartName = "out.bin.part0001";
  journal.m_done = {{0, 100000}};
  testenv::WriteFile(Path("out.bin.part0001"), std::string(100000, 'x'));
  testenv::WriteFile(Path("out.bin.kestrion"), journal.Write());
  const Outcome outcome = Run(server.Url(), Path("out.bin"));
  ASSERT_EQ(outcome.messages.size(), 2u) << outcome.output;
  EXPECT_EQ(outcome.messages[0],
            "The server cannot continue the download from where the last attempt stopped; starting again");
  EXPECT_EQ(outcome.exitCode, 0);
  ExpectFileHolds("out.bin", content);
  ExpectNoPieces();
  EXPECT_TRUE(testenv::ListFiles(dir.Path(), "out.bin.").empty());
}

}  // namespace

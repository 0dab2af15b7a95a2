#include "ftp/ftp_file_download_manager.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "ftp/ftp_messages.h"
#include "ftp/ftp_test_fakes.h"
#include "platform/loop/event_loop.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/test_env.h"

namespace {

using Range = std::pair<int64_t, int64_t>;

// Each test runs in a fresh folder, where the temp files go.
class ManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_previousDir = getcwd(m_buffer, sizeof m_buffer) ? m_buffer : "/";
    ASSERT_EQ(chdir(m_dir.Path().c_str()), 0);
    m_previousUI = SetUIBackend(std::unique_ptr<UIBackend>(ui = new RecordingUI));
  }
  void TearDown() override {
    SetUIBackend(std::move(m_previousUI));
    EXPECT_EQ(chdir(m_previousDir.c_str()), 0);
  }
  std::vector<Range> Ranges() const {
    std::vector<Range> ranges;
    for (CFTPCommandSocket* c : manager.m_connections) ranges.emplace_back(c->m_nStart, c->m_nEnd);
    return ranges;
  }
  std::vector<std::string> TempFiles() const { return testenv::ListFiles(m_dir.Path(), "FFF"); }

  testenv::ScratchDir m_dir;
  OfflineManager manager;
  RecordingUI* ui = nullptr;

 private:
  char m_buffer[4096];
  std::string m_previousDir;
  std::unique_ptr<UIBackend> m_previousUI;
};

TEST_F(ManagerTest, SplitsAMillionBytesIntoFourEqualShares) {
  manager.AddFirst();
  manager.SetFileSize(1000000, true);
  EXPECT_EQ(Ranges(), (std::vector<Range>{{0, 250000}, {250000, 500000}, {500000, 750000}, {750000, -1}}));
  EXPECT_EQ(manager.connected, (std::vector<int>{2, 3, 4}));
  EXPECT_FALSE(manager.Connection(2)->m_bLearnSize);
}

TEST_F(ManagerTest, SplitsOnlyWhatIsNotYetReceived) {
  GiveData(manager.AddFirst(), std::string(20000, 'a'), false);
  manager.SetFileSize(1000000, true);
  EXPECT_EQ(Ranges(), (std::vector<Range>{{0, 265000}, {265000, 510000}, {510000, 755000}, {755000, -1}}));
  EXPECT_EQ(manager.Connection(1)->DataSocket()->m_nExpected, 265000);
}

TEST_F(ManagerTest, LastShareTakesTheRemainder) {
  manager.AddFirst();
  manager.SetFileSize(1000001, true);
  EXPECT_EQ(Ranges().back(), (Range{750000, -1}));
  EXPECT_EQ(manager.Connection(4)->KnownRangeLength(), 250001);
}

TEST_F(ManagerTest, SplitsOnlyAboveOneHundredThousandBytesAndWithRestarts) {
  manager.AddFirst();
  manager.SetFileSize(100000, true);
  EXPECT_EQ(manager.m_connections.size(), 1u);
  manager.SetFileSize(100001, true);
  EXPECT_EQ(manager.m_connections.size(), 4u);

  OfflineManager refused;
  refused.AddFirst();
  refused.m_bSplitAllowed = false;
  refused.SetFileSize(50000000, true);
  EXPECT_EQ(refused.m_connections.size(), 1u);
}

TEST_F(ManagerTest, DroppedConnectionExtendsThePreviousRange) {
  manager.AddFirst();
  manager.SetFileSize(1000000, true);
  manager.DropConnection(3);
  EXPECT_EQ(Ranges(), (std::vector<Range>{{0, 250000}, {250000, 750000}, {750000, -1}}));
  EXPECT_EQ(manager.connected, (std::vector<int>{2, 3, 4}));
  EXPECT_TRUE(manager.aborts.empty());
}

TEST_F(ManagerTest, DroppedLastConnectionLetsThePreviousReadToTheEnd) {
  manager.AddFirst();
  manager.SetFileSize(1000000, true);
  GiveData(manager.Connection(3), std::string(1000, 'c'), false);
  manager.DropConnection(4);
  EXPECT_EQ(Ranges().back(), (Range{500000, -1}));
  EXPECT_EQ(manager.Connection(3)->DataSocket()->m_nExpected, -1);
}

TEST_F(ManagerTest, RangeDroppedAfterThePreviousFinishedIsFetchedAnew) {
  manager.AddFirst();
  manager.SetFileSize(1000000, true);
  CFTPDataSocket* second = GiveData(manager.Connection(2), std::string(250000, 'b'));
  second->m_bRangeDone = true;
  manager.DropConnection(3);
  EXPECT_EQ(Ranges(), (std::vector<Range>{{0, 250000}, {250000, 500000}, {750000, -1}, {500000, 750000}}));
  EXPECT_EQ(manager.m_connections.back()->m_nConnection, 5);
  EXPECT_EQ(manager.m_connections.back()->m_nRetries, 1);
  EXPECT_EQ(manager.connected.back(), 5);
}

TEST_F(ManagerTest, DroppedConnectionLeavesNoTempFile) {
  manager.AddFirst();
  manager.SetFileSize(1000000, true);
  GiveData(manager.Connection(3), "partial", false);
  ASSERT_EQ(TempFiles().size(), 1u);
  manager.DropConnection(3);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(ManagerTest, EarlyEndIsResumedFromTheFirstMissingByte) {
  manager.AddFirst();
  manager.SetFileSize(1000000, true);
  CFTPCommandSocket* second = manager.Connection(2);
  GiveData(second, std::string(1234, 'b'));
  manager.OnEndedEarly(second);
  CFTPCommandSocket* resumed = manager.m_connections.back();
  EXPECT_EQ(resumed->m_nConnection, 5);
  EXPECT_EQ(Range(resumed->m_nStart, resumed->m_nEnd), (Range{251234, 500000}));
  EXPECT_EQ(resumed->m_nRetries, 1);
  EXPECT_TRUE(second->IsRetired());
}

TEST_F(ManagerTest, TwentyResumesAlongOneRangeThenTheDownloadAborts) {
  manager.AddFirst();
  manager.SetFileSize(1000000, true);
  CFTPCommandSocket* current = manager.Connection(2);
  for (int resume = 1; resume <= 20; ++resume) {
    GiveData(current, "x");
    manager.OnEndedEarly(current);
    current = manager.m_connections.back();
    ASSERT_EQ(current->m_nRetries, resume);
  }
  EXPECT_TRUE(manager.aborts.empty());
  GiveData(current, "x");
  manager.OnEndedEarly(current);
  EXPECT_EQ(manager.aborts, std::vector<std::string>{"One connection was closed before it finished (20 Retries)"});
}

// Ends with nothing ('-') and with bytes ('+') along one range, after the
// split connection 2: the third resume in a row that brings nothing ends
// the download; one that brings a byte starts the count again.
TEST_F(ManagerTest, ThreeResumesInARowThatBringNothingAbort) {
  const std::pair<std::string, bool> cases[] = {
      {"----", true}, {"---", false}, {"+---", true}, {"--+--", false}, {"--+---", true},
  };
  for (const auto& [ends, aborts] : cases) {
    SCOPED_TRACE(ends);
    OfflineManager fresh;
    fresh.AddFirst();
    fresh.SetFileSize(1000000, true);
    CFTPCommandSocket* current = fresh.Connection(2);
    for (char end : ends) {
      if (end == '+') GiveData(current, "x");
      fresh.OnEndedEarly(current);
      current = fresh.m_connections.back();
    }
    EXPECT_EQ(fresh.aborts, aborts ? std::vector<std::string>{kNoProgress} : std::vector<std::string>{});
    // Only the pieces that hold bytes are still on disk.
    EXPECT_EQ(TempFiles().size(), static_cast<size_t>(std::count(ends.begin(), ends.end(), '+')));
    fresh.Stop();
  }
}

TEST_F(ManagerTest, EarlyEndWithoutRestartsAborts) {
  CFTPCommandSocket* first = manager.AddFirst();
  manager.m_bSplitAllowed = false;
  GiveData(first, "abc");
  manager.OnEndedEarly(first);
  EXPECT_EQ(manager.aborts, std::vector<std::string>{kCannotResume});
}

TEST_F(ManagerTest, JoinFollowsOffsetsAcrossResumedPieces) {
  const std::string file = testenv::PatternBytes(400);
  GiveData(manager.NewConnection(0, 100, 1), file.substr(0, 100));
  GiveData(manager.NewConnection(100, 200, 2), file.substr(100, 30));
  GiveData(manager.NewConnection(200, -1, 3), file.substr(200));
  GiveData(manager.NewConnection(130, 200, 5), file.substr(130, 70));
  manager.m_nFileSize = 400;
  manager.m_strDestination = m_dir.File("out.bin");
  ASSERT_TRUE(manager.JoinTempFiles());
  EXPECT_EQ(testenv::ReadFile(manager.m_strDestination), file);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(ManagerTest, OverlappingPieceIsSkippedToTheJoinOffset) {
  const std::string file = testenv::PatternBytes(300);
  GiveData(manager.NewConnection(0, 150, 1), file.substr(0, 150));
  GiveData(manager.NewConnection(100, -1, 2), file.substr(100));
  manager.m_nFileSize = 300;
  manager.m_strDestination = m_dir.File("out.bin");
  ASSERT_TRUE(manager.JoinTempFiles());
  EXPECT_EQ(testenv::ReadFile(manager.m_strDestination), file);
}

TEST_F(ManagerTest, DestinationBehindALinkIsWrittenThroughIt) {
  const std::string file = testenv::PatternBytes(300);
  GiveData(manager.NewConnection(0, 100, 1), file.substr(0, 100));
  GiveData(manager.NewConnection(100, -1, 2), file.substr(100));
  manager.m_nFileSize = 300;
  std::filesystem::create_symlink(m_dir.File("target.bin"), m_dir.File("link.bin"));
  manager.m_strDestination = m_dir.File("link.bin");
  ASSERT_TRUE(manager.JoinTempFiles());
  EXPECT_TRUE(std::filesystem::is_symlink(m_dir.File("link.bin")));
  EXPECT_EQ(testenv::ReadFile(m_dir.File("target.bin")), file);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(ManagerTest, ReplacedDestinationKeepsItsPermissions) {
  testenv::WriteFile(m_dir.File("out.bin"), "old and longer than the new content");
  std::filesystem::permissions(m_dir.File("out.bin"), std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::owner_write);
  GiveData(manager.NewConnection(0, -1, 1), "new");
  manager.m_strDestination = m_dir.File("out.bin");
  ASSERT_TRUE(manager.JoinTempFiles());
  EXPECT_EQ(testenv::ReadFile(m_dir.File("out.bin")), "new");
  EXPECT_EQ(std::filesystem::status(m_dir.File("out.bin")).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(ManagerTest, JoinShorterThanTheKnownSizeFails) {
  GiveData(manager.NewConnection(0, 100, 1), std::string(100, 'x'));
  GiveData(manager.NewConnection(150, -1, 2), std::string(50, 'y'));
  manager.m_nFileSize = 200;
  manager.m_strDestination = m_dir.File("out.bin");
  EXPECT_FALSE(manager.JoinTempFiles());
  EXPECT_FALSE(testenv::FileExists(manager.m_strDestination)) << "only a whole file has the destination's name";
}

// Told to quit during the join (Cancel, SIGTERM), the manager stops copying,
// leaves no destination and says nothing.
TEST_F(ManagerTest, ACancelDuringTheJoinLeavesNoDestinationAndSaysNothing) {
  GiveData(manager.NewConnection(0, 100, 1), std::string(100, 'x'));
  GiveData(manager.NewConnection(100, -1, 2), std::string(100, 'y'));
  manager.m_nFileSize = 200;
  manager.m_strDestination = m_dir.File("out.bin");
  EventLoop& loop = EventLoop::ForThisThread();
  PostThreadMessage(loop.Id(), WM_QUIT);
  manager.CheckAllDone();
  loop.Run();  // takes the quit
  EXPECT_FALSE(testenv::FileExists(manager.m_strDestination));
  EXPECT_TRUE(ui->messages.empty());
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(ManagerTest, UncreatableDestinationAsksForAnotherName) {
  manager.m_bBackground = false;
  GiveData(manager.NewConnection(0, -1, 1), "hello");
  manager.m_strDestination = m_dir.File("missing/out.bin");
  ui->saveAnswer = m_dir.File("chosen.bin");
  ASSERT_TRUE(manager.JoinTempFiles());
  EXPECT_EQ(ui->messages, std::vector<std::string>{std::string(kOutputNotCreated) + " (" +
                                                    m_dir.File("missing/out.bin") + ": No such file or directory)"});
  EXPECT_EQ(ui->saveDialogs, std::vector<std::string>{m_dir.File("missing/out.bin")});
  EXPECT_EQ(testenv::ReadFile(m_dir.File("chosen.bin")), "hello");
}

TEST_F(ManagerTest, CancelledSaveDialogEndsTheJoin) {
  manager.m_bBackground = false;
  GiveData(manager.NewConnection(0, -1, 1), "hello");
  manager.m_strDestination = m_dir.File("missing/out.bin");
  EXPECT_FALSE(manager.JoinTempFiles());
  EXPECT_EQ(ui->saveDialogs.size(), 1u);
}

TEST_F(ManagerTest, FailedWriteInTheJoinNamesTheFileAndRemovesIt) {
  GiveData(manager.NewConnection(0, 60000, 1), std::string(60000, 'a'));
  GiveData(manager.NewConnection(60000, -1, 2), std::string(60000, 'b'));
  manager.m_nFileSize = 120000;
  manager.m_strDestination = m_dir.File("out.bin");
  bool joined = true;
  {
    testenv::FileSizeLimit limit(100000);
    joined = manager.JoinTempFiles();
  }
  EXPECT_FALSE(joined);
  EXPECT_FALSE(testenv::FileExists(manager.m_strDestination));
  manager.Stop();
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(ManagerTest, CompletionReportsSuccessOnlyForAWholeFile) {
  manager.m_bBackground = false;
  const std::string file = testenv::PatternBytes(1000);
  GiveData(manager.NewConnection(0, 500, 1), file.substr(0, 500));
  CFTPCommandSocket* second = manager.NewConnection(500, -1, 2);
  manager.m_nFileSize = 1000;
  manager.m_strDestination = m_dir.File("out.bin");
  manager.CheckAllDone();
  EXPECT_TRUE(ui->messages.empty());
  GiveData(second, file.substr(500));
  manager.CheckAllDone();
  EXPECT_EQ(ui->messages, std::vector<std::string>{"Download [/pub/file.bin] completed successfuly"});
  EXPECT_EQ(testenv::ReadFile(manager.m_strDestination), file);
  EXPECT_TRUE(manager.m_connections.empty());
}

TEST_F(ManagerTest, IncompleteJoinIsReportedAsAProblem) {
  manager.m_bBackground = false;
  GiveData(manager.NewConnection(0, -1, 1), std::string(10, 'x'));
  manager.m_nFileSize = 20;
  manager.m_strDestination = m_dir.File("out.bin");
  manager.CheckAllDone();
  ASSERT_EQ(ui->messages.size(), 1u);
  EXPECT_EQ(ui->messages[0], "Problem with concating files, download [/pub/file.bin] was not successful");
}

TEST_F(ManagerTest, StopReleasesEveryConnectionAndTempFile) {
  manager.AddFirst();
  manager.SetFileSize(1000000, true);
  for (int number = 1; number <= 4; ++number) GiveData(manager.Connection(number), "data", false);
  manager.OnEndedEarly(manager.Connection(2));
  GiveData(manager.m_connections.back(), "more", false);
  ASSERT_EQ(TempFiles().size(), 5u);
  manager.Stop();
  EXPECT_TRUE(manager.m_connections.empty());
  EXPECT_TRUE(TempFiles().empty());
}

}  // namespace

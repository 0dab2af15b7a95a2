#include "engine/file_download_manager.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "ui/download_progress_dlg.h"

namespace {

// A manager that never starts its thread, with a clock the test moves.
class ClockedManager : public CFileDownloadManager {
 public:
  ClockedManager() {
    m_pProgressDlg = new CDownloadProgressDlg(this);
    MarkRateBase();
  }
  time_t CurrentUtcSeconds() const override { return m_now; }
  const WindowState& Window() const { return m_pProgressDlg->State(); }
  time_t m_now = 1000000;
};

}  // namespace

TEST(ProgressAccounting, FirstReportOnlyCountsAndFillsItsColumn) {
  ClockedManager manager;
  manager.m_now += 5;
  manager.AddReceived(700, 2, 700);
  EXPECT_EQ(manager.m_nReceived, 700);
  EXPECT_EQ(manager.Window().timeLeft, "");
  EXPECT_EQ(manager.Window().rate, "");
  EXPECT_EQ(manager.Window().connections[1], "700 bytes");
  manager.AddReceived(300, 2, 1000);
  EXPECT_EQ(manager.Window().rate, "0.2 Kb/Sec");
}

TEST(ProgressAccounting, NothingIsShownWithinTheFirstSecond) {
  ClockedManager manager;
  manager.AddReceived(100, 1, 100);
  manager.AddReceived(100, 1, 200);
  EXPECT_EQ(manager.Window().rate, "");
  EXPECT_EQ(manager.m_fRate, 0);
  manager.m_now += 1;
  manager.AddReceived(100, 1, 300);
  EXPECT_EQ(manager.m_fRate, 300);
}

TEST(ProgressAccounting, UnknownSizeShowsRateButNoPercentage) {
  ClockedManager manager;
  manager.AddReceived(1024, 1, 1024);
  manager.m_now += 2;
  manager.AddReceived(3072, 1, 4096);
  EXPECT_EQ(manager.Window().rate, "2.0 Kb/Sec");
  EXPECT_EQ(manager.Window().timeLeft, "Unknown    (Opened so far 4.0 KB)");
  EXPECT_EQ(manager.Window().title, "File Download");  // no percentage
  EXPECT_EQ(manager.Window().progress, 0);
}

TEST(ProgressAccounting, KnownSizeGivesTimeLeftAndPercent) {
  ClockedManager manager;
  manager.m_nFileSize = 4LL * 1024 * 1024 * 1024;  // beyond 32 bits
  manager.AddReceived(1, 1, 1);
  manager.m_now += 8;
  manager.AddReceived(1073741823, 1, 1073741824);
  // A quarter in eight seconds: twenty-four seconds to go.
  EXPECT_EQ(manager.Window().progress, 25);
  EXPECT_EQ(manager.Window().title, "File Download (25%)");
  EXPECT_EQ(manager.Window().timeLeft, "24 Seconds    (Opened so far 1024.00 MB)");
}

TEST(ProgressAccounting, RateIsMeasuredFromTheLatestBase) {
  ClockedManager manager;
  manager.m_nFileSize = 100000;
  manager.AddReceived(50000, 1, 50000);
  manager.m_now += 100;
  manager.MarkRateBase();
  manager.AddReceived(10000, 2, 10000);
  EXPECT_EQ(manager.Window().rate, "");  // same second as the new base
  manager.m_now += 4;
  manager.AddReceived(10000, 2, 20000);
  EXPECT_EQ(manager.m_fRate, 5000);
  EXPECT_EQ(manager.Window().timeLeft, "6 Seconds    (Opened so far 68.4 KB)");
}

TEST(ProgressAccounting, ConnectionsBeyondTheGridAreCountedAndIgnored) {
  ClockedManager manager;
  manager.AddReceived(10, 11, 10);
  manager.AddReceived(10, 0, 10);
  EXPECT_EQ(manager.m_nReceived, 20);
  for (const std::string& column : manager.Window().connections) EXPECT_EQ(column, ".");
}

TEST(ManagerPaths, SplitAtTheLastSlashOrBackslash) {
  EXPECT_EQ(CFileDownloadManager::GetFileNamePart("http://h/dir/a.zip"), "a.zip");
  EXPECT_EQ(CFileDownloadManager::GetFileNamePart("C:\\x/y\\b.zip"), "b.zip");
  EXPECT_EQ(CFileDownloadManager::GetFileNamePart("plain"), "plain");
  EXPECT_EQ(CFileDownloadManager::GetDirectoryPart("C:\\a b\\file.zip"), "C:\\a b");
  EXPECT_EQ(CFileDownloadManager::GetDirectoryPart("dir/x\\y/f"), "dir/x\\y");
  EXPECT_EQ(CFileDownloadManager::GetDirectoryPart("file.zip"), "");
}

TEST(ManagerPaths, TheWindowShowsTheDestinationsAbsoluteFolder) {
  const std::string here = std::filesystem::current_path().string();
  const std::pair<const char*, std::string> cases[] = {
      {"file.zip", here},          {"./file.zip", here},        {"sub/file.zip", here + "/sub"},
      {"sub/../file.zip", here},   {"/home/u/file.zip", "/home/u"}, {"/file.zip", "/"},
  };
  for (const auto& [destination, folder] : cases)
    EXPECT_EQ(CFileDownloadManager::GetDestinationFolder(destination), folder) << destination;
}

// Sizes from the network may be anything up to the largest int64_t, and more
// may arrive than was announced: the display stays within its bounds.
TEST(ProgressAccounting, ExtremeSizesStayWithinBounds) {
  const struct {
    int64_t size, received;
    int percent;
    const char* timeLeft;
  } cases[] = {
      {INT64_MAX, 1, 0, "277777777777 Hours, 46 Min, 40 Seconds"},
      {1000, 5000, 100, "0 Seconds"},
  };
  for (const auto& c : cases) {
    ClockedManager manager;
    manager.m_nFileSize = c.size;
    manager.AddReceived(1, 1, 1);
    manager.m_now += 1;
    manager.AddReceived(c.received - 1, 1, c.received);
    EXPECT_EQ(manager.Window().progress, c.percent) << c.size;
    EXPECT_EQ(manager.Window().timeLeft.substr(0, manager.Window().timeLeft.find("    (")), c.timeLeft) << c.size;
  }
}

TEST(ManagerUrl, HttpsIsSecureAndDefaultsToPort443) {
  const struct {
    const char* url;
    bool secure;
    int port;
  } cases[] = {
      {"https://h/a.zip", true, 443}, {"HTTPS://h:8443/a.zip", true, 8443}, {"http://h/a.zip", false, 80},
      {"http://h:443/a.zip", false, 443}, {"ftp://h/a.zip", false, 21},
  };
  for (const auto& c : cases) {
    ClockedManager manager;
    manager.m_strURL = c.url;
    ASSERT_TRUE(manager.ParseURL()) << c.url;
    EXPECT_EQ(manager.IsSecure(), c.secure) << c.url;
    EXPECT_EQ(manager.m_nPort, c.port) << c.url;
  }
}

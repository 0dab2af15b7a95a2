#include "ui/download_progress_dlg.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/loop/event_loop.h"

namespace {

struct Recorded {
  std::vector<ProgressWindowState> states;
  bool closed = false;
  std::function<void()> onCancel;
};

class RecordingView : public IProgressView {
 public:
  explicit RecordingView(Recorded& record) : m_record(record) {}
  void Update(const ProgressWindowState& state) override { m_record.states.push_back(state); }
  void Close() override { m_record.closed = true; }

 private:
  Recorded& m_record;
};

class RecordingBackend : public UIBackend {
 public:
  explicit RecordingBackend(Recorded& record) : m_record(record) {}
  void AskMessage(const std::string&, unsigned, std::function<void(int)> answered) override { answered(IDOK); }
  void AskSaveFile(const std::string& path, std::function<void(std::optional<std::string>)> answered) override {
    answered(path);
  }
  std::unique_ptr<IProgressView> CreateProgressView(std::function<void()> onCancel) override {
    m_record.onCancel = std::move(onCancel);
    return std::make_unique<RecordingView>(m_record);
  }

 private:
  Recorded& m_record;
};

class ProgressDlgTest : public ::testing::Test {
 protected:
  void SetUp() override { m_previous = SetUIBackend(std::make_unique<RecordingBackend>(m_record)); }
  void TearDown() override { SetUIBackend(std::move(m_previous)); }

  Recorded m_record;
  std::unique_ptr<UIBackend> m_previous;
};

TEST(FormatSizeTest, UnitBoundariesAndLargeFiles) {
  EXPECT_EQ(CDownloadProgressDlg::FormatSize(0), "0 bytes");
  EXPECT_EQ(CDownloadProgressDlg::FormatSize(1023), "1023 bytes");
  EXPECT_EQ(CDownloadProgressDlg::FormatSize(1024), "1.0 KB");
  EXPECT_EQ(CDownloadProgressDlg::FormatSize(1048575), "1024.0 KB");
  EXPECT_EQ(CDownloadProgressDlg::FormatSize(1048576), "1.00 MB");
  EXPECT_EQ(CDownloadProgressDlg::FormatSize(int64_t{3} << 30), "3072.00 MB");
  EXPECT_EQ(CDownloadProgressDlg::FormatSize((int64_t{1} << 31) + 5), "2048.00 MB");
}

TEST(FormatTimeLeftTest, HoursAndMinutesAppearOnlyWhenNeeded) {
  EXPECT_EQ(CDownloadProgressDlg::FormatTimeLeft(-1), "Unknown    ");
  EXPECT_EQ(CDownloadProgressDlg::FormatTimeLeft(0), "0 Seconds    ");
  EXPECT_EQ(CDownloadProgressDlg::FormatTimeLeft(59), "59 Seconds    ");
  EXPECT_EQ(CDownloadProgressDlg::FormatTimeLeft(60), "1 Min, 0 Seconds    ");
  EXPECT_EQ(CDownloadProgressDlg::FormatTimeLeft(3600), "1 Hours, 0 Min, 0 Seconds    ");
  EXPECT_EQ(CDownloadProgressDlg::FormatTimeLeft(3725), "1 Hours, 2 Min, 5 Seconds    ");
  EXPECT_EQ(CDownloadProgressDlg::FormatTimeLeft(90000), "25 Hours, 0 Min, 0 Seconds    ");
  EXPECT_EQ(CDownloadProgressDlg::FormatTimeLeft(int64_t{3} << 31), "1789569 Hours, 42 Min, 24 Seconds    ");
}

TEST_F(ProgressDlgTest, CreateShowsTheInitialStateHidden) {
  CDownloadProgressDlg dlg(nullptr);
  dlg.SetURL("http://example.test/pub/a.zip");
  dlg.SetFileName("a.zip");
  dlg.SetServer("example.test");
  dlg.SetDestFolder("/home/u/Downloads");
  ASSERT_TRUE(dlg.Create());
  ASSERT_EQ(m_record.states.size(), 1u);
  const ProgressWindowState& first = m_record.states[0];
  EXPECT_EQ(first.title, "File Download");
  EXPECT_EQ(first.saving, "a.zip from example.test");
  EXPECT_EQ(first.url, "http://example.test/pub/a.zip");
  EXPECT_EQ(first.destFolder, "/home/u/Downloads");
  EXPECT_EQ(first.rate, "");
  EXPECT_EQ(first.timeLeft, "");
  EXPECT_FALSE(first.visible);
  for (const auto& column : first.connections) EXPECT_EQ(column, ".");

  dlg.ShowWindow();
  EXPECT_TRUE(m_record.states.back().visible);
  dlg.DestroyWindow();
  EXPECT_TRUE(m_record.closed);
  EXPECT_FALSE(dlg.IsWindowCreated());
}

TEST_F(ProgressDlgTest, ProgressTextsAndTitle) {
  CDownloadProgressDlg dlg(nullptr);
  ASSERT_TRUE(dlg.Create());
  dlg.ShowProgress(1536.0f, 1536000, 3725, 0);
  EXPECT_EQ(dlg.State().rate, "1.5 Kb/Sec");
  EXPECT_EQ(dlg.State().timeLeft, "1 Hours, 2 Min, 5 Seconds    (Opened so far 1.46 MB)");
  EXPECT_EQ(dlg.State().title, "File Download");
  EXPECT_EQ(dlg.State().progress, 0);

  dlg.ShowProgress(0.0f, 700, -1, 42);
  EXPECT_EQ(dlg.State().timeLeft, "Unknown    (Opened so far 700 bytes)");
  EXPECT_EQ(dlg.State().title, "File Download (42%)");
  EXPECT_EQ(dlg.State().progress, 42);

  // A later 0 keeps the last percentage in the title, as the window did.
  dlg.ShowProgress(0.0f, 800, -1, 0);
  EXPECT_EQ(dlg.State().title, "File Download (42%)");
  EXPECT_EQ(m_record.states.back().progress, 0);
}

TEST_F(ProgressDlgTest, OnlyConnectionsOneToTenHaveColumns) {
  CDownloadProgressDlg dlg(nullptr);
  ASSERT_TRUE(dlg.Create());
  size_t published = m_record.states.size();
  dlg.SetConnectionBytes(0, 5000);
  dlg.SetConnectionBytes(11, 5000);
  dlg.SetConnectionBytes(-3, 5000);
  EXPECT_EQ(m_record.states.size(), published);
  dlg.SetConnectionBytes(1, 1023);
  dlg.SetConnectionBytes(10, int64_t{5} << 30);
  EXPECT_EQ(dlg.State().connections[0], "1023 bytes");
  EXPECT_EQ(dlg.State().connections[9], "5120.00 MB");
  for (int i = 1; i < 9; ++i) EXPECT_EQ(dlg.State().connections[i], ".");
}

TEST_F(ProgressDlgTest, CancelFromAnotherThreadQuitsTheWindowThreadEvenAfterTheWindowIsGone) {
  bool quitSeen = false;
  std::thread owner([&] {
    {
      CDownloadProgressDlg dlg(nullptr);
      ASSERT_TRUE(dlg.Create());
    }
    std::thread([&] { m_record.onCancel(); }).join();
    EventLoop& loop = EventLoop::ForThisThread();
    loop.PumpUntil([] { return false; }, std::chrono::milliseconds(2000));
    quitSeen = loop.QuitPending();
  });
  owner.join();
  EXPECT_TRUE(quitSeen);
}

}  // namespace

#include "ui/download_progress_dlg.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/loop/event_loop.h"
#include "ui/progress_dlg_resources.h"
#include "ui/recording_ui_backend.h"

namespace {

using namespace progress_dlg;

class TestDlg : public CDownloadProgressDlg {
 public:
  TestDlg() : CDownloadProgressDlg(nullptr) {
    SetURL("http://example.test/pub/a.zip");
    SetFileName("a.zip");
    SetServer("example.test");
    SetDestFolder("/home/u/Downloads");
  }
  // The banner timer's tick, as its timer delivers it.
  void Tick() {
    OnTimer(1);
    Publish();
  }
  void Click(int id) { OnMessage({WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0}); }
};

constexpr int kAdTimer = 1;

class ProgressDlgTest : public ::testing::Test, public RecordingUIFixture {
 protected:
  void AddAds(int count) {
    for (int i = 0; i < count; ++i) {
      const std::string picture = m_pictures.File("ad" + std::to_string(i) + ".png");
      testenv::WriteFile(picture, "picture");
      SetProgramString("ADFiles", picture, "http://ads.test/" + std::to_string(i));
    }
  }
  std::string Picture(int i) const { return m_pictures.File("ad" + std::to_string(i) + ".png"); }
  const WindowState& Last() const { return ui.states.back(); }

  testenv::ScratchDir m_pictures;
};

TEST(FormatSizeTest, UnitBoundariesAndLargeFiles) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "0 bytes"},           {1023, "1023 bytes"},       {1024, "1.0 KB"},
      {1048575, "1024.0 KB"},   {1048576, "1.00 MB"},       {int64_t{3} << 30, "3072.00 MB"},
      {(int64_t{1} << 31) + 5, "2048.00 MB"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(CDownloadProgressDlg::FormatSize(bytes), text) << bytes;
}

TEST(FormatTimeLeftTest, HoursAndMinutesAppearOnlyWhenNeeded) {
  const std::pair<int64_t, const char*> cases[] = {
      {-1, "Unknown    "},
      {0, "0 Seconds    "},
      {59, "59 Seconds    "},
      {60, "1 Min, 0 Seconds    "},
      {3600, "1 Hours, 0 Min, 0 Seconds    "},
      {3725, "1 Hours, 2 Min, 5 Seconds    "},
      {90000, "25 Hours, 0 Min, 0 Seconds    "},
      {int64_t{3} << 31, "1789569 Hours, 42 Min, 24 Seconds    "},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(CDownloadProgressDlg::FormatTimeLeft(seconds), text) << seconds;
}

TEST_F(ProgressDlgTest, CreateSetsUpTheCollapsedWindowHidden) {
  AddAds(2);
  SetProgramDword("Details", 1);
  TestDlg dlg;
  ASSERT_TRUE(dlg.Create());
  ASSERT_EQ(ui.states.size(), 1u);
  EXPECT_TRUE(ui.messages.empty());
  const WindowState& first = Last();
  EXPECT_FALSE(first.visible);
  EXPECT_EQ(first.version, "Build 258 Beta");
  EXPECT_EQ(first.saving, "a.zip from example.test");
  EXPECT_EQ(first.Find(IDC_SAVING)->tooltip, "http://example.test/pub/a.zip");
  EXPECT_EQ(first.destFolder, "/home/u/Downloads");
  EXPECT_TRUE(first.Find(IDC_ANIMATION)->playing);
  EXPECT_EQ(first.banner, Picture(0));
  EXPECT_TRUE(dlg.HasTimer(kAdTimer));
  EXPECT_EQ(first.Find(IDC_LINK_FEEDBACK)->tooltip.rfind("mailto:", 0), 0u);
  // Collapsed: cut at the marker's bottom (167 units), which is hidden;
  // the grid below it is disabled.
  EXPECT_FALSE(first.expanded);
  EXPECT_EQ(first.size, (UISize{488, 271}));
  EXPECT_FALSE(first.Find(IDC_MARKER)->visible);
  EXPECT_FALSE(first.Find(IDC_CONN_BYTES_FIRST)->enabled);
  EXPECT_TRUE(first.detailsShown);

  dlg.ShowWindow();
  EXPECT_TRUE(Last().visible);
  dlg.DestroyWindow();
  EXPECT_TRUE(ui.closed);
}

TEST_F(ProgressDlgTest, ProgressTextsAndTitle) {
  TestDlg dlg;
  ASSERT_TRUE(dlg.Create());
  dlg.ShowProgress(1536.0f, 1536000, 3725, 0);
  EXPECT_EQ(Last().rate, "1.5 Kb/Sec");
  EXPECT_EQ(Last().timeLeft, "1 Hours, 2 Min, 5 Seconds    (Opened so far 1.46 MB)");
  EXPECT_EQ(Last().title, "File Download");  // 0 leaves the title
  EXPECT_EQ(Last().progress, 0);

  dlg.ShowProgress(0.0f, 700, -1, 42);
  EXPECT_EQ(Last().timeLeft, "Unknown    (Opened so far 700 bytes)");
  EXPECT_EQ(Last().title, "File Download (42%)");
  EXPECT_EQ(Last().progress, 42);

  // A later 0 keeps the last percentage in the title, as the window did.
  dlg.ShowProgress(0.0f, 800, -1, 0);
  EXPECT_EQ(Last().title, "File Download (42%)");
  EXPECT_EQ(Last().progress, 0);
  dlg.ShowProgress(0.0f, 800, -1, 130);
  EXPECT_EQ(Last().progress, 100);
}

TEST_F(ProgressDlgTest, OnlyConnectionsOneToTenHaveColumns) {
  TestDlg dlg;
  ASSERT_TRUE(dlg.Create());
  const size_t published = ui.states.size();
  for (int outside : {0, 11, -3}) dlg.SetConnectionBytes(outside, 5000);
  EXPECT_EQ(ui.states.size(), published);
  dlg.SetConnectionBytes(1, 1023);
  dlg.SetConnectionBytes(10, int64_t{5} << 30);
  EXPECT_EQ(Last().connections[0], "1023 bytes");
  EXPECT_EQ(Last().connections[9], "5120.00 MB");
  for (int i = 1; i < 9; ++i) EXPECT_EQ(Last().connections[i], ".");
}

TEST_F(ProgressDlgTest, OnlyDetailsOfOneLetsTheWindowExpand) {
  struct Case {
    const char* what;
    std::function<void()> set;
    bool allowed;
  };
  const Case cases[] = {
      {"absent", [] {}, false},
      {"zero", [] { SetProgramDword("Details", 0); }, false},
      {"two", [] { SetProgramDword("Details", 2); }, false},
      {"the text 1", [] { SetProgramString("", "Details", "1"); }, false},
      {"one", [] { SetProgramDword("Details", 1); }, true},
  };
  for (const Case& c : cases) {
    RecordingUIFixture fixture;  // a fresh registry
    fixture.CreateProgramKey("ADFiles");
    c.set();
    TestDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(dlg.DetailsAllowed(), c.allowed) << c.what;
    dlg.Click(IDC_DETAILS);
    const WindowState& state = fixture.ui.states.back();
    EXPECT_EQ(state.expanded, c.allowed) << c.what;
    EXPECT_EQ(state.size, (UISize{488, c.allowed ? 366 : 271})) << c.what;
    if (!c.allowed) continue;
    EXPECT_EQ(state.Find(IDC_DETAILS)->text, "Details <<");
    EXPECT_TRUE(state.Find(IDC_CONN_BYTES_FIRST + 9)->enabled);
    dlg.Click(IDC_DETAILS);
    EXPECT_FALSE(fixture.ui.states.back().expanded);
    EXPECT_EQ(fixture.ui.states.back().size, (UISize{488, 271}));
    EXPECT_EQ(fixture.ui.states.back().Find(IDC_DETAILS)->text, "Details >>");
  }
}

TEST_F(ProgressDlgTest, MissingKeysAreSaidAndTheWindowWorksWithoutBanners) {
  {
    TestDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Could not open main registry key"});
  }
  SetProgramDword("Details", 1);
  ui.messages.clear();
  TestDlg dlg;
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(ui.messages, std::vector<std::string>{"Could not open ADFiled registry key"});
  EXPECT_FALSE(Last().detailsShown);  // read after the banners
  EXPECT_EQ(Last().banner, "");
  dlg.ShowProgress(1024.0f, 2048, 1, 50);
  EXPECT_EQ(Last().title, "File Download (50%)");
}

TEST_F(ProgressDlgTest, TheRotationWrapsAndGoesOnAfterAReload) {
  AddAds(3);
  TestDlg dlg;
  ASSERT_TRUE(dlg.Create());
  std::vector<int> shown{dlg.AdIndex()};
  for (int tick = 0; tick < 3; ++tick) {
    dlg.Tick();
    shown.push_back(dlg.AdIndex());
  }
  EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 0}));
  dlg.Tick();
  EXPECT_EQ(Last().banner, Picture(1));
  dlg.OnMessage({WM_ADLIST_CHANGED, 0, 0});
  dlg.Tick();
  EXPECT_EQ(dlg.AdIndex(), 2);
  EXPECT_EQ(Last().banner, Picture(2));
  EXPECT_TRUE(dlg.HasTimer(kAdTimer));
}

TEST_F(ProgressDlgTest, TheBannerTurnsAfterEightSeconds) {
  AddAds(2);
  TestDlg dlg;
  ASSERT_TRUE(dlg.Create());
  const auto shown = std::chrono::steady_clock::now();
  EXPECT_TRUE(EventLoop::ForThisThread().PumpUntil([&] { return dlg.AdIndex() == 1; }, std::chrono::seconds(10)));
  const auto turned = std::chrono::steady_clock::now() - shown;
  EXPECT_GE(turned, std::chrono::milliseconds(7900));
  EXPECT_LE(turned, std::chrono::milliseconds(9000));
  EXPECT_EQ(Last().banner, Picture(1));
}

TEST_F(ProgressDlgTest, AnEmptyListAtTheFirstTickStopsTheRotationForGood) {
  CreateProgramKey("ADFiles");
  TestDlg dlg;
  ASSERT_TRUE(dlg.Create());
  EXPECT_TRUE(dlg.HasTimer(kAdTimer));
  dlg.Tick();
  EXPECT_FALSE(dlg.HasTimer(kAdTimer));
  AddAds(2);
  dlg.OnMessage({WM_ADLIST_CHANGED, 0, 0});
  EXPECT_EQ(Last().adFiles, (std::vector<std::string>{Picture(0), Picture(1)}));  // the reload is published
  EXPECT_FALSE(dlg.HasTimer(kAdTimer));
  EXPECT_EQ(Last().banner, "");
}

TEST_F(ProgressDlgTest, ABannerLinkOpensOnlyWebAndMailAddresses) {
  const std::pair<const char*, bool> links[] = {
      {"http://ads.test/a", true}, {"HTTPS://ads.test/b", true}, {"ftp://ads.test/c", true},
      {"mailto:ads@test", true},   {"file:///etc/passwd", false}, {"/usr/bin/xterm", false},
      {"xterm -e sh", false},      {"javascript:alert(1)", false}, {"", false},
  };
  std::vector<std::string> opened;
  CLinkLabel::Shell previous = CLinkLabel::SetShell({[&](const std::string& url, int) -> intptr_t {
                                                      opened.push_back(url);
                                                      return 42;
                                                    },
                                                    [](const std::string&, int) -> unsigned { return 33; }});
  for (const auto& [link, allowed] : links) {
    RecordingUIFixture fixture;
    testenv::WriteFile(Picture(0), "picture");
    fixture.SetProgramString("ADFiles", Picture(0), link);
    opened.clear();
    TestDlg dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.OnMessage({WM_CONTROLEVENT, static_cast<uintptr_t>(IDC_BANNER), DISPID_CLICK});
    EXPECT_EQ(opened.size(), allowed ? 1u : 0u) << link;
    EXPECT_EQ(fixture.ui.beeps, allowed ? 0 : 1) << link;
    EXPECT_EQ(fixture.ui.states.back().openedLink, allowed ? link : "") << link;
  }
  CLinkLabel::SetShell(previous);
}

TEST_F(ProgressDlgTest, CancelHidesTheWindowAndQuitsItsThread) {
  std::thread([this] {
    TestDlg dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.ShowWindow();
    // Clicks come from the view's thread, as messages to the window's.
    EventLoop& loop = EventLoop::ForThisThread();
    loop.SetMessageHandler([&](const ThreadMessage& message) { dlg.OnMessage(message); });
    std::thread([this] { ui.onInput({ViewInput::kCommand, IDCANCEL, {}, 0}); }).join();
    EXPECT_FALSE(loop.PumpUntil([] { return false; }, std::chrono::milliseconds(5000)));
    EXPECT_TRUE(loop.QuitPending());
    EXPECT_FALSE(Last().visible);
    EXPECT_TRUE(Last().cancelled);
    loop.SetMessageHandler(nullptr);
  }).join();
}

TEST_F(ProgressDlgTest, CancelWhileASaveDialogIsOpenEndsTheWait) {
  ui.holdSaveDialog = true;
  std::thread([this] {
    TestDlg dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.ShowWindow();
    EventLoop::ForThisThread().SetMessageHandler([&](const ThreadMessage& message) { dlg.OnMessage(message); });
    std::thread clicker([this] { ui.onInput({ViewInput::kCommand, IDCANCEL, {}, 0}); });
    EXPECT_EQ(PromptSaveFile("/nowhere/a.zip"), std::nullopt);
    clicker.join();
    EXPECT_EQ(ui.withdrawals, 1);
    EXPECT_TRUE(EventLoop::ForThisThread().QuitPending());
    EventLoop::ForThisThread().SetMessageHandler(nullptr);
  }).join();
}

}  // namespace

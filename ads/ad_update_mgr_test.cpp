#include "ads/ad_update_mgr.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>

#include "ads/ad_messages.h"
#include "app/kestrion_app.h"
#include "engine/file_download_manager.h"
#include "platform/loop/event_loop.h"
#include "platform/registry/registry.h"
#include "platform/ui/ui_script_backend.h"
#include "tests/support/ad_install.h"
#include "tests/support/http_test_server.h"
#include "tests/support/test_env.h"
#include "ui/download_progress_dlg.h"

namespace {

using namespace ad_messages;
using testenv::AdInstall;
using testenv::HttpReply;
using testenv::HttpRequest;
using Registered = std::map<std::string, std::string>;
using Texts = std::vector<std::string>;

// An installed program working in a folder of its own (where temp files go),
// its ad site on a scripted server, message boxes logged by the script UI.
class AdUpdaterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetUIBackend(std::make_unique<UIScriptBackend>(m_dir.File("ui.log"), ""));
    m_savedDir = std::filesystem::current_path();
    std::filesystem::create_directories(m_dir.File("work"));
    std::filesystem::current_path(m_dir.File("work"));
    m_site.SetHandler([this](const HttpRequest& request) { return Reply(request); });
    m_install.SetAdSite(m_site.URL("/list"));
  }

  void TearDown() override {
    m_updater.End();
    std::filesystem::current_path(m_savedDir);
    SetUIBackend(nullptr);
  }

  virtual HttpReply Reply(const HttpRequest& request) {
    std::lock_guard<std::mutex> lock(m_filesLock);
    HttpReply reply;
    const auto found = m_files.find(request.target);
    if (found == m_files.end()) reply.status = 404;
    reply.body = found == m_files.end() ? "" : found->second;
    return reply;
  }
  void Publish(const std::string& path, const std::string& body) {
    std::lock_guard<std::mutex> lock(m_filesLock);
    m_files[path] = body;
  }
  void PublishList(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string list;
    for (const auto& [path, link] : entries) list += m_site.URL(path) + "," + link + "\r\n";
    Publish("/list", list);
  }
  Texts Requested() const {
    Texts targets;
    for (const HttpRequest& request : m_site.Requests()) targets.push_back(request.target);
    return targets;
  }
  Texts TakeMessages() {
    Texts texts;
    for (const std::string& line : testenv::LogLinesOfKind(m_dir.File("ui.log"), "message"))
      texts.push_back(testenv::JsonString(line, "text"));
    testenv::WriteFile(m_dir.File("ui.log"), "");
    return texts;
  }
  std::string Banner(const std::string& name) const { return m_install.ADFilesDir() + "/" + name; }
  void Keep(const std::string& name, const std::string& link) {
    testenv::WriteFile(Banner(name), "kept");
    m_install.Register(Banner(name), link);
  }

  // One whole update, on the test's thread.
  void Update() {
    ASSERT_TRUE(m_updater.ReadSettings()) << testing::PrintToString(TakeMessages());
    m_updater.RunUpdate();
    EXPECT_TRUE(testenv::ListFiles(m_dir.File("work"), "FFF").empty()) << "temp files left";
  }

  testenv::ScratchDir m_dir;
  AdInstall m_install{m_dir.Path()};
  testenv::HttpTestServer m_site;
  std::mutex m_filesLock;
  std::map<std::string, std::string> m_files;
  std::filesystem::path m_savedDir;
  CADUpdateMgr m_updater;
};

// Without the program's key every start shows one message; End waits for it.
TEST_F(AdUpdaterTest, StartsOnceForADownloadAbove250000Bytes) {
  m_install.RemoveProgramKey();
  const std::pair<std::vector<int64_t>, size_t> cases[] = {
      {{250000}, 0}, {{-1, 0, 250000}, 0}, {{250001}, 1}, {{250001, 9000000, 250001}, 1}};
  for (const auto& [sizes, starts] : cases) {
    CADUpdateMgr updater;
    for (int64_t size : sizes) updater.StartIfLarge(size);
    updater.End();
    EXPECT_EQ(TakeMessages(), Texts(starts, kMainKeyNotOpened)) << testing::PrintToString(sizes);
  }
}

TEST_F(AdUpdaterTest, SettingsAreReadInOrderAndEachMissingOneHasItsMessage) {
  const std::string firstRunSite = "http://ads.example/list";
  const auto firstRun = [firstRunSite](AdInstall& i) {
    i.Remove("FT");
    i.WriteInstallConfig(testenv::ScrambleAdSite(firstRunSite) + "\r\nnot read\r\n");
  };
  const struct {
    const char* what;
    std::function<void(AdInstall&)> change;
    Texts messages;
    std::string site;  // as read, unscrambled
    std::string ftAfter;
  } cases[] = {
      {"installed", [](AdInstall&) {}, {}, "abc", "0"},
      {"quoted EXELOCATION", [](AdInstall& i) { i.SetString("EXELOCATION", "\"" + i.ProgramDir() + "/k\""); }, {},
       "abc", "0"},
      {"no program key", [](AdInstall& i) { i.RemoveProgramKey(); }, {kMainKeyNotOpened}, "", ""},
      {"no EXELOCATION", [](AdInstall& i) { i.Remove("EXELOCATION"); }, {kExeLocationNotRead}, "", "0"},
      {"EXELOCATION a number", [](AdInstall& i) { i.SetNumber("EXELOCATION", 7); }, {kExeLocationNotRead}, "", "0"},
      {"EXELOCATION over 398 bytes", [](AdInstall& i) { i.SetString("EXELOCATION", "/" + std::string(398, 'k')); },
       {kExeLocationNotRead}, "", "0"},
      {"empty EXELOCATION", [](AdInstall& i) { i.SetString("EXELOCATION", ""); }, {kExeLocationEmpty}, "", "0"},
      {"EXELOCATION without a folder", [](AdInstall& i) { i.SetString("EXELOCATION", "k"); }, {kExeLocationInvalid},
       "", "0"},
      {"no AdSite", [](AdInstall& i) { i.Remove("AdSite"); }, {kAdSiteNotRead}, "", "0"},
      {"empty AdSite", [](AdInstall& i) { i.SetString("AdSite", ""); }, {kAdSiteEmpty}, "", "0"},
      {"no LastUpdateTime", [](AdInstall& i) { i.Remove("LastUpdateTime"); }, {kLastUpdateTimeNotRead}, "abc", "0"},
      {"first run", [&](AdInstall& i) { firstRun(i), i.Remove("AdSite"); }, {}, firstRunSite, "0"},
      {"first run again", [&](AdInstall& i) { firstRun(i), i.SetNumber("FT", 1); }, {}, firstRunSite, "0"},
      {"first run without Install.CFG", [](AdInstall& i) { i.Remove("FT"); }, {kMissingInstallConfig}, "abc", ""},
      {"first run without either", [](AdInstall& i) { i.Remove("FT"), i.Remove("AdSite"); },
       {kMissingInstallConfig, kAdSiteNotRead}, "", ""},
  };
  for (const auto& c : cases) {
    testenv::ScratchDir scratch;
    AdInstall install(scratch.Path());
    install.SetString("AdSite", "cde");
    c.change(install);
    CADUpdateMgr updater;
    // Only a missing Install.CFG lets the read go on.
    const bool read = c.messages.empty() || c.messages == Texts{kMissingInstallConfig};
    EXPECT_EQ(updater.ReadSettings(), read) << c.what;
    EXPECT_EQ(TakeMessages(), c.messages) << c.what;
    EXPECT_EQ(updater.m_strAdSite, c.site) << c.what;
    EXPECT_EQ(install.Value("FT"), c.ftAfter) << c.what;
    if (read) {
      EXPECT_EQ(updater.m_strADFilesDir, install.ADFilesDir()) << c.what;
    }
  }
}

TEST_F(AdUpdaterTest, NewFilesAreFetchedLastLineFirstAndRegistered) {
  Publish("/a.gif", "GIF89a");
  Publish("/b.png", "PNG");
  PublishList({{"/a.gif", "http://a.example/"}, {"/b.png", "http://b.example/?x=1,2"}});
  Update();
  EXPECT_EQ(Requested(), (Texts{"/list", "/b.png", "/a.gif"}));
  EXPECT_EQ(testenv::ReadFile(Banner("a.gif")), "GIF89a");
  EXPECT_EQ(testenv::ReadFile(Banner("b.png")), "PNG");
  EXPECT_EQ(m_install.Registered(),
            (Registered{{Banner("a.gif"), "http://a.example/"}, {Banner("b.png"), "http://b.example/?x=1,2"}}));
  EXPECT_EQ(TakeMessages(), Texts{});
}

TEST_F(AdUpdaterTest, AListWithoutCommasDeletesEveryRegisteredFileAndValue) {
  Keep("a.gif", "http://a.example/");
  Keep("b.png", "http://b.example/");
  Publish("/list", "this list\nhas no entries\n");
  Update();
  EXPECT_EQ(Requested(), Texts{"/list"});
  EXPECT_EQ(m_install.Registered(), Registered{});
  EXPECT_EQ(testenv::ListFiles(m_install.ADFilesDir()), Texts{});
}

TEST_F(AdUpdaterTest, AnUnchangedListFetchesAndDeletesNothingButStillNotifies) {
  Keep("a.gif", "http://a.example/");
  PublishList({{"/a.gif", "http://a.example/"}});
  // The test's thread stands in for the user's download and its window.
  bool notified = false;
  EventLoop& loop = EventLoop::ForThisThread();
  loop.SetMessageHandler([&](const ThreadMessage& m) { notified |= m.message == WM_ADLIST_CHANGED && !m.wParam; });
  CFileDownloadManager userManager;
  TheApp().m_pManager = &userManager;
  TheApp().SetManagerThread(GetCurrentThreadId());
  Update();
  TheApp().m_pManager = nullptr;
  loop.PumpUntil([&] { return notified; }, std::chrono::seconds(10));
  loop.SetMessageHandler(nullptr);
  EXPECT_TRUE(notified);
  EXPECT_EQ(Requested(), Texts{"/list"});
  EXPECT_EQ(testenv::ReadFile(Banner("a.gif")), "kept");
  EXPECT_EQ(m_install.Registered(), (Registered{{Banner("a.gif"), "http://a.example/"}}));
}

// The first pass fetches the file and registers the new link; the second
// finds the old value in its snapshot unmatched and removes file and value.
// The next update brings both back.
TEST_F(AdUpdaterTest, AChangedLinkIsFetchedThenDroppedAndComesBackNextTime) {
  Keep("a.gif", "http://old.example/");
  Publish("/a.gif", "new");
  PublishList({{"/a.gif", "http://new.example/"}});
  Update();
  EXPECT_EQ(Requested(), (Texts{"/list", "/a.gif"}));
  EXPECT_EQ(m_install.Registered(), Registered{});
  EXPECT_FALSE(testenv::FileExists(Banner("a.gif")));
  Update();
  EXPECT_EQ(m_install.Registered(), (Registered{{Banner("a.gif"), "http://new.example/"}}));
  EXPECT_EQ(testenv::ReadFile(Banner("a.gif")), "new");
}

TEST_F(AdUpdaterTest, NamesFromTheListNeverReachOutsideTheADFilesFolder) {
  // Registered files outside the folder are forgotten, not deleted.
  const std::string outside = m_dir.File("outside.gif"), besideProgram = m_install.ProgramDir() + "/z.gif";
  testenv::WriteFile(outside, "not the updater's");
  testenv::WriteFile(besideProgram, "not the updater's");
  m_install.Register(outside, "http://a.example/");
  m_install.Register(m_install.ADFilesDir() + "/../z.gif", "http://z.example/");
  Publish("/sub/../x", "x");
  Publish("/..", "dots");
  Publish("/list", "../x,l1\n/etc/y,l2\n" + m_site.URL("/..") + ",l3\n" + m_site.URL("/") + ",l4\n" +
                       m_site.URL("/a\\..\\..\\b.gif") + ",l5\n" + m_site.URL("/sub/../x") + ",l6\n");
  Update();
  // Only the last line names a plain file behind a URL that can be fetched;
  // "../x" names a file of the same name but fails, and spoils nothing.
  EXPECT_EQ(Requested(), (Texts{"/list", "/sub/../x"}));
  EXPECT_EQ(m_install.Registered(), (Registered{{Banner("x"), "l6"}}));
  EXPECT_EQ(testenv::ListFiles(m_install.ADFilesDir()), Texts{"x"});
  EXPECT_EQ(testenv::ReadFile(Banner("x")), "x");
  EXPECT_EQ(testenv::ReadFile(outside), "not the updater's");
  EXPECT_EQ(testenv::ReadFile(besideProgram), "not the updater's");
  EXPECT_EQ(TakeMessages(), Texts{});
}

// The snapshot is one read of the registry and each match a lookup, so many
// banners that all match cost what reading them costs, not their number
// times that. One registered file is no longer listed and goes.
TEST_F(AdUpdaterTest, ManyMatchingBannersCostWhatReadingThemCosts) {
  constexpr int kBanners = 20000;
  std::string list, values = "\"" + Banner("gone.gif") + "\"=\"http://gone.example/\"\n";
  for (int i = 0; i < kBanners; ++i) {
    const std::string name = "b" + std::to_string(i) + ".gif", link = "http://l.example/" + std::to_string(i);
    list += m_site.URL("/" + name) + "," + link + "\n";
    values += "\"" + Banner(name) + "\"=\"" + link + "\"\n";
  }
  // A list this long comes in ranges, which this server serves.
  testenv::HttpTestServer listSite(list);
  m_install.SetAdSite(listSite.URL("/list"));
  const std::string registry = m_install.RegistryDir() + "/HKEY_LOCAL_MACHINE.reg";
  testenv::WriteFile(registry, testenv::ReadFile(registry) +
                                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvane\\Kestrion\\ADFiles]\n" + values);
  const std::clock_t start = std::clock();
  Update();
  EXPECT_LT(std::clock() - start, 10 * CLOCKS_PER_SEC) << "processor time";
  EXPECT_EQ(Requested(), Texts{}) << "no banner fetched";
  HKEY files = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane\\Kestrion\\ADFiles", &files));
  std::vector<RegValue> registered;
  EXPECT_EQ(ERROR_SUCCESS, RegGetValues(files, &registered));
  RegCloseKey(files);
  EXPECT_EQ(registered.size(), static_cast<size_t>(kBanners));
}

class FailingFetchTest : public AdUpdaterTest {
 protected:
  HttpReply Reply(const HttpRequest& request) override {
    if (request.target != "/short.gif") return AdUpdaterTest::Reply(request);
    HttpReply cut;
    cut.body = std::string(30000, 'c');
    cut.endAfter = 1000;
    cut.end = HttpReply::End::kReset;
    return cut;
  }
};

// A list that does not arrive changes nothing; a banner that does not arrive
// whole and non-empty is not registered and leaves no file. No temp file
// stays either way.
TEST_F(FailingFetchTest, FetchesThatFailLeaveNothingBehind) {
  const std::string refused = "http://127.0.0.1:" + std::to_string(testenv::FreeLoopbackPort());
  const struct {
    const char* what;
    std::string site;
    std::string banner;  // listed beside a.gif
  } cases[] = {
      {"list not found", m_site.URL("/no-list"), ""},
      {"empty list", m_site.URL("/empty"), ""},
      {"list without scheme", "list.txt", ""},
      {"list refused", refused + "/list", ""},
      {"banner not found", m_site.URL("/list"), m_site.URL("/missing.gif")},
      {"empty banner", m_site.URL("/list"), m_site.URL("/empty")},
      {"banner cut short", m_site.URL("/list"), m_site.URL("/short.gif")},
      {"banner refused", m_site.URL("/list"), refused + "/refused.gif"},
      {"banner of another scheme", m_site.URL("/list"), "gopher://127.0.0.1/g.gif"},
  };
  Publish("/empty", "");
  Keep("a.gif", "http://a.example/");
  for (const auto& c : cases) {
    m_install.SetAdSite(c.site);
    Publish("/list", m_site.URL("/a.gif") + ",http://a.example/\n" + c.banner + ",http://link/\n");
    Update();
    EXPECT_EQ(m_install.Registered(), (Registered{{Banner("a.gif"), "http://a.example/"}})) << c.what;
    EXPECT_EQ(testenv::ListFiles(m_install.ADFilesDir()), Texts{"a.gif"}) << c.what;
  }
}

}  // namespace

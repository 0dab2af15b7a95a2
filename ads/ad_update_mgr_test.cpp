#include "ads/ad_update_mgr.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "ads/ad_messages.h"
#include "app/kestrion_app.h"
#include "engine/file_download_manager.h"
#include "platform/ui/ui.h"
#include "tests/support/ad_install.h"
#include "tests/support/http_test_server.h"
#include "tests/support/test_env.h"

namespace {

using namespace ad_messages;
using testenv::HttpReply;
using testenv::HttpRequest;
using Registered = std::map<std::string, std::string>;

// Polls until the condition holds or ten seconds have passed.
bool Eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

class HiddenView : public IProgressView {
 public:
  void Update(const ProgressWindowState&) override {}
  void Close() override {}
};

// Remembers every message box, from any thread, and presses OK.
class RecordingBackend : public UIBackend {
 public:
  void AskMessage(const std::string& text, unsigned, std::function<void(int)> answered) override {
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_messages.push_back(text);
    }
    answered(IDOK);
  }
  void AskSaveFile(const std::string&, std::function<void(std::optional<std::string>)> answered) override {
    answered(std::nullopt);
  }
  std::unique_ptr<IProgressView> CreateProgressView(std::function<void()>) override {
    return std::make_unique<HiddenView>();
  }
  std::vector<std::string> TakeMessages() {
    std::lock_guard<std::mutex> lock(m_lock);
    return std::exchange(m_messages, {});
  }

 private:
  std::mutex m_lock;
  std::vector<std::string> m_messages;
};

// Stands in for the user's manager thread: keeps the messages posted to it.
class PostedMessages : public WorkerThread {
 public:
  PostedMessages() {
    m_bAutoDelete = false;
    CreateThread();
  }
  ~PostedMessages() override {
    PostThreadMessage(WM_QUIT);
    Eventually([this] { return !PostThreadMessage(WM_NULL); });
  }
  void OnThreadMessage(const ThreadMessage& message) override {
    std::lock_guard<std::mutex> lock(m_lock);
    m_received.push_back(message);
  }
  bool Received(unsigned message) {
    std::lock_guard<std::mutex> lock(m_lock);
    for (const ThreadMessage& m : m_received)
      if (m.message == message && m.wParam == 0 && m.lParam == 0) return true;
    return false;
  }

 private:
  std::mutex m_lock;
  std::vector<ThreadMessage> m_received;
};

// An installed program in a scratch folder, working in a folder of its own
// (where temp files go), with an ad site on a scripted server.
class AdUpdaterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<RecordingBackend>();
    m_backend = backend.get();
    SetUIBackend(std::move(backend));
    m_savedDir = std::filesystem::current_path();
    std::filesystem::create_directories(WorkDir());
    std::filesystem::current_path(WorkDir());
    m_site.SetHandler([this](const HttpRequest& request) { return Reply(request); });
    m_install.SetAdSite(m_site.URL("/list"));
  }

  void TearDown() override {
    m_updater.End();
    std::filesystem::current_path(m_savedDir);
    SetUIBackend(nullptr);
  }

  std::string WorkDir() const { return m_dir.File("work"); }
  std::string Banner(const std::string& name) const { return m_install.ADFilesDir() + "/" + name; }

  // The site's files; every other path answers 404.
  void Publish(const std::string& path, const std::string& body) {
    std::lock_guard<std::mutex> lock(m_filesLock);
    m_files[path] = body;
  }
  void PublishList(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string list;
    for (const auto& [path, link] : entries) list += m_site.URL(path) + "," + link + "\r\n";
    Publish("/list", list);
  }
  HttpReply Reply(const HttpRequest& request) {
    std::lock_guard<std::mutex> lock(m_filesLock);
    HttpReply reply;
    const auto found = m_files.find(request.target);
    if (found == m_files.end()) {
      reply.status = 404;
      reply.body = "";
    } else {
      reply.body = found->second;
    }
    return reply;
  }
  std::vector<std::string> Requested() const {
    std::vector<std::string> targets;
    for (const HttpRequest& request : m_site.Requests()) targets.push_back(request.target);
    return targets;
  }

  // One whole update on the calling thread, as the updater's thread runs it.
  void Update() {
    ASSERT_TRUE(m_updater.ReadSettings()) << testing::PrintToString(m_backend->TakeMessages());
    m_updater.RunUpdate();
  }

  void ExpectNoTempFiles() { EXPECT_TRUE(testenv::ListFiles(WorkDir(), "FFF").empty()) << "temp files left"; }

  testenv::ScratchDir m_dir;
  testenv::AdInstall m_install{m_dir.Path()};
  testenv::HttpTestServer m_site;
  std::mutex m_filesLock;
  std::map<std::string, std::string> m_files;
  RecordingBackend* m_backend = nullptr;
  std::filesystem::path m_savedDir;
  CADUpdateMgr m_updater;
};

TEST_F(AdUpdaterTest, StartsOnceForADownloadAbove250000Bytes) {
  // Without the program's key, each start shows exactly one message.
  m_install.RemoveProgramKey();
  const struct {
    std::vector<int64_t> sizes;
    size_t starts;
  } cases[] = {{{250000}, 0}, {{250001}, 1}, {{-1, 0, 250000}, 0}, {{250001, 9000000, 250001}, 1}};
  for (const auto& c : cases) {
    CADUpdateMgr updater;
    for (int64_t size : c.sizes) updater.StartIfLarge(size);
    updater.End();
    EXPECT_EQ(m_backend->TakeMessages(), std::vector<std::string>(c.starts, kMainKeyNotOpened))
        << testing::PrintToString(c.sizes);
  }
}

TEST_F(AdUpdaterTest, EachMissingSettingShowsItsMessageInOrder) {
  const struct {
    const char* what;
    std::function<void(testenv::AdInstall&)> change;
    std::vector<std::string> messages;
  } cases[] = {
      {"no program key", [](auto& i) { i.RemoveProgramKey(); }, {kMainKeyNotOpened}},
      {"no EXELOCATION", [](auto& i) { i.Remove("EXELOCATION"); }, {kExeLocationNotRead}},
      {"EXELOCATION a number", [](auto& i) { i.SetNumber("EXELOCATION", 7); }, {kExeLocationNotRead}},
      {"empty EXELOCATION", [](auto& i) { i.SetString("EXELOCATION", ""); }, {kExeLocationEmpty}},
      {"EXELOCATION without a folder", [](auto& i) { i.SetString("EXELOCATION", "kestrion"); }, {kExeLocationInvalid}},
      {"EXELOCATION over 398 bytes", [](auto& i) { i.SetString("EXELOCATION", "/" + std::string(398, 'k')); },
       {kExeLocationNotRead}},
      {"no AdSite", [](auto& i) { i.Remove("AdSite"); }, {kAdSiteNotRead}},
      {"empty AdSite", [](auto& i) { i.SetString("AdSite", ""); }, {kAdSiteEmpty}},
      {"no LastUpdateTime", [](auto& i) { i.Remove("LastUpdateTime"); }, {kLastUpdateTimeNotRead}},
      {"first run without Install.CFG", [](auto& i) { i.Remove("FT"); }, {kMissingInstallConfig}},
      {"first run without Install.CFG nor AdSite",
       [](auto& i) {
         i.Remove("FT");
         i.Remove("AdSite");
       },
       {kMissingInstallConfig, kAdSiteNotRead}},
  };
  for (const auto& c : cases) {
    testenv::ScratchDir scratch;
    testenv::AdInstall install(scratch.Path());
    install.SetAdSite("http://ads.example/list");
    c.change(install);
    CADUpdateMgr updater;
    const bool read = updater.ReadSettings();
    EXPECT_EQ(read, c.messages == std::vector<std::string>{kMissingInstallConfig}) << c.what;
    EXPECT_EQ(m_backend->TakeMessages(), c.messages) << c.what;
  }
}

TEST_F(AdUpdaterTest, FirstRunCopiesInstallConfigIntoAdSiteBeforeReadingIt) {
  const std::string site = "http://ads.example/list.txt";
  const std::string config = testenv::ScrambleAdSite(site) + "\r\nsecond line, not read\r\n";
  const struct {
    const char* what;
    const char* ft;  // nullptr: absent
    const char* storedSite;  // nullptr: absent
    std::string expectedSite;
    const char* ftAfter;
  } cases[] = {
      {"FT absent", nullptr, nullptr, site, "0"},
      {"FT 1 replaces the stored site", "1", "cde", site, "0"},
      {"FT 0 keeps the stored site", "0", "cde", "abc", "0"},
  };
  for (const auto& c : cases) {
    testenv::ScratchDir scratch;
    testenv::AdInstall install(scratch.Path());
    install.WriteInstallConfig(config);
    if (c.ft) install.SetNumber("FT", std::stoul(c.ft)); else install.Remove("FT");
    if (c.storedSite) install.SetString("AdSite", c.storedSite); else install.Remove("AdSite");
    CADUpdateMgr updater;
    EXPECT_TRUE(updater.ReadSettings()) << c.what;
    EXPECT_EQ(updater.m_strAdSite, c.expectedSite) << c.what;
    EXPECT_EQ(install.Value("FT"), c.ftAfter) << c.what;
    EXPECT_TRUE(m_backend->TakeMessages().empty()) << c.what;
  }
}

TEST_F(AdUpdaterTest, TheFoldersComeFromEXELOCATION) {
  const struct {
    std::string exeLocation;
    std::string programDir;
  } cases[] = {
      {"/opt/kestrion/kestrion", "/opt/kestrion/"},
      {"\"/opt/my programs/kestrion\"", "/opt/my programs/"},  // quoted by an installer for its blank
      {"/kestrion", "/"},
      {"C:\\Kestrion\\kestrion.exe/x", "C:\\Kestrion\\kestrion.exe/"},
  };
  for (const auto& c : cases) {
    m_install.SetString("EXELOCATION", c.exeLocation);
    CADUpdateMgr updater;
    ASSERT_TRUE(updater.ReadSettings()) << c.exeLocation;
    EXPECT_EQ(updater.m_strProgramDir, c.programDir);
    EXPECT_EQ(updater.m_strADFilesDir, c.programDir + "ADFiles");
  }
}

TEST_F(AdUpdaterTest, TheListGivesOneEntryPerLineWithACommaLastLineFirst) {
  const struct {
    const char* text;
    bool parsed;
    std::vector<std::pair<std::string, std::string>> entries;
  } cases[] = {
      {"http://h/a.gif,http://a.example/\r\nhttp://h/b.png,http://b.example/?x=1,2\r\n", true,
       {{"http://h/b.png", "http://b.example/?x=1,2"}, {"http://h/a.gif", "http://a.example/"}}},
      {"no comma\n\nhttp://h/c.jpg,\nstill none", true, {{"http://h/c.jpg", ""}}},
      {"only\nlines\nwithout commas", true, {}},
      {",", true, {{"", ""}}},
      {"", false, {}},
  };
  for (const auto& c : cases) {
    testenv::WriteFile(m_dir.File("list.txt"), c.text);
    m_updater.m_entries.emplace_back("http://old/x", "stale");
    EXPECT_EQ(m_updater.ParseList(m_dir.File("list.txt")), c.parsed) << c.text;
    std::vector<std::pair<std::string, std::string>> entries;
    for (const CADFileEntry& entry : m_updater.m_entries) entries.emplace_back(entry.m_strURL, entry.m_strLink);
    EXPECT_EQ(entries, c.entries) << c.text;
    m_updater.m_entries.clear();
  }
  m_updater.m_entries.emplace_back("http://old/x", "kept");
  EXPECT_FALSE(m_updater.ParseList(m_dir.File("missing.txt")));
  EXPECT_EQ(m_updater.m_entries.size(), 1u);
}

TEST_F(AdUpdaterTest, NewFilesAreFetchedLastLineFirstAndRegistered) {
  Publish("/a.gif", "GIF89a-a");
  Publish("/b.png", "PNG-b");
  PublishList({{"/a.gif", "http://a.example/"}, {"/b.png", "http://b.example/"}});
  Update();
  EXPECT_EQ(Requested(), (std::vector<std::string>{"/list", "/b.png", "/a.gif"}));
  EXPECT_EQ(testenv::ReadFile(Banner("a.gif")), "GIF89a-a");
  EXPECT_EQ(testenv::ReadFile(Banner("b.png")), "PNG-b");
  EXPECT_EQ(m_install.Registered(), (Registered{{Banner("a.gif"), "http://a.example/"},
                                                {Banner("b.png"), "http://b.example/"}}));
  EXPECT_TRUE(m_backend->TakeMessages().empty());
  ExpectNoTempFiles();
}

TEST_F(AdUpdaterTest, AListWithoutCommasDeletesEveryRegisteredFileAndValue) {
  for (const char* name : {"a.gif", "b.png"}) {
    testenv::WriteFile(Banner(name), "old");
    m_install.Register(Banner(name), "http://link/");
  }
  Publish("/list", "this list\nhas no entries\n");
  Update();
  EXPECT_EQ(Requested(), std::vector<std::string>{"/list"});
  EXPECT_TRUE(m_install.Registered().empty());
  EXPECT_TRUE(testenv::ListFiles(m_install.ADFilesDir()).empty());
  ExpectNoTempFiles();
}

TEST_F(AdUpdaterTest, AnUnchangedListFetchesAndDeletesNothingButStillNotifies) {
  testenv::WriteFile(Banner("a.gif"), "kept");
  m_install.Register(Banner("a.gif"), "http://a.example/");
  PublishList({{"/a.gif", "http://a.example/"}});
  PostedMessages userWindowThread;
  CFileDownloadManager userManager;
  TheApp().m_pManager = &userManager;
  TheApp().SetManagerThread(userWindowThread.ThreadIdentifier());
  Update();
  TheApp().m_pManager = nullptr;
  EXPECT_EQ(Requested(), std::vector<std::string>{"/list"});
  EXPECT_EQ(testenv::ReadFile(Banner("a.gif")), "kept");
  EXPECT_EQ(m_install.Registered(), (Registered{{Banner("a.gif"), "http://a.example/"}}));
  EXPECT_TRUE(Eventually([&] { return userWindowThread.Received(WM_ADLIST_CHANGED); }));
}

// The first pass fetches the file and registers the new link; the second
// finds the old value in its snapshot unmatched and removes file and value.
// The next update brings both back.
TEST_F(AdUpdaterTest, AChangedLinkIsFetchedThenDroppedAndComesBackNextTime) {
  testenv::WriteFile(Banner("a.gif"), "old picture");
  m_install.Register(Banner("a.gif"), "http://old.example/");
  Publish("/a.gif", "new picture");
  PublishList({{"/a.gif", "http://new.example/"}});
  Update();
  EXPECT_EQ(Requested(), (std::vector<std::string>{"/list", "/a.gif"}));
  EXPECT_TRUE(m_install.Registered().empty());
  EXPECT_FALSE(testenv::FileExists(Banner("a.gif")));
  Update();
  EXPECT_EQ(m_install.Registered(), (Registered{{Banner("a.gif"), "http://new.example/"}}));
  EXPECT_EQ(testenv::ReadFile(Banner("a.gif")), "new picture");
}

TEST_F(AdUpdaterTest, NamesFromTheListNeverReachOutsideTheADFilesFolder) {
  // Registered files that lie outside the folder are forgotten, not deleted.
  const std::string outside = m_dir.File("outside.gif");
  const std::string besideProgram = m_install.ProgramDir() + "/z.gif";
  for (const std::string& path : {outside, besideProgram}) {
    testenv::WriteFile(path, "not the updater's");
  }
  m_install.Register(outside, "http://a.example/");
  m_install.Register(m_install.ADFilesDir() + "/../z.gif", "http://z.example/");
  Publish("/sub/../x", "x");
  Publish("/..", "dots");
  std::string list = "../x,l1\n/etc/y,l2\n" + m_site.URL("/..") + ",l3\n" + m_site.URL("/") + ",l4\n" +
                     m_site.URL("/a\\..\\..\\b.gif") + ",l5\nftp:x,l6\nhttps://127.0.0.1:1/w.gif,l7\n" +
                     m_site.URL("/sub/../x") + ",l8\n";
  Publish("/list", list);
  Update();
  // Only the entry whose file name is plain and whose URL can be fetched.
  EXPECT_EQ(m_install.Registered(), (Registered{{Banner("x"), "l8"}}));
  EXPECT_EQ(testenv::ListFiles(m_install.ADFilesDir()), std::vector<std::string>{"x"});
  EXPECT_EQ(testenv::ReadFile(outside), "not the updater's");
  EXPECT_EQ(testenv::ReadFile(besideProgram), "not the updater's");
  EXPECT_FALSE(testenv::FileExists(m_dir.File("x")));
  EXPECT_TRUE(m_backend->TakeMessages().empty());
  ExpectNoTempFiles();
  EXPECT_EQ(Requested(), (std::vector<std::string>{"/list", "/sub/../x"}));
}

TEST_F(AdUpdaterTest, AFailedBannerDownloadIsNotRegisteredAndLeavesNoFile) {
  const struct {
    const char* what;
    std::string url;
  } cases[] = {
      {"not found", m_site.URL("/missing.gif")},
      {"empty", m_site.URL("/empty.gif")},
      {"cut short", m_site.URL("/short.gif")},
      {"refused", "http://127.0.0.1:" + std::to_string(testenv::FreeLoopbackPort()) + "/refused.gif"},
      {"unsupported scheme", "gopher://127.0.0.1/gopher.gif"},
  };
  Publish("/empty.gif", "");
  m_site.SetHandler([this](const HttpRequest& request) {
    if (request.target != "/short.gif") return Reply(request);
    HttpReply cut;
    cut.body = std::string(30000, 'c');
    cut.endAfter = 1000;
    cut.end = HttpReply::End::kReset;
    return cut;
  });
  for (const auto& c : cases) {
    // A file of the same name that was already there stays as it was.
    const std::string name = CADFileEntry(c.url, "").FileName();
    testenv::WriteFile(Banner(name), "earlier");
    Publish("/list", c.url + ",http://link/\n");
    Update();
    EXPECT_TRUE(m_install.Registered().empty()) << c.what;
    EXPECT_EQ(testenv::ListFiles(m_install.ADFilesDir()), std::vector<std::string>{name}) << c.what;
    EXPECT_EQ(testenv::ReadFile(Banner(name)), "earlier") << c.what;
    std::filesystem::remove(Banner(name));
    ExpectNoTempFiles();
  }
}

TEST_F(AdUpdaterTest, TheListsTempFileIsAlwaysDeletedAndABadListTouchesNothing) {
  testenv::WriteFile(Banner("a.gif"), "kept");
  m_install.Register(Banner("a.gif"), "http://a.example/");
  const struct {
    const char* what;
    std::string site;
  } cases[] = {
      {"not found", m_site.URL("/no-list")},
      {"empty", m_site.URL("/empty-list")},
      {"without scheme", "list.txt"},
      {"refused", "http://127.0.0.1:" + std::to_string(testenv::FreeLoopbackPort()) + "/list"},
  };
  Publish("/empty-list", "");
  for (const auto& c : cases) {
    m_install.SetAdSite(c.site);
    Update();
    ExpectNoTempFiles();
    EXPECT_EQ(m_install.Registered(), (Registered{{Banner("a.gif"), "http://a.example/"}})) << c.what;
    EXPECT_EQ(testenv::ReadFile(Banner("a.gif")), "kept") << c.what;
  }
}

TEST_F(AdUpdaterTest, EndAbortsTheBannerDownloadUnderWayAndLeavesNothing) {
  PublishList({{"/slow.gif", "http://slow.example/"}});
  m_site.SetHandler([this](const HttpRequest& request) {
    if (request.target != "/slow.gif") return Reply(request);
    HttpReply stalled;
    stalled.body = std::string(40000, 's');
    stalled.endAfter = 1000;
    stalled.end = HttpReply::End::kStall;
    return stalled;
  });
  m_updater.StartIfLarge(250001);
  ASSERT_TRUE(Eventually([this] { return Requested().size() == 2; }));
  // The piece file of the banner download exists while it waits.
  EXPECT_FALSE(testenv::ListFiles(WorkDir(), "FFF").empty());
  m_updater.End();
  ExpectNoTempFiles();
  EXPECT_FALSE(testenv::FileExists(Banner("slow.gif")));
  EXPECT_TRUE(m_install.Registered().empty());
  EXPECT_TRUE(m_backend->TakeMessages().empty());
}

}  // namespace

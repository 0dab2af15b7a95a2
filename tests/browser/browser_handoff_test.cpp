// Today's browsers hand their downloads to Kestrion: Debian's chromium and
// firefox-esr, each driven by its script beside this file, with Kestrion's
// extension loaded, the host's manifests written by kestrion-install into
// the test's home folder, a page on a real nginx, and the script UI
// answering the host's and kestrion's questions.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/nginx_server.h"
#include "tests/support/registry_values.h"
#include "tests/support/script_ui_files.h"
#include "tests/support/test_env.h"
#include "tests/support/loopback.h"

namespace {

struct Browser {
  const char* name;
  const char* binary;
  const char* driver;     // beside this file
  const char* extension;  // in the build's extension folder
  const char* profile;    // in the home folder; Chromium's default one, where it finds the manifest
};

const Browser kBrowsers[] = {
    {"Chromium", "/usr/lib/chromium/chromium", "chromium_driver.py", "chromium", ".config/chromium"},
    {"Firefox", "/usr/lib/firefox-esr/firefox-esr", "firefox_driver.py", "firefox", "firefox-profile"},
};

constexpr size_t kFileSize = 200000;  // below the size that starts the banner updater

// What the driver saw of the browser's own download.
struct BrowserDownload {
  std::string error;
  std::string ended;   // completed, canceled, failed, running, none
  std::string listed;  // downloads left in the browser's list
  std::string files;   // in its download folder
};

class BrowserHandoffTest : public ::testing::TestWithParam<Browser> {
 protected:
  // One program folder and one nginx for the suite. The slow location keeps
  // the browser busy long enough to be cancelled, while kestrion's four
  // ranges each fit in the part that comes at full speed.
  static void SetUpTestSuite() {
    s_install = new testenv::ScratchDir;
    std::filesystem::create_directories(ProgramDir());
    for (const char* name : {"kestrion", "ksie.so", "ksns.so", "kestrion-install", "kestrion-browser-host"})
      std::filesystem::copy_file(testenv::BuildFolder() + "/" + name, ProgramDir() + "/" + name);
    s_nginx = new testenv::NginxServer(
        "    types { text/html html; application/zip zip; application/gzip gz; }\n"
        "    location /slow/ { limit_rate_after 64k; limit_rate 8k; }\n");
    std::filesystem::create_directories(s_nginx->FilePath("slow"));
    std::string page = "<html><body>";
    for (const char* name : {"slow/taken.zip", "slow/cancelled.zip", "regular.zip", "archive.gz", "unhosted.zip"}) {
      testenv::WriteFile(s_nginx->FilePath(name), testenv::PatternBytes(kFileSize, name[0]));
      page += std::string("<a href=\"") + name + "\">" + name + "</a> ";
    }
    testenv::WriteFile(s_nginx->FilePath("index.html"), page + "</body></html>\n");
  }
  static void TearDownTestSuite() {
    delete s_nginx;
    delete s_install;
  }
  static std::string ProgramDir() { return s_install->File("Kestrion"); }

  void SetUp() override {
    if (!std::filesystem::exists(GetParam().binary)) GTEST_SKIP() << GetParam().binary << " is not installed";
    ASSERT_TRUE(s_nginx->Running()) << s_nginx->Error();
    m_env = testenv::ScriptEnvironmentIn(m_dir.Path());
    std::filesystem::create_directories(m_dir.File("home"));
    testenv::RunResult install =
        testenv::RunProgram(ProgramDir() + "/kestrion-install", {}, m_dir.Path(), m_env, std::chrono::seconds(60));
    ASSERT_EQ(0, install.exitCode) << install.output;
  }

  // Clicks the link in a browser of its own and follows the browser's
  // download to its end.
  BrowserDownload Click(const std::string& link) {
    const std::string profile = m_dir.File("home/") + GetParam().profile;
    const std::string downloads = m_dir.File("downloads");
    // A fresh profile each time, but for the manifest kestrion-install put in
    // Chromium's.
    std::filesystem::create_directories(profile);
    for (const auto& entry : std::filesystem::directory_iterator(profile))
      if (entry.path().filename() != "NativeMessagingHosts") std::filesystem::remove_all(entry.path());
    std::filesystem::remove_all(downloads);
    std::filesystem::create_directories(downloads);
    const std::string driver = std::string(getenv("KESTRION_SOURCE_DIR")) + "/tests/browser/" + GetParam().driver;
    testenv::RunResult run = testenv::RunProgram(
        "/usr/bin/python3",
        {"-B", driver, "--profile", profile, "--extension",
         testenv::BuildFolder() + "/extension/" + GetParam().extension, "--downloads", downloads, "--page",
         s_nginx->Url("index.html"), "--link", link},
        m_dir.Path(), m_env, std::chrono::seconds(150));
    const std::string report = run.output.substr(std::min(run.output.size(), run.output.rfind("\n{") + 1));
    return {testenv::JsonString(report, "error") + (run.exitCode == 0 ? "" : run.output),
            testenv::JsonString(report, "ended"), testenv::JsonString(report, "listed"),
            testenv::JsonString(report, "files")};
  }

  // The answers for the next click, with a fresh log.
  void Answer(const std::vector<std::string>& answers) {
    testenv::WriteAnswers(m_dir.File("answers"), answers);
    testenv::WriteFile(m_dir.File("ui.log"), "");
  }
  std::vector<std::string> Log(const char* kind) const { return testenv::LogLinesOfKind(m_dir.File("ui.log"), kind); }

  static testenv::ScratchDir* s_install;
  static testenv::NginxServer* s_nginx;
  testenv::ScratchDir m_dir;
  std::map<std::string, std::string> m_env;
};

testenv::ScratchDir* BrowserHandoffTest::s_install = nullptr;
testenv::NginxServer* BrowserHandoffTest::s_nginx = nullptr;

TEST_P(BrowserHandoffTest, KestrionTakesTheZipAndTheBrowserDropsItsCopy) {
  std::filesystem::create_directories(m_dir.File("saved"));
  const std::string chosen = m_dir.File("saved/taken.zip");
  Answer({"ok", chosen});
  const BrowserDownload browser = Click("slow/taken.zip");
  ASSERT_EQ("", browser.error);
  EXPECT_EQ("canceled", browser.ended);
  EXPECT_EQ("0", browser.listed) << "erased from the browser's list";
  ASSERT_EQ(1u, Log("download-choice").size());
  EXPECT_EQ("taken.zip from " + testenv::kServerHost + ":" + std::to_string(s_nginx->Port()),
            testenv::JsonString(Log("download-choice")[0], "text"));
  const std::string finalMessage = testenv::AwaitFinalMessage(m_dir.File("ui.log"));
  EXPECT_NE(std::string::npos, finalMessage.find("completed successfuly")) << finalMessage;
  EXPECT_TRUE(testenv::ReadFile(s_nginx->FilePath("slow/taken.zip")) == testenv::ReadFile(chosen));
  // Neither the browser's partial file nor kestrion's pieces, which it keeps
  // in the browser's download folder when the browser names it.
  EXPECT_TRUE(testenv::ListFiles(m_dir.File("downloads")).empty());
}

TEST_P(BrowserHandoffTest, WhoGetsEachDownload) {
  const struct {
    const char* link;
    const char* answer;
    bool hostInstalled;
    size_t offers;
    const char* ended;
    const char* files;
  } cases[] = {
      {"slow/cancelled.zip", "cancel", true, 1, "canceled", ""},
      {"regular.zip", "regular", true, 1, "completed", "regular.zip"},
      // Not offered over http.
      {"archive.gz", "ok", true, 0, "completed", "archive.gz"},
      // A host that cannot be started never costs the user the download.
      {"unhosted.zip", "ok", false, 0, "completed", "unhosted.zip"},
  };
  const std::string host = ProgramDir() + "/kestrion-browser-host";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link);
    if (!c.hostInstalled) std::filesystem::rename(host, host + ".away");
    Answer({c.answer});
    const BrowserDownload browser = Click(c.link);
    if (!c.hostInstalled) std::filesystem::rename(host + ".away", host);
    ASSERT_EQ("", browser.error);
    EXPECT_EQ(c.ended, browser.ended);
    EXPECT_EQ(c.files, browser.files);
    EXPECT_EQ(c.offers, Log("download-choice").size());
    EXPECT_TRUE(Log("save-file").empty());
    if (*c.files) {
      const std::string kept = m_dir.File("downloads/") + c.files;
      EXPECT_TRUE(testenv::ReadFile(s_nginx->FilePath(c.link)) == testenv::ReadFile(kept));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Browsers, BrowserHandoffTest, ::testing::ValuesIn(kBrowsers),
                         [](const testing::TestParamInfo<Browser>& info) { return std::string(info.param.name); });

}  // namespace

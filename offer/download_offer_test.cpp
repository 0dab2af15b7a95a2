#include "offer/download_offer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/unescape_url.h"
#include "platform/registry/registry.h"
#include "platform/ui/ui_script_backend.h"
#include "tests/support/https_switch_setting.h"
#include "tests/support/launch_recorder.h"
#include "tests/support/test_env.h"

namespace {

struct SplitCase {
  HostGuard guard;
  const char* url;
  bool split;
  const char* host;
  const char* fileName;
  const char* ext;
};

TEST(SplitUrlTest, TakesHostFileNameAndExtension) {
  const SplitCase cases[] = {
      {HostGuard::kOff, "http://H/dir/setup.exe", true, "H", "setup.exe", "EXE"},
      {HostGuard::kOff, "http://h/cgi/get.cgi?file=a.zip", true, "h", "a.zip", "ZIP"},
      {HostGuard::kOff, "http://h/setup.exe?x=1", true, "h", "1", "EXE?X=1"},
      {HostGuard::kOff, "http://h/my%20setup.exe", true, "h", "my setup.exe", "EXE"},
      {HostGuard::kOff, "ftp://h\\dir\\tool.Arj", true, "h", "tool.Arj", "ARJ"},
      {HostGuard::kOff, "setup.exe", true, "", "setup.exe", "EXE"},
      // Nothing after the host: the host is taken for the file name.
      {HostGuard::kOff, "http://www.host.com", true, "", "www.host.com", "COM"},
      // No dot after the last slash: everything is emptied.
      {HostGuard::kOff, "http://h.com/dir/", false, "", "", ""},
      {HostGuard::kOn, "http://h.com/dir/", false, "", "", ""},
      // The guard keeps what an earlier URL left.
      {HostGuard::kOn, "http://www.host.com", false, "old", "old.zip", "ZIP"},
      {HostGuard::kOn, "setup.exe", false, "old", "old.zip", "ZIP"},
      {HostGuard::kOn, "http://h/a.zip", true, "h", "a.zip", "ZIP"},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.url);
    DownloadOffer offer(c.guard);
    offer.m_strHost = "old";
    offer.m_strFileName = "old.zip";
    offer.m_strExt = "ZIP";
    offer.SetUrl(c.url);
    EXPECT_EQ(c.split, offer.SplitUrl());
    EXPECT_EQ(c.host, offer.m_strHost);
    EXPECT_EQ(c.fileName, offer.m_strFileName);
    EXPECT_EQ(c.ext, offer.m_strExt);
  }
}

TEST(SplitUrlTest, HostAndSchemeOfShortAndOddUrls) {
  const struct {
    const char* url;
    const char* scheme;
    const char* host;
  } cases[] = {
      {"hTTp://h/x", "HTTP", "h"}, {"a:", "A", ""}, {"a:/", "A", ""}, {"no-colon/x", "", ""},
      {"ftp://h", "FTP", ""},      {"x:abcd/e", "X", "cd"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.scheme, SchemeOf(c.url)) << c.url;
    EXPECT_EQ(c.host, HostOf(c.url)) << c.url;
  }
  EXPECT_EQ(-1, FindLastSeparator("plain.zip"));
  EXPECT_EQ(5, FindLastSeparator("a=b;c,d.zip"));
}

TEST(LaunchTextTest, DefaultPathAndCommandLine) {
  EXPECT_EQ("/dl/setup.exe", DefaultSavePath("/dl", "setup.exe"));
  EXPECT_EQ("/dl/setup.exe", DefaultSavePath("/dl/", "setup.exe"));
  EXPECT_EQ("setup.exe", DefaultSavePath("", "setup.exe"));
  EXPECT_EQ("/dl/", DefaultSavePath("/dl", ""));

  const struct {
    const char* exe;
    const char* url;
    const char* path;
    const char* line;
  } cases[] = {
      {"/opt/kestrion", "http://h/a%20b.zip", "/My Files/a.zip", "/opt/kestrion http://h/a%20b.zip /My Files/a.zip"},
      {"/opt/kestrion", "http://h/a b.zip", "/d/%41 %.zip", "/opt/kestrion http://h/a%20b.zip /d/%%41 %%.zip"},
      {"\"/my dir/kestrion\"", "", "/d/x", "\"/my dir/kestrion\"  /d/x"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.line, LaunchCommandLine(c.exe, c.url, c.path));
}

// The offer with the script UI and a private registry.
class OfferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KESTRION_REGISTRY", m_dir.File("registry").c_str(), 1);
    m_previousUI = SetUIBackend(std::make_unique<UIScriptBackend>(m_dir.File("ui.log"), m_dir.File("answers")));
  }
  void TearDown() override {
    SetUIBackend(std::move(m_previousUI));
    unsetenv("KESTRION_REGISTRY");
  }

  void Answer(const std::string& answers) { testenv::WriteFile(m_dir.File("answers"), answers); }
  std::vector<std::string> Log(const char* kind) const { return testenv::LogLinesOfKind(m_dir.File("ui.log"), kind); }
  static void SetString(HKEY root, const char* path, const char* name, const std::string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(root, path, &key));
    RegSetString(key, name, text);
    RegCloseKey(key);
  }
  void SetDownloadFolder(const std::string& folder) {
    SetString(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer", "Download Directory", folder);
  }
  void SetExeLocation(const std::string& text) {
    SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane\\Kestrion", "EXELOCATION", text);
  }

  testenv::ScratchDir m_dir;
  std::unique_ptr<UIBackend> m_previousUI;
};

TEST_F(OfferTest, SavedPathReachesTheProgramExactlyAndItsFolderIsRemembered) {
  std::filesystem::create_directories(m_dir.File("my prog"));
  testenv::LaunchRecorder recorder(m_dir.File("my prog/kestrion"), m_dir.File("launched"));
  SetExeLocation("\"" + recorder.Program() + "\"");
  SetDownloadFolder(m_dir.File("dl/"));
  const std::string chosen = m_dir.File("My Files/a %41 b.zip");
  Answer(chosen + "\n");

  DownloadOffer offer(HostGuard::kOff);
  offer.SetUrl("http://h/a%20b.zip");
  ASSERT_TRUE(offer.SplitUrl());
  EXPECT_EQ(E_PENDING, offer.SaveAndLaunch());

  ASSERT_EQ(1u, Log("save-file").size());
  EXPECT_EQ(m_dir.File("dl/a b.zip"), testenv::JsonString(Log("save-file")[0], "initial"));
  const std::string argument = recorder.AwaitArgument();
  EXPECT_EQ("http://h/a%20b.zip " + m_dir.File("My Files/a %%41 b.zip"), argument);
  EXPECT_EQ(chosen, UnescapeURL(argument.substr(argument.find(' ') + 1)));
  EXPECT_EQ(m_dir.File("My Files"), DownloadOffer::GetDownloadDirectory());
}

TEST_F(OfferTest, NothingStartsWithoutAPathOrAProgram) {
  SetDownloadFolder("/dl");
  DownloadOffer offer(HostGuard::kOff);
  offer.SetUrl("http://h/a.zip");
  offer.SplitUrl();

  Answer("cancel\n");
  EXPECT_EQ(S_FALSE, offer.SaveAndLaunch());
  EXPECT_EQ("/dl", DownloadOffer::GetDownloadDirectory());

  // No EXELOCATION: the folder is still remembered.
  Answer("/elsewhere/a.zip\n");
  EXPECT_EQ(S_FALSE, offer.SaveAndLaunch());
  EXPECT_EQ("/elsewhere", DownloadOffer::GetDownloadDirectory());

  // A folder too long for its 300-byte buffer counts as none.
  SetDownloadFolder("/" + std::string(299, 'd'));
  EXPECT_EQ("", DownloadOffer::GetDownloadDirectory());
}

}  // namespace

// https is an http download while the switch is on, and no download at all
// while it is absent or 0.
TEST_F(OfferTest, HttpsIsOfferedAsHttpOnlyWhileTheSwitchIsOn) {
  testenv::ForEachHttpsSwitch([](bool allowed) {
    for (const auto& [url, offered] : {std::pair{"https://h/a.ZIP", allowed}, std::pair{"HTTPS://h/setup.exe", allowed},
                                       std::pair{"https://h/a.gz", false}, std::pair{"http://h/a.zip", true}}) {
      DownloadOffer offer(HostGuard::kOn);
      offer.SetUrl(url);
      ASSERT_TRUE(offer.SplitUrl()) << url;
      EXPECT_EQ(offer.HasOfferedScheme(), offered) << url;
    }
  });
}

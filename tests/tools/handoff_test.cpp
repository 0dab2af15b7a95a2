// The hand-off across processes, as a user meets it: kestrion-install into a
// private registry from a program folder whose name holds a blank, then
// urlbind (the browser's URL layer) or dispcall (a script) offering a URL,
// the script UI answering, and the kestrion they start downloading it from a
// real nginx or vsftpd.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/net/tls_channel.h"
#include "tests/support/launch_recorder.h"
#include "tests/support/nginx_server.h"
#include "tests/support/registry_values.h"
#include "tests/support/script_ui_files.h"
#include "tests/support/test_env.h"
#include "tests/support/tls_nginx_server.h"
#include "tests/support/vsftpd_server.h"
#include "tests/support/loopback.h"

namespace {

using testenv::RegistryKeyExists;
using testenv::RegistryString;

constexpr char kProgramKey[] = "SOFTWARE\\Morvane\\Kestrion";
constexpr char kRegistryHeader[] = "Windows Registry Editor Version 5.00\n\n";

class HandoffTest : public ::testing::Test {
 protected:
  // One installed program folder for the suite; each test installs it into
  // a registry of its own.
  static void SetUpTestSuite() {
    s_install = new testenv::ScratchDir;
    std::filesystem::create_directories(ProgramDir());
    for (const char* name :
         {"kestrion", "ksie.so", "ksns.so", "kestrion-install", "urlbind", "dispcall", "kestrion-browser-host"})
      std::filesystem::copy_file(testenv::BuildFolder() + "/" + name, ProgramDir() + "/" + name);
  }
  static void TearDownTestSuite() {
    delete s_install;
    s_install = nullptr;
  }
  static std::string ProgramDir() { return s_install->File("Kestrion Files"); }

  void SetUp() override {
    m_env = testenv::ScriptEnvironmentIn(m_dir.Path());
    setenv("KESTRION_REGISTRY", m_dir.File("registry").c_str(), 1);
    std::filesystem::create_directories(m_dir.File("dl"));
    Answer({});
    testenv::RunResult install = Run("kestrion-install", {});
    ASSERT_EQ(0, install.exitCode) << install.output;
  }
  void TearDown() override { unsetenv("KESTRION_REGISTRY"); }

  testenv::RunResult Run(const std::string& tool, const std::vector<std::string>& args) {
    return testenv::RunProgram(ProgramDir() + "/" + tool, args, m_dir.Path(), m_env, std::chrono::seconds(60));
  }
  void Answer(const std::vector<std::string>& answers) { testenv::WriteAnswers(m_dir.File("answers"), answers); }
  std::vector<std::string> Log(const char* kind) const { return testenv::LogLinesOfKind(m_dir.File("ui.log"), kind); }
  std::string AwaitFinalMessage() const { return testenv::AwaitFinalMessage(m_dir.File("ui.log")); }

  void ExpectDelivered(const std::string& served, const std::string& chosen) {
    EXPECT_NE(std::string::npos, AwaitFinalMessage().find("completed successfuly"));
    EXPECT_TRUE(testenv::ReadFile(served) == testenv::ReadFile(chosen)) << chosen << " differs from " << served;
    EXPECT_TRUE(testenv::ListFiles(m_dir.Path(), "FFF").empty()) << "piece files left";
  }

  static testenv::ScratchDir* s_install;
  testenv::ScratchDir m_dir;
  std::map<std::string, std::string> m_env;
};

testenv::ScratchDir* HandoffTest::s_install = nullptr;

TEST_F(HandoffTest, InstallWritesWhatTheLibrariesNeedAndRemoveTakesItAway) {
  EXPECT_EQ("\"" + ProgramDir() + "/kestrion\"", RegistryString(HKEY_LOCAL_MACHINE, kProgramKey, "EXELOCATION"));
  const std::string adSite = RegistryString(HKEY_LOCAL_MACHINE, kProgramKey, "AdSite").value_or("");
  EXPECT_EQ(adSite + "\n", testenv::ReadFile(ProgramDir() + "/Install.CFG"));
  EXPECT_EQ(0u, adSite.find("jvvr<11")) << "http:// raised by 2";
  EXPECT_TRUE(std::filesystem::is_directory(ProgramDir() + "/ADFiles"));
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, std::string(kProgramKey) + "\\ADFiles"));
  const std::pair<std::string, std::string> classesRoot[] = {
      {".zip", "application/x-zip-compressed"},
      {".exe", "application/x-msdownload"},
      {".htm", "text/html"},
  };
  for (const auto& [key, type] : classesRoot) EXPECT_EQ(type, RegistryString(HKEY_CLASSES_ROOT, key, "Content Type"));
  for (const char* scheme : {"http", "ftp"})
    EXPECT_EQ("{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C}",
              RegistryString(HKEY_CLASSES_ROOT, std::string("PROTOCOLS\\Name-Space Handler\\") + scheme + "\\ZKS",
                             "CLSID"));
  EXPECT_EQ("{E41D5C72-93B0-11D2-A6F1-444553540001}", RegistryString(HKEY_CLASSES_ROOT, "KSNS.Protocol.1\\CLSID", ""));
  const std::pair<std::string, std::string> manifests[] = {
      {".config/chromium/NativeMessagingHosts", R"("allowed_origins": ["chrome-extension://)"},
      {".config/google-chrome/NativeMessagingHosts", R"("allowed_origins": ["chrome-extension://)"},
      {".mozilla/native-messaging-hosts", R"("allowed_extensions": ["kestrion@morvane.com"])"},
  };
  for (const auto& [folder, allowed] : manifests) {
    const std::string manifest = testenv::ReadFile(m_dir.File("home/" + folder + "/com.morvane.kestrion.json"));
    EXPECT_NE(std::string::npos, manifest.find(R"("path": ")" + ProgramDir() + "/kestrion-browser-host\"")) << folder;
    EXPECT_NE(std::string::npos, manifest.find(allowed)) << folder;
  }
  // Another installation's manifest is not ours to remove.
  const std::string othersManifest = m_dir.File("home/.mozilla/native-messaging-hosts/com.morvane.kestrion.json");
  testenv::WriteFile(othersManifest, R"({"path": "/elsewhere/kestrion-browser-host"})");

  testenv::RunResult removal = Run("kestrion-install", {"--remove"});
  EXPECT_EQ(0, removal.exitCode) << removal.output;
  for (const char* root : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"})
    EXPECT_EQ(kRegistryHeader, testenv::ReadFile(m_dir.File("registry/") + root + ".reg")) << root;
  EXPECT_FALSE(std::filesystem::exists(ProgramDir() + "/Install.CFG"));
  EXPECT_FALSE(std::filesystem::exists(ProgramDir() + "/ADFiles"));
  EXPECT_FALSE(std::filesystem::exists(m_dir.File("home/" + manifests[0].first)));
  EXPECT_FALSE(std::filesystem::exists(m_dir.File("home/" + manifests[1].first)));
  EXPECT_TRUE(std::filesystem::exists(othersManifest));
}

TEST_F(HandoffTest, UrlbindHandsAnHttpZipToKestrion) {
  if (!testenv::NginxServer::Available()) GTEST_SKIP() << testenv::NginxServer::kBinary << " is not installed";
  testenv::NginxServer nginx;
  ASSERT_TRUE(nginx.Running()) << nginx.Error();
  testenv::WriteFile(nginx.FilePath("a b.zip"), testenv::PatternBytes(120000, 7));
  // The chosen path keeps a '%' and a blank; the URL's %20 is decoded once.
  const std::string chosen = m_dir.File("dl/My %41 file.zip");
  Answer({"ok", chosen});

  testenv::RunResult bind = Run("urlbind", {nginx.Url("a%20b.zip")});
  EXPECT_EQ(0, bind.exitCode) << bind.output;
  EXPECT_NE(std::string::npos, bind.output.find("taken over by ZKS"));
  ExpectDelivered(nginx.FilePath("a b.zip"), chosen);
  EXPECT_EQ("a b.zip from " + testenv::kServerHost + ":" + std::to_string(nginx.Port()),
            testenv::JsonString(Log("download-choice")[0], "text"));
}

// Installed with https allowed and the private CA named by CAFile, an https
// .zip goes the way an http one does, down to the bytes.
TEST_F(HandoffTest, UrlbindHandsAnHttpsZipToKestrion) {
  if (!TlsAvailable()) GTEST_SKIP() << "built without TLS";
  testenv::TlsNginxServer nginx;
  ASSERT_TRUE(nginx.Running()) << nginx.Error();
  testenv::SetRegistryString(HKEY_LOCAL_MACHINE, kProgramKey, "CAFile", testenv::TestCertificates::Shared().CAFile());
  testenv::WriteFile(nginx.FilePath("setup.zip"), testenv::PatternBytes(130000, 8));
  const std::string chosen = m_dir.File("dl/setup.zip");
  Answer({"ok", chosen});

  testenv::RunResult bind = Run("urlbind", {nginx.Url("setup.zip")});
  EXPECT_EQ(0, bind.exitCode) << bind.output;
  ExpectDelivered(nginx.FilePath("setup.zip"), chosen);
}

TEST_F(HandoffTest, UrlbindHandsAnFtpFileToKestrion) {
  if (!testenv::VsftpdServer::Available()) GTEST_SKIP() << testenv::VsftpdServer::kBinary << " is not installed";
  testenv::VsftpdServer vsftpd;
  ASSERT_TRUE(vsftpd.Running()) << vsftpd.Error();
  vsftpd.AddFile("tools.gz", testenv::PatternBytes(150000, 9));
  const std::string chosen = m_dir.File("dl/tools.gz");
  Answer({"ok", chosen});

  testenv::RunResult bind = Run("urlbind", {vsftpd.Url("tools.gz")});
  EXPECT_EQ(0, bind.exitCode) << bind.output;
  ExpectDelivered(vsftpd.FilePath("tools.gz"), chosen);
}

TEST_F(HandoffTest, NothingStartsUnlessTheUserSaves) {
  const struct {
    const char* url;
    const char* answer;
    int exitCode;
    size_t offers;
  } cases[] = {
      {"http://127.0.0.1:9/x.zip", "regular", 2, 1},
      {"http://127.0.0.1:9/x.zip", "cancel", 1, 1},
      {"http://127.0.0.1:9/page.htm", "", 2, 0},
      // Installed with https allowed: offered as http is.
      {"https://127.0.0.1:9/x.zip", "cancel", 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.url) + " " + c.answer);
    testenv::WriteFile(m_dir.File("ui.log"), "");
    Answer({c.answer});
    testenv::RunResult bind = Run("urlbind", {c.url});
    EXPECT_EQ(c.exitCode, bind.exitCode) << bind.output;
    EXPECT_EQ(c.offers, Log("download-choice").size());
    EXPECT_TRUE(Log("save-file").empty());
  }
  EXPECT_TRUE(Log("message").empty());
  // On a console with nobody at a terminal to ask, the offer is cancelled.
  m_env["KESTRION_UI"] = "console";
  const testenv::RunResult unasked = Run("urlbind", {"http://127.0.0.1:9/x.zip"});
  EXPECT_EQ(1, unasked.exitCode) << unasked.output;
  EXPECT_NE(std::string::npos, unasked.output.find("[c]ancel: c\n")) << unasked.output;
}

TEST_F(HandoffTest, DispcallHandsAnHttpZipToKestrion) {
  if (!testenv::NginxServer::Available()) GTEST_SKIP() << testenv::NginxServer::kBinary << " is not installed";
  testenv::NginxServer nginx;
  ASSERT_TRUE(nginx.Running()) << nginx.Error();
  testenv::WriteFile(nginx.FilePath("setup.zip"), testenv::PatternBytes(90000, 3));
  const std::string chosen = m_dir.File("dl/setup.zip");
  Answer({"ok", chosen});

  testenv::RunResult call =
      Run("dispcall", {"KSNS.Protocol.1", "Initialize", "", nginx.Url("setup.zip"), "--", "Open", ""});
  EXPECT_EQ(0, call.exitCode) << call.output;
  EXPECT_NE(std::string::npos, call.output.find("Initialize: 1\nOpen: (no result)\n")) << call.output;
  ExpectDelivered(nginx.FilePath("setup.zip"), chosen);
}

// kestrion-install allows https and hooks it; the libraries then offer an
// https URL as an http one and start kestrion with the same line. With
// --no-https the switch is 0 and https stays the browser's.
TEST_F(HandoffTest, HttpsIsHandedOverOnlyWhenInstalledWithIt) {
  const std::string url = "https://127.0.0.1:9/set%20up.zip";
  const std::string chosen = m_dir.File("dl/set up.zip");
  for (const bool https : {true, false}) {
    SCOPED_TRACE(https ? "installed" : "installed with --no-https");
    if (!https) {
      ASSERT_EQ(0, Run("kestrion-install", {"--no-https"}).exitCode);
    }
    const bool on = https && TlsAvailable();
    DWORD allowed = 9;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_LOCAL_MACHINE, kProgramKey, &key));
    EXPECT_TRUE(RegGetDword(key, "AllowHTTPS", &allowed));
    RegCloseKey(key);
    EXPECT_EQ(on ? 1u : 0u, allowed);
    EXPECT_EQ(on, RegistryString(HKEY_CLASSES_ROOT, "PROTOCOLS\\Name-Space Handler\\https\\ZKS", "CLSID").has_value());
    testenv::WriteFile(m_dir.File("ui.log"), "");
    Answer({"cancel", "ok", chosen});
    EXPECT_EQ(on ? 1 : 2, Run("urlbind", {url}).exitCode);
    if (!on) {
      const std::string output = Run("dispcall", {"KSNS.Protocol.1", "Initialize", "", url}).output;
      EXPECT_NE(std::string::npos, output.find("Initialize: 0\n")) << output;
      EXPECT_TRUE(Log("download-choice").empty());
      continue;
    }
    std::filesystem::create_directories(m_dir.File("recorder"));
    testenv::LaunchRecorder recorder(m_dir.File("recorder/kestrion"), m_dir.File("launched"));
    testenv::SetRegistryString(HKEY_LOCAL_MACHINE, kProgramKey, "EXELOCATION", recorder.Program());
    testenv::RunResult call = Run("dispcall", {"KSNS.Protocol.1", "Initialize", "", url, "--", "Open", ""});
    EXPECT_NE(std::string::npos, call.output.find("Initialize: 1\nOpen: (no result)\n")) << call.output;
    EXPECT_EQ(2u, Log("download-choice").size());
    EXPECT_EQ(url + " " + chosen, recorder.AwaitArgument());
  }
}

TEST_F(HandoffTest, DispcallSaysWhatFailed) {
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char* output;
  } cases[] = {
      {{"KSNS.Protocol.1", "Initialize", "", "http://h/a.gz"}, 0, "Initialize: 0\n"},
      {{"KSNS.Protocol.1", "Initialize", "", "http://h/a.gz", "--", "Close"}, 1, "Close: no such method"},
      {{"KSNS.Protocol.9", "Open", ""}, 2, "cannot create KSNS.Protocol.9"},
      {{"KSNS.Protocol.1", "Open"}, 3, "Open failed: 0x8002000E"},
      {{"KSNS.Protocol.1"}, 64, "Usage: dispcall"},
  };
  for (const auto& c : cases) {
    testenv::RunResult call = Run("dispcall", c.args);
    EXPECT_EQ(c.exitCode, call.exitCode) << call.output;
    EXPECT_NE(std::string::npos, call.output.find(c.output)) << call.output;
  }
  EXPECT_TRUE(Log("download-choice").empty());
}

// What each library exports, as the dynamic symbol table lists it.
TEST(ServerLibraryExportsTest, OnlyTheEntryPoints) {
  const std::pair<const char*, std::vector<std::string>> libraries[] = {
      {"ksie.so", {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"}},
      {"ksns.so", {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer"}},
  };
  testenv::ScratchDir dir;
  for (const auto& [library, expected] : libraries) {
    testenv::RunResult nm =
        testenv::RunProgram("/usr/bin/nm", {"-D", "--defined-only", testenv::BuildFolder() + "/" + library}, dir.Path(),
                            {}, std::chrono::seconds(60));
    ASSERT_EQ(0, nm.exitCode) << nm.output;
    std::vector<std::string> names;
    std::istringstream lines(nm.output);
    for (std::string address, type, name; lines >> address >> type >> name;) names.push_back(name);
    EXPECT_EQ(expected, names) << library;
  }
}

}  // namespace

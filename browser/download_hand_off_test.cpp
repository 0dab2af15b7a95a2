#include "browser/download_hand_off.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "browser/browser_host.h"
#include "platform/registry/registry.h"
#include "platform/ui/ui_console_backend.h"
#include "platform/ui/ui_script_backend.h"
#include "tests/support/launch_recorder.h"
#include "tests/support/registry_values.h"
#include "tests/support/test_env.h"

namespace {

using testenv::SetRegistryString;

constexpr char kProgramKey[] = "SOFTWARE\\Morvane\\Kestrion";

DownloadRequest Request(const char* url, const char* mime = "") {
  DownloadRequest request;
  request.url = url;
  request.mime = mime;
  return request;
}

// The hand-off with the script UI, a private registry and a recorder
// installed as kestrion.
class DownloadHandOffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KESTRION_REGISTRY", m_dir.File("registry").c_str(), 1);
    m_previousUI = SetUIBackend(std::make_unique<UIScriptBackend>(m_dir.File("ui.log"), m_dir.File("answers")));
    SetRegistryString(HKEY_LOCAL_MACHINE, kProgramKey, "EXELOCATION", m_recorder.Program());
  }
  void TearDown() override {
    SetUIBackend(std::move(m_previousUI));
    unsetenv("KESTRION_REGISTRY");
  }

  size_t Offers() const { return testenv::LogLinesOfKind(m_dir.File("ui.log"), "download-choice").size(); }

  testenv::ScratchDir m_dir;
  testenv::LaunchRecorder m_recorder{m_dir.File("kestrion"), m_dir.File("launched")};
  std::unique_ptr<UIBackend> m_previousUI;
};

TEST_F(DownloadHandOffTest, AnswersAsTheUserAndTheOfferDecide) {
  const std::string chosen = m_dir.File("a.zip");
  const struct {
    const char* url;
    const char* mime;
    std::string answers;
    HostAnswer answer;
    size_t offers;
  } cases[] = {
      {"http://h/a.zip", "application/zip", "ok\n" + chosen + "\n", HostAnswer::kTaken, 1},
      {"http://h/setup.exe", "application/x-msdos-program", "ok\n" + chosen + "\n", HostAnswer::kTaken, 1},
      {"http://h/a.zip", "Application/Octet-Stream; x=1", "ok\n" + chosen + "\n", HostAnswer::kTaken, 1},
      {"http://h/a.arj", "application/x-arj", "regular\n", HostAnswer::kBrowser, 1},
      {"http://h/a.zip", "", "cancel\n", HostAnswer::kCancelled, 1},
      {"http://h/a.zip", "application/zip", "ok\ncancel\n", HostAnswer::kCancelled, 1},
      // Not offered: the type, the extension, the scheme, no path after the host.
      {"http://h/a.zip", "text/html", "", HostAnswer::kBrowser, 0},
      {"http://h/a.gz", "application/gzip", "", HostAnswer::kBrowser, 0},
      {"http://h/a.gz", "", "", HostAnswer::kBrowser, 0},
      {"https://h/a.zip", "application/zip", "", HostAnswer::kBrowser, 0},
      {"blob:http://h/a.zip", "", "", HostAnswer::kBrowser, 0},
      {"http://www.host.zip", "", "", HostAnswer::kBrowser, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.url) + " " + c.mime + " " + c.answers);
    std::filesystem::remove(m_dir.File("launched"));
    testenv::WriteFile(m_dir.File("ui.log"), "");
    testenv::WriteFile(m_dir.File("answers"), c.answers);
    DownloadHandOff handOff;
    EXPECT_EQ(c.answer, handOff.Offer(Request(c.url, c.mime)));
    EXPECT_EQ(c.offers, Offers());
    if (c.answer == HostAnswer::kTaken) {
      EXPECT_EQ(std::string(c.url) + " " + chosen, m_recorder.AwaitArgument());
    }
  }
}

// Whatever leaves kestrion unstarted, unless the user said no, leaves the
// download to the browser.
TEST_F(DownloadHandOffTest, TheBrowserKeepsWhatKestrionCannotTake) {
  SetRegistryString(HKEY_CLASSES_ROOT, "MIME\\Database\\Content Type\\application/x-zip-compressed", "CLSID", "{0}");
  DownloadHandOff handOff;
  EXPECT_EQ(HostAnswer::kBrowser, handOff.Offer(Request("http://h/a.zip", "application/zip")));

  SetRegistryString(HKEY_LOCAL_MACHINE, kProgramKey, "EXELOCATION", m_dir.File("missing/kestrion"));
  testenv::WriteFile(m_dir.File("answers"), "ok\n" + m_dir.File("a.exe") + "\n");
  EXPECT_EQ(HostAnswer::kBrowser, handOff.Offer(Request("http://h/a.exe")));
  EXPECT_EQ(1u, Offers());

  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_LOCAL_MACHINE, kProgramKey, &key));
  RegDeleteValue(key, "EXELOCATION");
  RegCloseKey(key);
  EXPECT_EQ(HostAnswer::kBrowser, handOff.Offer(Request("http://h/a.exe")));
  EXPECT_EQ(1u, Offers()) << "nobody is asked when there is no kestrion";

  std::FILE* nobody = std::fopen("/dev/null", "r+");
  ASSERT_NE(nullptr, nobody);
  SetUIBackend(std::make_unique<UIConsoleBackend>(fileno(nobody), fileno(nobody), fileno(nobody)));
  EXPECT_EQ(HostAnswer::kBrowser, handOff.Offer(Request("http://h/a.zip", "application/zip")))
      << "with nobody to ask, the download stays with the browser";
  SetUIBackend(nullptr);
  std::fclose(nobody);
}

TEST(BrowserHostTest, ReadsTheRequestOrRepliesWithAnError) {
  const struct {
    NativeMessage message;
    const char* reply;
  } cases[] = {
      {{NativeMessage::kMessage, "[]"}, R"({"error":"The message is not a JSON object of strings and numbers."})"},
      {{NativeMessage::kTooLong, ""}, R"({"error":"The message is longer than 1 MiB."})"},
      {{NativeMessage::kTruncated, ""}, R"({"error":"The message ended before its length."})"},
  };
  for (const auto& c : cases) {
    std::string reply;
    EXPECT_FALSE(RequestOf(c.message, &reply));
    EXPECT_EQ(c.reply, reply);
  }
  std::string reply;
  const auto request = RequestOf({NativeMessage::kMessage, R"({"url":"http://h/a.zip"})"}, &reply);
  ASSERT_TRUE(request);
  EXPECT_EQ("", reply);
  EXPECT_EQ(R"({"answer":"cancelled"})", AnswerReply(HostAnswer::kCancelled));
}

}  // namespace

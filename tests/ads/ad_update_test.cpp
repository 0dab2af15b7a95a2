// The banner updater inside the real program: a user's download that is
// large enough brings the ad site's banners into ADFiles, and a download that
// ends while a banner is still coming ends the program as usual.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "tests/support/ad_install.h"
#include "tests/support/http_test_server.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_env.h"

namespace {

using testenv::HttpReply;
using testenv::HttpRequest;
using testenv::HttpTestServer;

// Holds the calling server thread until the condition holds (at most 30 s).
void WaitUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 3000 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

class AdUpdateRun : public ::testing::Test {
 protected:
  struct Outcome {
    int exitCode = -1;
    std::vector<std::string> messages;
    std::string output;
  };

  void SetUp() override { std::filesystem::create_directories(WorkDir()); }

  std::string WorkDir() const { return m_dir.File("work"); }

  // The user's download: a file on a scripted server whose ranges after the
  // first are held back until `ready` holds, so the download is still under
  // way at that point whatever the machine's speed.
  void ServeUserFile(size_t size, std::function<bool()> ready) {
    m_userFile = std::make_unique<HttpTestServer>(testenv::PatternBytes(size, 7));
    m_userFile->SetHandler([ready](const HttpRequest& request) {
      if (request.index > 0) WaitUntil(ready);
      return HttpReply();
    });
  }

  Outcome RunKestrion() {
    const std::string log = m_dir.File("ui.log");
    std::map<std::string, std::string> env = m_install.RegistryEnv();
    env.insert({{"KESTRION_UI", "script"}, {"KESTRION_UI_LOG", log}});
    const testenv::RunResult run =
        testenv::RunKestrion({m_userFile->URL(), m_dir.File("user.bin")}, WorkDir(), env, std::chrono::seconds(90));
    Outcome outcome{run.exitCode, {}, run.output};
    for (const std::string& line : testenv::LogLinesOfKind(log, "message"))
      outcome.messages.push_back(testenv::JsonString(line, "text"));
    return outcome;
  }

  void ExpectUserDownloadCompleted(const Outcome& outcome) {
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_EQ(outcome.messages, std::vector<std::string>{"Download [/file.bin] completed successfuly"});
    EXPECT_TRUE(testenv::ReadFile(m_dir.File("user.bin")) == m_userFile->Content());
    EXPECT_TRUE(testenv::ListFiles(WorkDir(), "FFF").empty()) << "temp files left in the working folder";
  }

  testenv::ScratchDir m_dir;
  testenv::AdInstall m_install{m_dir.Path()};
  std::unique_ptr<HttpTestServer> m_userFile;
};

// First run: the site comes from Install.CFG. The list's last line is
// fetched first; the 70000-byte banner comes in four ranges.
TEST_F(AdUpdateRun, ALargeDownloadBringsTheBannersOfTheAdSite) {
  if (!testenv::NginxServer::Available()) GTEST_SKIP() << "skipped: nginx is not installed";
  testenv::NginxServer site;
  ASSERT_TRUE(site.Running()) << site.Error();
  const std::vector<std::pair<std::string, size_t>> banners = {{"a.gif", 3000}, {"b.png", 70000}, {"c.jpg", 1200}};
  std::string list;
  for (const auto& [name, size] : banners) {
    testenv::WriteFile(site.FilePath(name), testenv::PatternBytes(size, static_cast<unsigned>(size)));
    list += site.Url(name) + ",http://" + name + ".example/\r\n";
  }
  testenv::WriteFile(site.FilePath("list.txt"), list);
  m_install.Remove("FT");
  m_install.Remove("AdSite");
  m_install.WriteInstallConfig(testenv::ScrambleAdSite(site.Url("list.txt")) + "\r\n");
  ServeUserFile(1 << 20, [this] { return m_install.Registered().size() == 3; });

  ExpectUserDownloadCompleted(RunKestrion());

  std::map<std::string, std::string> expected;
  for (const auto& [name, size] : banners) {
    const std::string path = m_install.ADFilesDir() + "/" + name;
    expected[path] = "http://" + name + ".example/";
    EXPECT_TRUE(testenv::ReadFile(path) == testenv::ReadFile(site.FilePath(name))) << name;
  }
  EXPECT_EQ(m_install.Registered(), expected);
  EXPECT_EQ(testenv::ListFiles(m_install.ADFilesDir()).size(), banners.size());
  EXPECT_EQ(m_install.Value("FT"), "0");
  EXPECT_EQ(m_install.Value("AdSite"), testenv::ScrambleAdSite(site.Url("list.txt")));
  std::vector<std::string> order;
  for (const std::string& line : site.AccessLog()) {
    const size_t get = line.find("|GET /") + 6;
    const std::string path = line.substr(get, line.find(' ', get) - get);
    if (std::find(order.begin(), order.end(), path) == order.end()) order.push_back(path);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"list.txt", "c.jpg", "b.png", "a.gif"}));
}

TEST_F(AdUpdateRun, AUserDownloadEndingMidBannerEndsTheProgramAndLeavesNothing) {
  HttpTestServer site;
  site.SetHandler([&site](const HttpRequest& request) {
    HttpReply reply;
    if (request.target == "/list") {
      reply.body = site.URL("/slow.gif") + ",http://slow.example/\n";
    } else {
      reply.body = std::string(40000, 's');
      reply.endAfter = 1000;
      reply.end = HttpReply::End::kStall;
    }
    return reply;
  });
  m_install.SetAdSite(site.URL("/list"));
  ServeUserFile(300000, [&site] { return site.Requests().size() == 2; });

  ExpectUserDownloadCompleted(RunKestrion());

  ASSERT_EQ(site.Requests().size(), 2u);
  EXPECT_EQ(site.Requests()[1].target, "/slow.gif");
  EXPECT_TRUE(testenv::ListFiles(m_install.ADFilesDir()).empty());
  EXPECT_TRUE(m_install.Registered().empty());
}

}  // namespace

// The banner updater inside the real program: a large download brings the ad
// site's banners into ADFiles, and a download that ends while a banner is
// still coming ends the program as usual, leaving nothing of the banner.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

class AdUpdateRun : public ::testing::Test {
 protected:
  // Runs kestrion on a file of the user's whose ranges after the first are
  // held back (up to 30 s) until `ready` holds, so that the download is still
  // under way then, however fast the machine. Expects it to succeed as usual.
  void DownloadUserFile(size_t size, const std::function<bool()>& ready) {
    HttpTestServer userFile(testenv::PatternBytes(size, 7));
    userFile.SetHandler([&ready](const HttpRequest& request) {
      for (int i = 0; i < 3000 && request.index > 0 && !ready(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return HttpReply();
    });
    const testenv::RunResult run = testenv::RunKestrion(
        {userFile.URL(), m_dir.File("user.bin")}, m_dir.Path(),
        {{"KESTRION_UI", "script"}, {"KESTRION_UI_LOG", Log()}, {"KESTRION_REGISTRY", m_install.RegistryDir()}},
        std::chrono::seconds(90));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    std::vector<std::string> messages;
    for (const std::string& line : testenv::LogLinesOfKind(Log(), "message"))
      messages.push_back(testenv::JsonString(line, "text"));
    EXPECT_EQ(messages, std::vector<std::string>{"Download [/file.bin] completed successfuly"});
    EXPECT_TRUE(testenv::ReadFile(m_dir.File("user.bin")) == userFile.Content());
    EXPECT_TRUE(testenv::ListFiles(m_dir.Path(), "FFF").empty()) << "temp files left in the working folder";
  }

  std::string Log() const { return m_dir.File("ui.log"); }
  // The states of the user's window as the log has them, each cut to the
  // banner pictures it turns through, changes only. That window is the
  // program's first; the updater's downloads have hidden windows of their own.
  std::vector<std::string> BannerLists() const {
    std::vector<std::string> lists;
    for (const std::string& line : testenv::LogLinesOfKind(Log(), "window")) {
      if (line.find("\"window\":1}") == std::string::npos) continue;
      const size_t begin = line.find("\"adFiles\":[");
      const std::string list = begin == std::string::npos ? "" : line.substr(begin, line.find(']', begin) + 1 - begin);
      if (lists.empty() || lists.back() != list) lists.push_back(list);
    }
    return lists;
  }

  testenv::ScratchDir m_dir;
  testenv::AdInstall m_install{m_dir.Path()};
};

// A first run (the site comes from Install.CFG). The list's last line is
// fetched first; the 70000-byte banner comes in four ranges. The window
// opens with no banner and takes the three in when the updater is done.
TEST_F(AdUpdateRun, ALargeDownloadBringsTheBannersOfTheAdSite) {
  if (!testenv::NginxServer::Available()) GTEST_SKIP() << "skipped: nginx is not installed";
  testenv::NginxServer site;
  ASSERT_TRUE(site.Running()) << site.Error();
  std::map<std::string, std::string> expected;
  std::string list;
  for (const auto& [name, size] : {std::pair{"a.gif", 3000}, {"b.png", 70000}, {"c.jpg", 1200}}) {
    testenv::WriteFile(site.FilePath(name), testenv::PatternBytes(size, size));
    list += site.Url(name) + ",http://" + name + ".example/\r\n";
    expected[m_install.ADFilesDir() + "/" + name] = "http://" + std::string(name) + ".example/";
  }
  testenv::WriteFile(site.FilePath("list.txt"), list);
  m_install.Remove("FT");
  m_install.Remove("AdSite");
  m_install.WriteInstallConfig(testenv::ScrambleAdSite(site.Url("list.txt")) + "\r\n");

  DownloadUserFile(1 << 20, [this] { return BannerLists().size() == 2; });

  const std::string dir = m_install.ADFilesDir();
  const std::string reloaded = "\"adFiles\":[\"" + dir + "/c.jpg\",\"" + dir + "/b.png\",\"" + dir + "/a.gif\"]";
  EXPECT_EQ(BannerLists(), (std::vector<std::string>{"\"adFiles\":[]", reloaded}));

  EXPECT_EQ(m_install.Registered(), expected);
  for (const auto& [path, link] : expected)
    EXPECT_TRUE(testenv::ReadFile(path) == testenv::ReadFile(site.FilePath(path.substr(path.rfind('/') + 1))));
  EXPECT_EQ(testenv::ListFiles(m_install.ADFilesDir()).size(), 3u);
  EXPECT_EQ(m_install.Value("FT"), "0");
  EXPECT_EQ(m_install.Value("AdSite"), testenv::ScrambleAdSite(site.Url("list.txt")));
  std::vector<std::string> order;
  for (const std::string& line : site.AccessLog()) {
    const size_t path = line.find("|GET /") + 6;
    const std::string name = line.substr(path, line.find(' ', path) - path);
    if (std::find(order.begin(), order.end(), name) == order.end()) order.push_back(name);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"list.txt", "c.jpg", "b.png", "a.gif"}));
}

// The updater's background downloads are silent, their failure to connect
// too: the user sees the one message of the download.
TEST_F(AdUpdateRun, AnAdSiteThatCannotBeReachedShowsNothing) {
  for (const char* scheme : {"http", "ftp"}) {
    SCOPED_TRACE(scheme);
    std::remove(Log().c_str());
    m_install.SetAdSite(std::string(scheme) + "://127.0.0.1:" + std::to_string(testenv::FreeLoopbackPort()) + "/list.txt");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    DownloadUserFile(1 << 20, [until] { return std::chrono::steady_clock::now() > until; });
  }
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

  DownloadUserFile(300000, [&site] { return site.Requests().size() == 2; });

  ASSERT_EQ(site.Requests().size(), 2u);
  EXPECT_EQ(site.Requests()[1].target, "/slow.gif");
  EXPECT_EQ(testenv::ListFiles(m_install.ADFilesDir()), std::vector<std::string>{});
  EXPECT_EQ(m_install.Registered(), (std::map<std::string, std::string>{}));
}

}  // namespace

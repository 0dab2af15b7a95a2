// Downloads from a real Apache httpd on a port other than 80.
#include <gtest/gtest.h>

#include "tests/http/download_fixture.h"
#include "tests/support/apache_server.h"

namespace {

using testenv::ApacheServer;

class ApacheDownloadTest : public DownloadTest {
 protected:
  void SetUp() override { ASSERT_TRUE(apache.Running()) << apache.Error(); }
  ApacheServer apache;
};

// Apache answers a folder named without its slash with a redirect that it
// builds from the Host line: the port must be in it, or the download goes
// to port 80.
TEST_F(ApacheDownloadTest, AFolderRedirectKeepsThePort) {
  const std::string page = testenv::PatternBytes(70000, 71);
  apache.AddFile("dir/index.html", page);
  const Outcome outcome = Run(apache.Url("/dir"), "out.bin");
  ExpectSuccess(outcome, "/dir/");
  ExpectFileHolds("out.bin", page);
  const std::vector<std::string> log = apache.AccessLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front().substr(0, 4), "301|");
  EXPECT_EQ(log.front().substr(log.front().rfind('|')), "|GET /dir HTTP/1.1");
  EXPECT_EQ(log.size(), 5u) << "the redirect, then the page in four ranges";
}

}  // namespace

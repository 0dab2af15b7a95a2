// Downloads over IPv6: a literal in brackets, and a name that resolves to
// IPv6 alone.
#include <gtest/gtest.h>

#include "tests/http/download_fixture.h"
#include "tests/support/http_test_server.h"
#include "tests/support/ipv6_only_name.h"

namespace {

using testenv::HttpTestServer;

class Ipv6Test : public DownloadTest {
 protected:
  // Four connections, each naming the host and port it asked as Host.
  void ExpectDownloadedFrom(HttpTestServer& server, const std::string& url, const std::string& host) {
    const Outcome outcome = Run(url, "out.bin");
    ExpectSuccess(outcome, "/file.bin");
    ExpectFileHolds("out.bin", server.Content());
    ASSERT_EQ(server.Requests().size(), 4u);
    for (const auto& request : server.Requests()) EXPECT_EQ(request.Header("Host"), host);
  }
};

TEST_F(Ipv6Test, ALiteralInBracketsIsDownloaded) {
  HttpTestServer server(testenv::PatternBytes(100000, 101), true);
  ExpectDownloadedFrom(server, server.URL(), "[::1]:" + std::to_string(server.Port()));
}

TEST_F(Ipv6Test, ANameThatResolvesOnlyToIPv6IsDownloaded) {
  testenv::Ipv6OnlyName name;
  if (name.Name().empty()) GTEST_SKIP() << "skipped: " << name.Why();
  HttpTestServer server(testenv::PatternBytes(100000, 102), true);
  const std::string authority = name.Name() + ":" + std::to_string(server.Port());
  ExpectDownloadedFrom(server, "http://" + authority + "/file.bin", authority);
}

}  // namespace

// Downloads over https from real servers (nginx, Apache's mod_ssl) and a
// scripted one, with the test CA trusted through CAFile: the same bytes,
// requests and checks as over http, and every failure of the secure channel
// an abort that names it, before a byte is sent or written.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "platform/net/tls_channel.h"
#include "tests/http/download_fixture.h"
#include "tests/support/http_test_server.h"
#include "tests/support/old_tls_server.h"
#include "tests/support/tls_apache_server.h"
#include "tests/support/tls_nginx_server.h"
#include "tests/support/tls_test_server.h"
#include "tests/support/loopback.h"

namespace {

using testenv::TestCertificates;
using testenv::TlsTestServer;
using Kind = TestCertificates::Kind;

constexpr char kCertificateNotVerified[] = "The server's certificate could not be verified: ";

// Status and range of each logged request, sorted: what was sent depends on
// how much the server had pushed out before a connection closed.
std::vector<std::string> StatusAndRanges(const std::vector<std::string>& log) {
  std::vector<std::string> seen;
  for (const std::string& line : log) seen.push_back(line.substr(0, line.find('|', line.find('|') + 1)));
  std::sort(seen.begin(), seen.end());
  return seen;
}

class HttpsTest : public DownloadTest {
 protected:
  void SetUp() override {
    if (!TlsAvailable()) GTEST_SKIP() << "skipped: built without TLS";
    ASSERT_TRUE(TestCertificates::Shared().Error().empty()) << TestCertificates::Shared().Error();
    SetSwitch("1");
  }

  // The program's key: the test CA as CAFile, AllowHTTPS as given ("" leaves it out).
  void SetSwitch(const std::string& allow) {
    std::string key = "Windows Registry Editor Version 5.00\r\n\r\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvane\\Kestrion]\r\n\"CAFile\"=\"" +
                      TestCertificates::Shared().CAFile() + "\"\r\n";
    if (!allow.empty()) key += "\"AllowHTTPS\"=dword:0000000" + allow + "\r\n";
    std::filesystem::create_directories(Path("registry"));
    testenv::WriteFile(Path("registry/HKEY_LOCAL_MACHINE.reg"), key);
  }

  void ExpectNothingLeft(const std::string& destination) {
    ExpectNoPieces();
    EXPECT_FALSE(std::filesystem::exists(Path(destination))) << destination;
  }
};

TEST_F(HttpsTest, RealServersServeExactBytesOnFourConnectionsAboveTheSplit) {
  testenv::TlsNginxServer nginx;
  testenv::TlsApacheServer apache;
  ASSERT_TRUE(nginx.Running()) << nginx.Error();
  ASSERT_TRUE(apache.Running()) << apache.Error();
  const struct {
    const char* server;
    std::function<std::string(const std::string&)> url;
    std::function<void(const std::string&, const std::string&)> serve;
    std::function<std::vector<std::string>()> log;
  } servers[] = {
      {"nginx", [&](const std::string& name) { return nginx.Url(name); },
       [&](const std::string& name, const std::string& data) { testenv::WriteFile(nginx.FilePath(name), data); },
       [&] { return nginx.AccessLog(); }},
      {"apache", [&](const std::string& name) { return apache.Url("/" + name); },
       [&](const std::string& name, const std::string& data) { apache.AddFile(name, data); },
       [&] { return apache.AccessLog(); }},
  };
  const struct {
    int size;
    std::vector<std::string> requests;
  } sizes[] = {
      {50000, {"206|bytes=0-"}},
      {1 << 20,
       {"206|bytes=0-", "206|bytes=262144-524287", "206|bytes=524288-786431", "206|bytes=786432-1048575"}},
  };
  for (const auto& server : servers) {
    for (const auto& [size, requests] : sizes) {
      const std::string name = "f" + std::to_string(size) + ".bin";
      SCOPED_TRACE(std::string(server.server) + " " + name);
      const std::string content = testenv::PatternBytes(static_cast<size_t>(size), static_cast<unsigned>(size));
      server.serve(name, content);
      const size_t before = server.log().size();
      Outcome outcome = Run(server.url(name), Path(name), std::chrono::seconds(30));
      ExpectSuccess(outcome, "/" + name);
      ExpectFileHolds(name, content);
      const std::vector<std::string> log = server.log();
      EXPECT_EQ(StatusAndRanges({log.begin() + static_cast<std::ptrdiff_t>(before), log.end()}), requests);
    }
  }
}

// A stream cut short (a reset, or a close without the server's
// close_notify) is asked again for what is missing, also when no length
// said that anything was: such a close is no end of the file.
TEST_F(HttpsTest, ACutStreamIsResumedWhereItStopped) {
  using Ending = TlsTestServer::Ending;
  const std::string content = testenv::PatternBytes(40000, 21);
  const std::string head = content.substr(0, 10000);
  const std::string told = "HTTP/1.1 200 OK\r\nContent-Length: 40000\r\n\r\n" + head;
  const std::string untold = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + head;
  const TlsTestServer::Exchange rest = {
      "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 10000-39999/40000\r\nContent-Length: 30000\r\n\r\n" +
          content.substr(10000),
      Ending::kCloseNotify};
  const TlsTestServer::Exchange nothingMore = {
      "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */10000\r\nContent-Length: 0\r\n\r\n",
      Ending::kCloseNotify};
  const struct {
    const char* name;
    std::vector<TlsTestServer::Exchange> exchanges;
    std::string expected;
  } cases[] = {
      {"a reset inside the length", {{told, Ending::kReset}, rest}, content},
      {"a plain close inside the length", {{told, Ending::kPlainClose}, rest}, content},
      {"a plain close with no length", {{untold, Ending::kPlainClose}, nothingMore}, head},
      {"a reset with no length", {{untold, Ending::kReset}, nothingMore}, head},
      {"close_notify with no length", {{untold, Ending::kCloseNotify}}, head},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TlsTestServer server(c.exchanges);
    const std::string port = std::to_string(server.Port());
    Outcome outcome = Run("https://" + testenv::kServerHost + ":" + port + "/f.bin", Path("f.bin"));
    ExpectSuccess(outcome, "/f.bin");
    ExpectFileHolds("f.bin", c.expected);
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), c.exchanges.size());
    EXPECT_NE(requests[0].find("\r\nHost: " + testenv::kServerHost + ":" + port + "\r\nRange: bytes=0-\r\n"), std::string::npos);
    if (requests.size() > 1) {
      EXPECT_NE(requests[1].find("\r\nRange: bytes=10000-\r\n"), std::string::npos);
    }
    std::filesystem::remove(Path("f.bin"));
  }
}

// No request reaches a server that is not verified, and nothing is kept.
TEST_F(HttpsTest, AnUnverifiedServerAbortsWithItsReasonAndLeavesNothing) {
  const struct {
    Kind kind;
    std::string reason;
  } cases[] = {
      {Kind::kExpired, std::string(kCertificateNotVerified) + "the certificate has expired"},
      {Kind::kSelfSigned, std::string(kCertificateNotVerified) + "the certificate is self-signed"},
      {Kind::kOtherHost, std::string(kCertificateNotVerified) + "the certificate is not for " + testenv::kServerHost},
      {Kind::kUntrustedIssuer,
       std::string(kCertificateNotVerified) + "the certificate was issued by an authority that is not trusted"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    testenv::TlsNginxServer nginx(c.kind);
    ASSERT_TRUE(nginx.Running()) << nginx.Error();
    testenv::WriteFile(nginx.FilePath("f.bin"), testenv::PatternBytes(70000, 5));
    ExpectAbort(Run(nginx.Url("f.bin"), Path("f.bin")), c.reason);
    ExpectNothingLeft("f.bin");
    EXPECT_TRUE(nginx.AccessLog().empty());
  }
  testenv::OldTlsServer old;
  ASSERT_TRUE(old.Running()) << old.Error();
  ExpectAbort(Run("https://" + testenv::kServerHost + ":" + std::to_string(old.Port()) + "/f.bin", Path("f.bin")),
              "The secure connection failed: the server does not offer TLS 1.2 or 1.3");
  ExpectNothingLeft("f.bin");
}

// Absent or 0, the switch leaves https refused as it always was.
TEST_F(HttpsTest, WithTheSwitchOffHttpsIsRefusedAsBefore) {
  testenv::TlsNginxServer nginx;
  ASSERT_TRUE(nginx.Running()) << nginx.Error();
  testenv::WriteFile(nginx.FilePath("f.bin"), testenv::PatternBytes(1000, 6));
  for (const char* allow : {"", "0"}) {
    SCOPED_TRACE(std::string("AllowHTTPS ") + allow);
    SetSwitch(allow);
    const Outcome outcome = Run(nginx.Url("f.bin"), Path("f.bin"));
    EXPECT_EQ(outcome.messages, std::vector<std::string>{"Could not support this 'scheme'"});
    EXPECT_EQ(outcome.exitCode, 2);
    ExpectNothingLeft("f.bin");
  }
  EXPECT_TRUE(nginx.AccessLog().empty());
}

// http -> https is followed while the switch is on; https -> http never is:
// the clear-text server hears nothing.
TEST_F(HttpsTest, RedirectsMayRaiseTheChannelButNeverLowerIt) {
  testenv::HttpTestServer plain(testenv::PatternBytes(3000, 7));
  const std::string content = testenv::PatternBytes(80000, 8);
  testenv::TlsNginxServer nginx(Kind::kGood, "    location = /down { return 302 " + plain.URL("/f.bin") +
                                "; }\n    location = /same { return 302 /f.bin; }\n"
                                "    location = /ftp { return 302 ftp://127.0.0.1:1/f.bin; }\n");
  ASSERT_TRUE(nginx.Running()) << nginx.Error();
  testenv::WriteFile(nginx.FilePath("f.bin"), content);
  plain.SetHandler([&](const testenv::HttpRequest& request) {
    return request.target == "/up" ? testenv::HttpReply::Redirect(302, nginx.Url("f.bin")) : testenv::HttpReply();
  });
  const struct {
    const char* allow;
    std::string url;
    std::string abortReason;  // empty: the download succeeds
  } cases[] = {
      {"1", plain.URL("/up"), ""},
      {"0", plain.URL("/up"), "Could not support this 'scheme'"},
      {"1", nginx.Url("same"), ""},
      {"1", nginx.Url("down"), "Refused a redirect from https to http"},
      {"1", nginx.Url("ftp"), "Refused a redirect from https to ftp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url + " with AllowHTTPS " + c.allow);
    SetSwitch(c.allow);
    const size_t plainRequests = plain.Requests().size();
    const Outcome outcome = Run(c.url, Path("f.bin"));
    if (c.abortReason.empty()) {
      ExpectSuccess(outcome, "/f.bin");
      ExpectFileHolds("f.bin", content);
      std::filesystem::remove(Path("f.bin"));
    } else {
      ExpectAbort(outcome, c.abortReason);
      ExpectNothingLeft("f.bin");
    }
    if (c.url.rfind("https:", 0) == 0) {
      EXPECT_EQ(plain.Requests().size(), plainRequests);
    }
  }
}

}  // namespace

// How one download is cut into connections, and the exact requests they send.
#include <gtest/gtest.h>

#include "tests/http/download_fixture.h"
#include "tests/support/http_test_server.h"

namespace {

using testenv::HttpReply;
using testenv::HttpRequest;
using testenv::HttpTestServer;

class SplitTest : public DownloadTest {
 protected:
  // Requests sorted by their range start.
  static std::vector<HttpRequest> ByStart(std::vector<HttpRequest> requests) {
    std::sort(requests.begin(), requests.end(),
              [](const HttpRequest& a, const HttpRequest& b) { return a.rangeStart < b.rangeStart; });
    return requests;
  }
};

// The Host line names the port, which is never 80 here.
TEST_F(SplitTest, FirstRequestIsExactlyTheOpenRangeGet) {
  HttpTestServer server(testenv::PatternBytes(1000));
  Outcome outcome = Run(server.URL("/dir/file.bin"), "out.bin");
  ExpectSuccess(outcome, "/dir/file.bin");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].raw,
            "GET /dir/file.bin HTTP/1.1\r\n"
            "Accept: *.*,*/*\r\n"
            "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"
            "Range: bytes=0-\r\n"
            "User-Agent: KS/1.0 beta (kestrion.example)\r\n"
            "\r\n\r\n");
  ExpectFileHolds("out.bin", server.Content());
}

TEST_F(SplitTest, SizeOf50000StaysOnOneConnection) {
  HttpTestServer server(testenv::PatternBytes(50000));
  Outcome outcome = Run(server.URL(), "out.bin");
  ExpectSuccess(outcome, "/file.bin");
  EXPECT_EQ(server.Requests().size(), 1u);
  ExpectFileHolds("out.bin", server.Content());
}

// 206 alone shows range support: no Accept-Ranges line is needed.
TEST_F(SplitTest, SizeOf50001TakesFourConnectionsWithClosedRanges) {
  HttpTestServer server(testenv::PatternBytes(50001));
  server.SetHandler([](const HttpRequest&) {
    HttpReply reply;
    reply.acceptRanges = false;
    return reply;
  });
  Outcome outcome = Run(server.URL(), "out.bin");
  ExpectSuccess(outcome, "/file.bin");
  std::vector<HttpRequest> requests = ByStart(server.Requests());
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].Header("Range"), "bytes=0-");
  EXPECT_EQ(requests[1].Header("Range"), "bytes=12500-25000");
  EXPECT_EQ(requests[2].Header("Range"), "bytes=25000-37500");
  EXPECT_EQ(requests[3].Header("Range"), "bytes=37500-50001");
  ExpectFileHolds("out.bin", server.Content());
  std::vector<std::string> columns = LastConnectionColumns();
  ASSERT_EQ(columns.size(), 10u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(columns[i], "12.2 KB") << "connection " << i + 1;
  EXPECT_EQ(columns[4], ".") << "no fifth connection";
}

TEST_F(SplitTest, WithoutRangeSupportOneConnectionFetchesAll) {
  HttpTestServer server(testenv::PatternBytes(300000));
  server.SetHandler([](const HttpRequest&) {
    HttpReply reply;
    reply.acceptRanges = false;
    reply.honourRange = false;
    return reply;
  });
  Outcome outcome = Run(server.URL(), "out.bin");
  ExpectSuccess(outcome, "/file.bin");
  EXPECT_EQ(server.Requests().size(), 1u);
  ExpectFileHolds("out.bin", server.Content());
}

TEST_F(SplitTest, WithoutContentLengthTheServerCloseEndsTheDownload) {
  HttpTestServer server(testenv::PatternBytes(120000));
  server.SetHandler([](const HttpRequest&) {
    HttpReply reply;
    reply.contentLength = false;
    reply.honourRange = false;
    reply.acceptRanges = false;
    return reply;
  });
  Outcome outcome = Run(server.URL(), "out.bin");
  ExpectSuccess(outcome, "/file.bin");
  EXPECT_EQ(server.Requests().size(), 1u);
  ExpectFileHolds("out.bin", server.Content());
}

// The path goes out as a valid request-target.
TEST_F(SplitTest, PathBytesThatMayNotStandRawAreEncoded) {
  HttpTestServer server(testenv::PatternBytes(10));
  // The command line is unescaped first: "%20" is a blank, "%25zz" a stray %.
  Outcome outcome = Run(server.URL("/dir/a%20b%25zz{x}\"|\xC3\xA9.bin?q=1"), "out.bin");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].target, "/dir/a%20b%25zz%7Bx%7D%22%7C%C3%A9.bin?q=1");
  EXPECT_EQ(outcome.exitCode, 0);
}

}  // namespace

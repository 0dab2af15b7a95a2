// How one download is cut into connections, and the exact requests they send.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>

#include "tests/http/download_fixture.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback.h"

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
            "Host: " + testenv::kServerHost + ":" + std::to_string(server.Port()) + "\r\n"
            "Range: bytes=0-\r\n"
            "User-Agent: KS/1.0 beta (kestrion.example)\r\n"
            "\r\n");
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
  EXPECT_EQ(requests[1].Header("Range"), "bytes=12500-24999");
  EXPECT_EQ(requests[2].Header("Range"), "bytes=25000-37499");
  EXPECT_EQ(requests[3].Header("Range"), "bytes=37500-50000");
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
  // The command line is unescaped first: "%20" is a blank, "%25zz" and
  // "%2541" a '%' of the name, which goes out as %25.
  Outcome outcome = Run(server.URL("/dir/a%20b%25zz%2541{x}\"|\xC3\xA9.bin?q=1"), "out.bin");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].target, "/dir/a%20b%25zz%2541%7Bx%7D%22%7C%C3%A9.bin?q=1");
  EXPECT_EQ(outcome.exitCode, 0);
}

// A server that allows fewer connections refuses the later ones for now:
// their ranges wait until another connection ends (and as long as the
// server asks, up to StallSeconds), and the download completes on the
// connections it is given. Only a refusal of the first connection, or of a
// range asked again and again with nothing else running, fails.
TEST_F(SplitTest, RefusedConnectionsWaitForAnotherToEnd) {
  struct Case {
    const char* name;
    int status;
    const char* retryAfter;  // nullptr: no Retry-After line
    int stallSeconds;
    std::function<bool(const HttpRequest&, int timesAsked)> refuse;
    const char* reason;  // nullptr: the download succeeds
  };
  const Case cases[] = {
      {"503 for connections 3 and 4, wait a second", 503, "1", 60,
       [](const HttpRequest& r, int asked) { return r.index >= 2 && asked == 1; }, nullptr},
      {"429 for connections 2 to 4", 429, nullptr, 60,
       [](const HttpRequest& r, int asked) { return r.rangeStart > 0 && asked == 1; }, nullptr},
      {"a wait beyond StallSeconds", 503, "3600", 2,
       [](const HttpRequest& r, int asked) { return r.index == 3 && asked == 1; }, nullptr},
      {"503 for connection 1", 503, nullptr, 60, [](const HttpRequest& r, int) { return r.index == 0; },
       "Request failed - HTTP/1.1 503 Service Unavailable"},
      {"503 for every other connection, always", 503, nullptr, 60,
       [](const HttpRequest& r, int) { return r.rangeStart > 0; },
       "Request failed - HTTP/1.1 503 Service Unavailable"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetStallSeconds(c.stallSeconds);
    HttpTestServer server(testenv::PatternBytes(200000, 17));
    std::mutex lock;
    std::map<int64_t, int> asked;
    std::map<int64_t, std::chrono::steady_clock::time_point> refusedAt;
    std::vector<std::chrono::steady_clock::duration> waits;
    server.SetHandler([&](const HttpRequest& request) {
      std::lock_guard<std::mutex> hold(lock);
      const auto now = std::chrono::steady_clock::now();
      if (refusedAt.count(request.rangeStart)) waits.push_back(now - refusedAt[request.rangeStart]);
      HttpReply reply;
      reply.bodyPause = std::chrono::milliseconds(200);  // the others are still delivering
      if (c.refuse(request, ++asked[request.rangeStart])) {
        refusedAt[request.rangeStart] = now;
        reply.status = c.status;
        reply.body = "busy";
        reply.bodyPause = {};
        if (c.retryAfter) reply.headers = {std::string("Retry-After: ") + c.retryAfter};
      }
      return reply;
    });
    const auto started = std::chrono::steady_clock::now();
    Outcome outcome = Run(server.URL(), "out.bin");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    if (c.reason) {
      ExpectAbort(outcome, c.reason);
      continue;
    }
    ExpectSuccess(outcome, "/file.bin");
    ExpectFileHolds("out.bin", server.Content());
    EXPECT_EQ(waits.size(), refusedAt.size()) << "each refused range asked once more";
    const auto least = std::chrono::seconds(c.retryAfter ? std::min(std::atoi(c.retryAfter), c.stallSeconds) : 0);
    for (const auto wait : waits) EXPECT_GE(wait, least - std::chrono::milliseconds(50));
    std::filesystem::remove(Path("out.bin"));
  }
}

}  // namespace

// What the response header makes of a download: header forms, statuses that
// end it, and statuses that are not the file.
#include <gtest/gtest.h>

#include "tests/http/download_fixture.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback.h"

namespace {

using testenv::HttpReply;
using testenv::HttpRequest;
using testenv::HttpTestServer;

class StatusTest : public DownloadTest {
 protected:
  Outcome RunWith(HttpTestServer& server, HttpReply reply) {
    server.SetHandler([reply](const HttpRequest&) { return reply; });
    return Run(server.URL(), "out.bin");
  }
};

// LF-only lines, and heads whose end is split between two sends at every
// byte of the empty line; the body that arrives with the end is kept.
TEST_F(StatusTest, HeaderEndsAreFoundWhateverTheLineEndsAndSends) {
  HttpTestServer server(testenv::PatternBytes(3000, 9));
  for (const std::string lineEnd : {"\r\n", "\n"}) {
    for (size_t fromEnd = 0; fromEnd <= 2 * lineEnd.size(); ++fromEnd) {
      HttpReply reply;
      reply.lineEnd = lineEnd;
      reply.rawHead = "HTTP/1.1 200 OK" + lineEnd + "Content-Length: 3000" + lineEnd + "Server: scripted" +
                      lineEnd + lineEnd;
      reply.splitHeadAt = reply.rawHead->size() - fromEnd;
      SCOPED_TRACE("line end of " + std::to_string(lineEnd.size()) + " bytes, split " +
                   std::to_string(fromEnd) + " bytes before the end");
      ExpectSuccess(RunWith(server, reply), "/file.bin");
      ExpectFileHolds("out.bin", server.Content());
    }
  }
}

TEST_F(StatusTest, ABodyAfterAnLFOnlyHeaderMayHoldCRLFs) {
  const std::string body = "ab\n\r\ncd\r\n\r\nef";
  HttpTestServer server(body);
  HttpReply reply;
  // One send, so header and body arrive in one block.
  reply.rawHead = "HTTP/1.1 200 OK\nContent-Length: " + std::to_string(body.size()) + "\n\n" + body;
  reply.body = "";
  ExpectSuccess(RunWith(server, reply), "/file.bin");
  ExpectFileHolds("out.bin", body);
}

// However many interim responses come first, each is passed over where it
// stands: a flood of them costs no more than its bytes.
TEST_F(StatusTest, InterimResponsesAreSkippedAtTheCostOfTheirBytes) {
  HttpTestServer server(testenv::PatternBytes(500));
  for (const size_t count : {1, 600000}) {
    SCOPED_TRACE(std::to_string(count) + " interim responses");
    std::string interims;
    for (size_t i = 0; i < count; ++i) interims += "HTTP/1.1 100 Continue\r\n\r\n";
    HttpReply reply;
    reply.rawHead = interims + "HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n";
    const auto started = std::chrono::steady_clock::now();
    ExpectSuccess(RunWith(server, reply), "/file.bin");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    ExpectFileHolds("out.bin", server.Content());
  }
}

TEST_F(StatusTest, StatusesTheDownloadCannotUseAbortWithTheirTexts) {
  HttpTestServer server(testenv::PatternBytes(500));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"HTTP/1.1 404 Not Found", "Error 404 - FILE NOT FOUND"},
      {"HTTP/1.1 401 Unauthorized", "Authentication is not supported, please use regular download"},
      {"HTTP/1.1 304 Not Modified", "Error 304 - NotModified is not supported, please use regular download"},
      {"garbage-without-blanks", "Could not understand Header"},
      {"HTTP/1.1 500 Internal Server Error", "Request failed - HTTP/1.1 500 Internal Server Error"},
      {"HTTP/1.1 403 Forbidden", "Request failed - HTTP/1.1 403 Forbidden"},
      {"HTTP/1.1 410 Gone", "Request failed - HTTP/1.1 410 Gone"},
      {"HTTP/1.1 300 Multiple Choices", "Request failed - HTTP/1.1 300 Multiple Choices"},
      {"HTTP/1.1 305 Use Proxy", "Request failed - HTTP/1.1 305 Use Proxy"},
  };
  for (const auto& [statusLine, reason] : cases) {
    HttpReply reply;
    reply.rawHead = statusLine + "\r\nContent-Length: 9\r\n\r\n";
    reply.body = "error-page";
    Outcome outcome = RunWith(server, reply);
    ExpectAbort(outcome, reason);
    EXPECT_FALSE(testenv::FileExists(Path("out.bin"))) << statusLine << ": an error page is not the file";
  }
}

// The first reply has no size and is reset at its very end; the resume asks
// from there and the server says nothing is left.
TEST_F(StatusTest, NothingLeftToResumeCompletesTheRange) {
  HttpTestServer server(testenv::PatternBytes(2000));
  server.SetHandler([](const HttpRequest& request) {
    HttpReply reply;
    if (request.index == 0) {
      reply.honourRange = false;
      reply.contentLength = false;
      reply.endAfter = 2000;
      reply.end = HttpReply::End::kReset;
    }
    return reply;
  });
  Outcome outcome = Run(server.URL(), "out.bin");
  ExpectSuccess(outcome, "/file.bin");
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].Header("Range"), "bytes=2000-");
  ExpectFileHolds("out.bin", server.Content());
}

// The total is the file's, so the refusal is no sign of a changed file.
TEST_F(StatusTest, AnUnsatisfiableResumedRangeAborts) {
  HttpTestServer server(testenv::PatternBytes(2000));
  server.SetHandler([](const HttpRequest& request) {
    HttpReply reply;
    if (request.index == 0) reply.endAfter = 700;
    if (request.index == 1) {
      reply.rawHead =
          "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */2000\r\nContent-Length: 0\r\n\r\n";
      reply.body = "";
    }
    return reply;
  });
  ExpectAbort(Run(server.URL(), "out.bin"), "Request failed - HTTP/1.1 416 Range Not Satisfiable");
}

TEST_F(StatusTest, AFirstConnectThatFailsShowsOneMessageAndEnds) {
  const int port = testenv::FreeLoopbackPort();
  Outcome outcome = Run("http://" + testenv::kServerHost + ":" + std::to_string(port) + "/file.bin", "out.bin");
  ASSERT_EQ(outcome.messages.size(), 1u) << outcome.output;
  EXPECT_EQ(outcome.messages[0], "Error: Command Socket could not connect to:" + testenv::kServerHost + " on port:" +
                                     std::to_string(port) +
                                     ", cause is error=10061\nPlease use regular download\n");
  EXPECT_NE(outcome.exitCode, 0);
  EXPECT_NE(outcome.exitCode, -1) << "the main thread was not released";
  ExpectNoPieces();
}

}  // namespace

// Redirects: the old manager hands the download on and stays silent; the new
// one fetches into the same destination. Locations that cannot be followed
// end the download with a message, never with a hang.
#include <gtest/gtest.h>

#include "tests/http/download_fixture.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback.h"

namespace {

using testenv::HttpReply;
using testenv::HttpRequest;
using testenv::HttpTestServer;

class RedirectTest : public DownloadTest {};

TEST_F(RedirectTest, ARedirectIsDownloadedIntoTheSameDestinationWithOneMessage) {
  HttpTestServer target(testenv::PatternBytes(70000, 11));
  HttpTestServer origin("");
  origin.SetHandler([&](const HttpRequest&) { return HttpReply::Redirect(302, target.URL("/new/file.bin")); });
  Outcome outcome = Run(origin.URL("/old.bin"), "out.bin");
  ExpectSuccess(outcome, "/new/file.bin");
  EXPECT_EQ(origin.Requests().size(), 1u);
  EXPECT_EQ(target.Requests().size(), 4u);
  ExpectFileHolds("out.bin", target.Content());
}

// Relative locations are taken against the URL that was redirected.
TEST_F(RedirectTest, EveryFollowableStatusAndRelativeLocationsAreFollowed) {
  HttpTestServer server(testenv::PatternBytes(3000, 12));
  const std::vector<std::pair<int, std::string>> cases = {
      {301, "/abs/file.bin"}, {303, "sibling.bin"}, {307, "../up.bin"}, {308, "//" + testenv::kServerHost + ":" + std::to_string(server.Port()) + "/net.bin"}};
  const std::vector<std::string> targets = {"/abs/file.bin", "/dir/sibling.bin", "/up.bin", "/net.bin"};
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("status " + std::to_string(cases[i].first));
    const auto [status, location] = cases[i];
    server.SetHandler([status, location](const HttpRequest& request) {
      return request.target == "/dir/start.bin" ? HttpReply::Redirect(status, location) : HttpReply();
    });
    const size_t before = server.Requests().size();
    Outcome outcome = Run(server.URL("/dir/start.bin"), "out.bin");
    ExpectSuccess(outcome, targets[i]);
    std::vector<HttpRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), before + 2);
    EXPECT_EQ(requests.back().target, targets[i]);
    ExpectFileHolds("out.bin", server.Content());
  }
}

// A server that builds its redirect from the Host line finds the port there.
TEST_F(RedirectTest, ARedirectBuiltFromTheHostLineKeepsThePort) {
  HttpTestServer server(testenv::PatternBytes(3000, 13));
  server.SetHandler([](const HttpRequest& request) {
    return request.target == "/dir" ? HttpReply::Redirect(301, "http://" + request.Header("Host") + "/dir/")
                                    : HttpReply();
  });
  Outcome outcome = Run(server.URL("/dir"), "out.bin");
  ExpectSuccess(outcome, "/dir/");
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[0].Header("Host"), testenv::kServerHost + ":" + std::to_string(server.Port()));
  ExpectFileHolds("out.bin", server.Content());
}

// The location's escapes reach the server as the server wrote them, also
// when the location is taken against a URL whose name holds a '%'.
TEST_F(RedirectTest, EscapesInTheLocationAreKept) {
  HttpTestServer server(testenv::PatternBytes(100));
  server.SetHandler([](const HttpRequest& request) {
    if (request.index == 0) return HttpReply::Redirect(302, "/50%25/x%41y.bin");
    if (request.index == 1) return HttpReply::Redirect(302, "a%2Fb%20c.bin?q=%2B");
    return HttpReply();
  });
  Outcome outcome = Run(server.URL("/start"), "out.bin");
  EXPECT_EQ(outcome.exitCode, 0);
  ASSERT_EQ(server.Requests().size(), 3u);
  EXPECT_EQ(server.Requests()[1].target, "/50%25/x%41y.bin");
  EXPECT_EQ(server.Requests()[2].target, "/50%25/a%2Fb%20c.bin?q=%2B");
}

// Whether its length is told or the body runs on, a redirect's body never
// reaches a piece: its connection ends as soon as the header is read.
TEST_F(RedirectTest, ARedirectsBodyIsNeverWritten) {
  HttpTestServer target(testenv::PatternBytes(3000, 14));
  for (const bool told : {true, false}) {
    SCOPED_TRACE(told ? "a 5 MB body with its length" : "a body that runs on without a length");
    HttpTestServer origin("");
    origin.SetHandler([&](const HttpRequest&) {
      HttpReply reply = HttpReply::Redirect(302, target.URL("/new.bin"));
      reply.body = std::string(5 << 20, 'r');
      reply.contentLength = told;
      reply.keepOpen = !told;
      return reply;
    });
    const auto started = std::chrono::steady_clock::now();
    Outcome outcome = Run(origin.URL("/old.bin"), "out.bin");
    ExpectSuccess(outcome, "/new.bin");
    ExpectFileHolds("out.bin", target.Content());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  }
}

// A location is read as strictly as a command line: a line break or a NUL,
// raw or escaped, in any part of it would carry a command of its own to the
// next server, so the URL is refused before anything is sent there.
TEST_F(RedirectTest, ALineBreakInAnyLocationIsRefusedBeforeItsServerHearsOfIt) {
  HttpTestServer next("");
  const std::string ftp = "ftp://" + testenv::kServerHost + ":" + std::to_string(testenv::FreeLoopbackPort());
  const std::string http = "http://" + testenv::kServerHost + ":" + std::to_string(next.Port());
  for (const std::string& location :
       {ftp + "/f\rDELE /precious", ftp + "/f%0D%0ADELE%20/precious", std::string("ftp://a%0D%0ASITE%20CHMOD:p@127.0.0.1/f"),
        http + "/f%0D%0AX-Injected:%201", http + "/f%00.bin"}) {
    SCOPED_TRACE(location);
    HttpTestServer origin("");
    origin.SetHandler([&](const HttpRequest&) { return HttpReply::Redirect(302, location); });
    Outcome outcome = Run(origin.URL("/old.bin"), "out.bin");
    ASSERT_EQ(outcome.messages.size(), 1u) << outcome.output;
    EXPECT_EQ(outcome.messages[0].rfind("Download Aborted. (Reason=Could not understand the URL [", 0), 0u)
        << outcome.messages[0];
    EXPECT_NE(outcome.exitCode, 0);
    ExpectNoPieces();
  }
  EXPECT_TRUE(next.Requests().empty());
  Outcome outcome = Run(http + "/f%0D%0AX-Injected:%201", "out.bin");
  ASSERT_EQ(outcome.messages.size(), 1u) << outcome.output;
  EXPECT_EQ(outcome.messages[0], "Could not understand the URL [" + http + "/f\r\nX-Injected: 1], aborted");
  EXPECT_TRUE(next.Requests().empty()) << "a command line is refused the same way";
}

TEST_F(RedirectTest, TheTwentyFirstRedirectInARowAborts) {
  HttpTestServer server("");
  server.SetHandler([](const HttpRequest& request) {
    return HttpReply::Redirect(302, "/hop" + std::to_string(request.index + 1));
  });
  Outcome outcome = Run(server.URL("/hop0"), "out.bin");
  ExpectAbort(outcome, "Too many redirects");
  EXPECT_EQ(server.Requests().size(), 21u);
}

TEST_F(RedirectTest, ALocationThatCannotBeFollowedEndsTheProgram) {
  HttpTestServer server("");
  server.SetHandler([](const HttpRequest&) {
    HttpReply reply = HttpReply::Redirect(301, "https://127.0.0.1/secure.bin");
    reply.keepOpen = true;  // nothing but the refusal may end the program
    return reply;
  });
  const auto started = std::chrono::steady_clock::now();
  Outcome outcome = Run(server.URL(), "out.bin", std::chrono::seconds(20));
  ExpectAbort(outcome, "Could not support this 'scheme'");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST_F(RedirectTest, ARedirectWithoutLocationAborts) {
  HttpTestServer server("");
  server.SetHandler([](const HttpRequest&) {
    HttpReply reply;
    reply.status = 302;
    reply.body = "";
    return reply;
  });
  ExpectAbort(Run(server.URL(), "out.bin"), "Request failed - HTTP/1.1 302 Found");
}

}  // namespace

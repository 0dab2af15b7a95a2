// Redirects: the old manager hands the download on and stays silent; the new
// one fetches into the same destination. Locations that cannot be followed
// end the download with a message, never with a hang.
#include <gtest/gtest.h>

#include "tests/http/download_fixture.h"
#include "tests/support/http_test_server.h"

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
      {301, "/abs/file.bin"}, {303, "sibling.bin"}, {307, "../up.bin"}, {308, "//127.0.0.1:" + std::to_string(server.Port()) + "/net.bin"}};
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
  EXPECT_EQ(server.Requests()[0].Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));
  ExpectFileHolds("out.bin", server.Content());
}

// The location's escapes reach the server as the server wrote them.
TEST_F(RedirectTest, EscapesInTheLocationAreKept) {
  HttpTestServer server(testenv::PatternBytes(100));
  server.SetHandler([](const HttpRequest& request) {
    return request.index == 0 ? HttpReply::Redirect(302, "/a%2Fb%20c.bin") : HttpReply();
  });
  Outcome outcome = Run(server.URL("/start"), "out.bin");
  EXPECT_EQ(outcome.exitCode, 0);
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].target, "/a%2Fb%20c.bin");
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

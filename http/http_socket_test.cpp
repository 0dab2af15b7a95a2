#include "http/http_socket.h"

#include <gtest/gtest.h>

namespace {

// A closed range names its last byte; the request ends with its one empty
// line, so that no server takes more for a second request.
TEST(HTTPSocketRequest, OpenAndClosedRangesWithSizesBeyondFourGigabytes) {
  EXPECT_EQ(CHTTPSocket::FormatRequest("/f.zip", "example.org", 80, 80, 0, -1),
            "GET /f.zip HTTP/1.1\r\nAccept: *.*,*/*\r\nHost: example.org\r\nRange: bytes=0-\r\n"
            "User-Agent: KS/1.0 beta (kestrion.example)\r\n\r\n");
  EXPECT_NE(CHTTPSocket::FormatRequest("/f.zip", "h", 80, 80, 1000, 2000).find("\r\nRange: bytes=1000-1999\r\n"),
            std::string::npos);
  EXPECT_NE(CHTTPSocket::FormatRequest("/f", "h", 80, 80, 4294967296LL, 6442450944LL)
                .find("\r\nRange: bytes=4294967296-6442450943\r\n"),
            std::string::npos);
}

// Only the Host line changes with the port: every other byte stays. The
// scheme's own port (80 for http, 443 for https) goes unnamed.
TEST(HTTPSocketRequest, HostNamesThePortUnlessItIsTheSchemesOwn) {
  const struct {
    const char* host;
    int port, defaultPort;
    const char* line;
  } cases[] = {
      {"example.org", 80, 80, "example.org"},   {"example.org", 8080, 80, "example.org:8080"},
      {"10.0.0.1", 443, 80, "10.0.0.1:443"},    {"::1", 80, 80, "[::1]"},
      {"::1", 8080, 80, "[::1]:8080"},           {"example.org", 443, 443, "example.org"},
      {"example.org", 80, 443, "example.org:80"}, {"::1", 8443, 443, "[::1]:8443"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CHTTPSocket::FormatHost(c.host, c.port, c.defaultPort), c.line);
    std::string expected = CHTTPSocket::FormatRequest("/a b", "X", 80, 80, 7, 9);
    expected.replace(expected.find("Host: X"), 7, std::string("Host: ") + c.line);
    EXPECT_EQ(CHTTPSocket::FormatRequest("/a b", c.host, c.port, c.defaultPort, 7, 9), expected) << c.line;
  }
}

}  // namespace

#include "http/http_socket.h"

#include <gtest/gtest.h>

namespace {

TEST(HTTPSocketRequest, OpenAndClosedRangesWithSizesBeyondFourGigabytes) {
  EXPECT_EQ(CHTTPSocket::FormatRequest("/f.zip", "example.org", 0, -1),
            "GET /f.zip HTTP/1.1\r\nAccept: *.*,*/*\r\nHost: example.org\r\nRange: bytes=0-\r\n"
            "User-Agent: KS/1.0 beta (kestrion.example)\r\n\r\n\r\n");
  EXPECT_NE(CHTTPSocket::FormatRequest("/f.zip", "h", 1000, 2000).find("\r\nRange: bytes=1000-2000\r\n"),
            std::string::npos);
  EXPECT_NE(CHTTPSocket::FormatRequest("/f", "h", 4294967296LL, 6442450944LL)
                .find("\r\nRange: bytes=4294967296-6442450944\r\n"),
            std::string::npos);
}

}  // namespace

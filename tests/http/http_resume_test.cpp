// Connections that end before their range is complete: resets, early closes,
// silence and chunked bodies cut off, and the limits on resuming.
#include <gtest/gtest.h>

#include <atomic>

#include "tests/http/download_fixture.h"
#include "tests/support/http_test_server.h"

namespace {

using testenv::HttpReply;
using testenv::HttpRequest;
using testenv::HttpTestServer;

class ResumeTest : public DownloadTest {};

TEST_F(ResumeTest, ResetMidRangeIsFetchedByAConnectionNumberedAfterAllOthers) {
  HttpTestServer server(testenv::PatternBytes(100000, 7));
  server.SetHandler([](const HttpRequest& request) {
    HttpReply reply;
    if (request.rangeStart == 50000 && request.rangeEnd == 74999) {
      reply.endAfter = 5000;
      reply.end = HttpReply::End::kReset;
    }
    return reply;
  });
  Outcome outcome = Run(server.URL(), "out.bin");
  ExpectSuccess(outcome, "/file.bin");
  std::vector<HttpRequest> requests = server.Requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_TRUE(requests[4].hasRange);
  EXPECT_GE(requests[4].rangeStart, 50000);
  EXPECT_LE(requests[4].rangeStart, 55000);
  EXPECT_EQ(requests[4].rangeEnd, 74999);
  ExpectFileHolds("out.bin", server.Content());
  std::vector<std::string> columns = LastConnectionColumns();
  ASSERT_EQ(columns.size(), 10u);
  EXPECT_NE(columns[4], ".") << "the resumed range is connection 5";
}

// Every reply stops after a few bytes, with a close or with a reset: 20
// resumes are allowed along the range, the 21st end aborts. The pieces of
// ended connections go into place as they end, so few are ever on disk.
TEST_F(ResumeTest, TheTwentyFirstEarlyEndAbortsAndPiecesStayFew) {
  for (const auto& [bytes, end] : {std::pair{10, HttpReply::End::kClose}, std::pair{1, HttpReply::End::kReset}}) {
    SCOPED_TRACE(end == HttpReply::End::kReset ? "resets" : "closes");
    HttpTestServer server(testenv::PatternBytes(1000));
    std::atomic<size_t> mostPieces{0};
    server.SetHandler([&, bytes = bytes, end = end](const HttpRequest&) {
      mostPieces = std::max(mostPieces.load(), testenv::ListFiles(dir.Path(), "FFF").size());
      HttpReply reply;
      reply.endAfter = bytes;
      reply.end = end;
      return reply;
    });
    const auto started = std::chrono::steady_clock::now();
    Outcome outcome = Run(server.URL(), "out.bin");
    ExpectAbort(outcome, "One connection was closed before it finished (20 Retries)");
    std::vector<HttpRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 21u);
    for (int i = 0; i < 21; ++i) EXPECT_EQ(requests[i].rangeStart, bytes * i) << "request " << i;
    EXPECT_LE(mostPieces.load(), 2u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    EXPECT_FALSE(testenv::FileExists(Path("out.bin")));
  }
}

TEST_F(ResumeTest, TwentyEarlyClosesStillEndInTheWholeFile) {
  HttpTestServer server(testenv::PatternBytes(1000));
  server.SetHandler([](const HttpRequest& request) {
    HttpReply reply;
    if (request.index < 20) reply.endAfter = 10;
    return reply;
  });
  Outcome outcome = Run(server.URL(), "out.bin");
  ExpectSuccess(outcome, "/file.bin");
  EXPECT_EQ(server.Requests().size(), 21u);
  ExpectFileHolds("out.bin", server.Content());
}

TEST_F(ResumeTest, AResumeAgainstAServerWithoutRangesAborts) {
  HttpTestServer server(testenv::PatternBytes(1000));
  server.SetHandler([](const HttpRequest& request) {
    HttpReply reply;
    reply.honourRange = false;
    reply.acceptRanges = false;
    if (request.index == 0) reply.endAfter = 100;
    return reply;
  });
  Outcome outcome = Run(server.URL(), "out.bin");
  ExpectAbort(outcome, "Site is not consistent, User regular download");
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].Header("Range"), "bytes=100-");
}

// A server that claims Accept-Ranges but answers a range further in with the
// whole file would scramble the join.
TEST_F(ResumeTest, AWholeFileAnswerToARangeFurtherInAborts) {
  HttpTestServer server(testenv::PatternBytes(1000));
  server.SetHandler([](const HttpRequest& request) {
    HttpReply reply;
    reply.honourRange = false;
    if (request.index == 0) reply.endAfter = 100;
    return reply;
  });
  Outcome outcome = Run(server.URL(), "out.bin");
  ExpectAbort(outcome, "Site is not consistent, User regular download");
}

TEST_F(ResumeTest, ASilentConnectionIsClosedAndResumed) {
  SetStallSeconds(1);
  HttpTestServer server(testenv::PatternBytes(30000));
  server.SetHandler([](const HttpRequest& request) {
    HttpReply reply;
    if (request.index == 0) {
      reply.endAfter = 3000;
      reply.end = HttpReply::End::kStall;
    }
    return reply;
  });
  const auto started = std::chrono::steady_clock::now();
  Outcome outcome = Run(server.URL(), "out.bin", std::chrono::seconds(20));
  ExpectSuccess(outcome, "/file.bin");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].Header("Range"), "bytes=3000-");
  ExpectFileHolds("out.bin", server.Content());
}

// Servers that answer every connection with nothing: a close or a reset
// before the header, a close after it, silence. Resumes that bring no byte
// end the download after the third, leaving no piece of the empty ones. Even
// with no size to compare against, a close before the header is no empty file.
TEST_F(ResumeTest, ThreeResumesInARowThatBringNothingEndTheDownload) {
  SetStallSeconds(1);
  struct Barren {
    const char* name;
    HttpReply reply;
  };
  HttpReply closeBeforeHeader, resetBeforeHeader, closeAfterHeader, silent, trickling;
  closeBeforeHeader.rawHead = "";
  closeBeforeHeader.body = "";
  closeBeforeHeader.endAfter = 0;
  resetBeforeHeader = closeBeforeHeader;
  resetBeforeHeader.end = HttpReply::End::kReset;
  closeAfterHeader.endAfter = 0;
  silent = closeBeforeHeader;
  silent.end = HttpReply::End::kStall;
  // A header line every 300 ms: activity, but never a header.
  trickling.headerLineEvery = std::chrono::milliseconds(300);
  for (const Barren& barren : {Barren{"close before the header", closeBeforeHeader},
                               Barren{"reset before the header", resetBeforeHeader},
                               Barren{"close after the header", closeAfterHeader}, Barren{"silence", silent},
                               Barren{"a header that never ends", trickling}}) {
    SCOPED_TRACE(barren.name);
    HttpTestServer server(testenv::PatternBytes(100));
    const HttpReply reply = barren.reply;
    server.SetHandler([reply](const HttpRequest&) { return reply; });
    const auto started = std::chrono::steady_clock::now();
    Outcome outcome = Run(server.URL(), "out.bin");
    ExpectAbort(outcome, "The server sent no data on three resumed connections in a row");
    EXPECT_EQ(server.Requests().size(), 4u);
    EXPECT_FALSE(testenv::FileExists(Path("out.bin")));
    // Four connections that each wait out the stall limit at most.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(12));
  }
}

// Progress clears the count: three barren resumes after one that brought
// bytes still end it, two do not.
TEST_F(ResumeTest, BarrenResumesAreCountedOnlyInARow) {
  for (const int barren : {2, 3}) {
    SCOPED_TRACE(std::to_string(barren) + " barren resumes");
    HttpTestServer server(testenv::PatternBytes(1000));
    server.SetHandler([barren](const HttpRequest& request) {
      HttpReply reply;
      if (request.index == 0) reply.endAfter = 10;
      if (request.index >= 1 && request.index <= barren) reply.endAfter = 0;
      return reply;
    });
    Outcome outcome = Run(server.URL(), "out.bin");
    if (barren == 2) {
      ExpectSuccess(outcome, "/file.bin");
      ExpectFileHolds("out.bin", server.Content());
    } else {
      ExpectAbort(outcome, "The server sent no data on three resumed connections in a row");
    }
    EXPECT_EQ(server.Requests().size(), 4u);
    std::filesystem::remove(Path("out.bin"));
  }
}

TEST_F(ResumeTest, AChunkedBodyCutBeforeItsLastChunkIsResumed) {
  HttpTestServer server(testenv::PatternBytes(20000, 3));
  server.SetHandler([](const HttpRequest& request) {
    HttpReply reply;
    reply.chunked = true;
    reply.chunkSize = 777;
    reply.acceptRanges = true;
    if (request.index == 0) {
      reply.honourRange = false;  // a 200 with no size at all
      reply.endAfter = 5000;
    }
    return reply;
  });
  Outcome outcome = Run(server.URL(), "out.bin");
  ExpectSuccess(outcome, "/file.bin");
  ASSERT_EQ(server.Requests().size(), 2u);
  ExpectFileHolds("out.bin", server.Content());
}

TEST_F(ResumeTest, AChunkedBodyIsStoredDecoded) {
  HttpTestServer server(testenv::PatternBytes(60000, 4));
  server.SetHandler([](const HttpRequest&) {
    HttpReply reply;
    reply.chunked = true;
    reply.chunkSize = 4096;
    reply.honourRange = false;
    reply.keepOpen = true;  // the last chunk, not the close, ends it
    return reply;
  });
  Outcome outcome = Run(server.URL(), "out.bin", std::chrono::seconds(20));
  ExpectSuccess(outcome, "/file.bin");
  ExpectFileHolds("out.bin", server.Content());
}

// Keep-alive: the server leaves the connection open after its reply. One
// connection with an open range: only its Content-Length can end it.
TEST_F(ResumeTest, AKeepAliveServerDoesNotStallTheEnd) {
  SetStallSeconds(30);
  HttpTestServer server(testenv::PatternBytes(40000, 5));
  server.SetHandler([](const HttpRequest&) {
    HttpReply reply;
    reply.keepOpen = true;
    return reply;
  });
  const auto started = std::chrono::steady_clock::now();
  Outcome outcome = Run(server.URL(), "out.bin", std::chrono::seconds(20));
  ExpectSuccess(outcome, "/file.bin");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(server.Requests().size(), 1u);
  ExpectFileHolds("out.bin", server.Content());
}

}  // namespace

// Bodies that arrive after their header move from the socket to the pieces
// inside the system. Every fault the buffered way meets is met there too:
// early ends, resets, more bytes than announced, a write that fails. The
// join starts while connections still run, and a cancel then leaves nothing.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <optional>
#include <regex>
#include <thread>

#include "engine/download_journal.h"
#include "tests/http/download_fixture.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/http_test_server.h"

namespace {

using testenv::HttpReply;
using testenv::HttpRequest;
using testenv::HttpTestServer;

constexpr size_t kSize = 400000;  // four ranges of 100000 bytes
constexpr auto kBodyPause = std::chrono::milliseconds(100);

// The head first; the body once the client has read it.
HttpReply BodyAfterHead() {
  HttpReply reply;
  reply.bodyPause = kBodyPause;
  return reply;
}

// A range reply for a file of `total` bytes that announces `length` bytes
// (none: no Content-Length line) and sends `body`.
HttpReply Announcing(const HttpRequest& request, size_t total, std::optional<size_t> length,
                     const std::string& body) {
  const int64_t last = request.rangeEnd == -1 ? static_cast<int64_t>(total) - 1 : request.rangeEnd;
  HttpReply reply = BodyAfterHead();
  reply.rawHead = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(request.rangeStart) + "-" +
                  std::to_string(last) + "/" + std::to_string(total) + "\r\n" +
                  (length ? "Content-Length: " + std::to_string(*length) + "\r\n" : "") + "\r\n";
  reply.body = body;
  return reply;
}

struct Case {
  const char* name;
  size_t size;
  std::function<HttpReply(const HttpRequest&, const std::string& content)> reply;
  const char* reason;  // a pattern; nullptr: the download succeeds
  size_t requests;     // 0: not checked
  rlim_t fileSizeLimit = RLIM_INFINITY;
};

const Case kCases[] = {
    {"every body after its head", kSize, [](const HttpRequest&, const std::string&) { return BodyAfterHead(); },
     nullptr, 4},
    {"a range closed early is resumed where it stopped", kSize,
     [](const HttpRequest& r, const std::string&) {
       HttpReply reply = BodyAfterHead();
       if (r.index == 2) reply.endAfter = 30000;
       return reply;
     },
     nullptr, 5},
    {"a range reset mid-body is resumed", kSize,
     [](const HttpRequest& r, const std::string&) {
       HttpReply reply = BodyAfterHead();
       if (r.index == 1) {
         reply.endAfter = 25000;
         reply.end = HttpReply::End::kReset;
       }
       return reply;
     },
     nullptr, 5},
    {"more body than the Content-Length", kSize,
     [](const HttpRequest& r, const std::string& content) {
       if (r.rangeStart != 200000) return BodyAfterHead();
       return Announcing(r, kSize, 100000, content.substr(200000, 100000) + std::string(1000, 'x'));
     },
     "The server sent more data than it announced", 0},
    {"more body than the file's size on an open range", 50000,
     [](const HttpRequest& r, const std::string& content) {
       return Announcing(r, content.size(), std::nullopt, content + std::string(1000, 'x'));
     },
     "The server sent more data than it announced", 1},
    {"a piece that cannot grow (a full disk)", kSize,
     [](const HttpRequest&, const std::string&) { return BodyAfterHead(); },
     R"(TempFile (\./FFF[0-9A-F]{4}\.TMP|(.*/)?out\.bin\.part[0-9A-F]{4}) could not be written: File too large)", 0, 60000},
};

class ReceiveTest : public DownloadTest {};

TEST_F(ReceiveTest, BodiesTakenInsideTheSystemMeetEveryFault) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    HttpTestServer server(testenv::PatternBytes(c.size, 51));
    const auto& reply = c.reply;
    server.SetHandler([&reply, &server](const HttpRequest& request) { return reply(request, server.Content()); });
    Outcome outcome;
    {
      testenv::FileSizeLimit limit(c.fileSizeLimit);
      outcome = Run(server.URL(), "out.bin");
    }
    if (c.reason == nullptr) {
      ExpectSuccess(outcome, "/file.bin");
      ExpectFileHolds("out.bin", server.Content());
    } else {
      ASSERT_EQ(outcome.messages.size(), 1u) << outcome.output;
      const std::regex expected("Download Aborted\\. \\(Reason=" + std::string(c.reason) + "\\)");
      EXPECT_TRUE(std::regex_match(outcome.messages[0], expected)) << outcome.messages[0];
      EXPECT_NE(outcome.exitCode, 0);
      ExpectNoPieces();
      EXPECT_FALSE(testenv::FileExists(Path("out.bin")));
    }
    if (c.requests != 0) {
      EXPECT_EQ(server.Requests().size(), c.requests);
    }
    // A failure keeps the new file only with a journal that names it.
    const std::vector<std::string> parts = testenv::ListFiles(dir.Path(), "out.bin.part");
    if (!parts.empty()) {
      const std::optional<CDownloadJournal> journal =
          CDownloadJournal::Read(testenv::ReadFile(Path("out.bin.kestrion")));
      ASSERT_TRUE(journal) << "a part of the join is left";
      EXPECT_EQ(parts, std::vector<std::string>{journal->m_strPartName});
    }
    for (const std::string& name : testenv::ListFiles(dir.Path(), "out.bin")) std::filesystem::remove(Path(name));
  }
}

// The last range stalls mid-body: the three pieces before it are joined
// meanwhile, and a cancel then takes the joined part away with the pieces.
TEST_F(ReceiveTest, EndedPiecesAreJoinedWhileOthersRunAndACancelLeavesNothing) {
  HttpTestServer server(testenv::PatternBytes(kSize, 52));
  server.SetHandler([](const HttpRequest& request) {
    HttpReply reply = BodyAfterHead();
    if (request.rangeStart == 300000) {
      reply.endAfter = 1000;
      reply.end = HttpReply::End::kStall;
    }
    return reply;
  });
  const std::string log = Path("ui.log");
  testenv::KestrionProcess kestrion({server.URL(), "out.bin"}, dir.Path(),
                                    {{"KESTRION_UI", "script"},
                                     {"KESTRION_UI_LOG", log},
                                     {"KESTRION_REGISTRY", Path("registry")}});
  // The pieces go in in any order, so the new file may reach its size before
  // its last hole is filled: its content is what is waited for.
  const std::string joined = server.Content().substr(0, 300000);
  bool seen = false;
  for (int i = 0; i < 1000 && !seen; ++i) {
    for (const std::string& name : testenv::ListFiles(dir.Path(), "out.bin.part"))
      seen = seen || testenv::ReadFile(Path(name)) == joined;
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(seen) << "the ended pieces were not joined while the last range ran";
  kestrion.Signal(SIGINT);
  const testenv::RunResult result = kestrion.Wait(std::chrono::seconds(15));
  EXPECT_NE(result.exitCode, -1) << "kestrion did not end after the signal";
  EXPECT_NE(result.exitCode, 0);
  ExpectNoPieces();
  EXPECT_TRUE(testenv::ListFiles(dir.Path(), "out.bin").empty()) << "the join left a file behind";
  EXPECT_TRUE(testenv::DownloadMessages(log).empty()) << "a cancel shows no message";
}

}  // namespace

// Responses whose bytes cannot be trusted: a part that does not say where it
// starts, a file that changes between connections, lengths that are not
// numbers, bodies longer than announced. Each ends in a failure that leaves
// nothing behind; the sound variants still succeed.
#include <gtest/gtest.h>

#include <functional>

#include "tests/http/download_fixture.h"
#include "tests/support/http_test_server.h"

namespace {

using testenv::HttpReply;
using testenv::HttpRequest;
using testenv::HttpTestServer;

constexpr size_t kSplitSize = 100000;  // four connections
constexpr size_t kSmallSize = 1000;    // one connection

const char kNotConsistent[] = "Site is not consistent, User regular download";
const char kFileChanged[] = "The file changed on the server during the download";
const char kBadHeader[] = "Could not understand Header";
const char kTooMuch[] = "The server sent more data than it announced";

// The Content-Range a server would send for the request, with another total.
std::string RangeWithTotal(const HttpRequest& request, size_t total) {
  const int64_t last = request.rangeEnd == -1 ? static_cast<int64_t>(kSplitSize) - 1
                                              : std::min<int64_t>(request.rangeEnd, kSplitSize - 1);
  return "bytes " + std::to_string(request.rangeStart) + "-" + std::to_string(last) + "/" + std::to_string(total);
}

// A reply whose head and body go out in one send.
HttpReply Raw(const std::string& head, const std::string& body) {
  HttpReply reply;
  reply.rawHead = head + body;
  reply.body = "";
  return reply;
}

struct Case {
  const char* name;
  size_t size;
  std::function<HttpReply(const HttpRequest&, const std::string& content)> reply;
  const char* reason;  // nullptr: the download succeeds
};

const Case kCases[] = {
    {"a part further in without Content-Range", kSplitSize,
     [](const HttpRequest& r, const std::string&) {
       HttpReply reply;
       if (r.rangeStart > 0) reply.contentRange = "";
       return reply;
     },
     kNotConsistent},
    {"a part further in that names no first byte", kSplitSize,
     [](const HttpRequest& r, const std::string&) {
       HttpReply reply;
       if (r.rangeStart > 0) reply.contentRange = "bytes */100000";
       return reply;
     },
     kNotConsistent},
    {"a later total that differs", kSplitSize,
     [](const HttpRequest& r, const std::string&) {
       HttpReply reply;
       if (r.rangeStart >= 75000) reply.contentRange = RangeWithTotal(r, kSplitSize + 1);
       return reply;
     },
     kFileChanged},
    {"a later total that is smaller", kSplitSize,
     [](const HttpRequest& r, const std::string& content) {
       if (r.rangeStart < 75000) return HttpReply();
       return Raw("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 75000-99998/99999\r\n"
                  "Content-Length: 24999\r\n\r\n",
                  content.substr(75000, 24999));
     },
     kFileChanged},
    {"a resume answered with a smaller file's 416", kSmallSize,
     [](const HttpRequest& r, const std::string&) {
       HttpReply reply;
       if (r.index == 0) reply.endAfter = 700;
       if (r.index == 1) reply = Raw("HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */600\r\n\r\n", "");
       return reply;
     },
     kFileChanged},
    {"a first part that ends past its total", kSplitSize,
     [](const HttpRequest&, const std::string& content) {
       return Raw("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-199999/100000\r\n"
                  "Content-Length: 200000\r\n\r\n",
                  content + content);
     },
     kNotConsistent},
    {"a later ETag that differs", kSplitSize,
     [](const HttpRequest& r, const std::string&) {
       HttpReply reply;
       reply.headers = {r.rangeStart > 0 ? "ETag: \"v2\"" : "ETag: \"v1\""};
       return reply;
     },
     kFileChanged},
    {"a later Last-Modified that differs", kSplitSize,
     [](const HttpRequest& r, const std::string&) {
       HttpReply reply;
       reply.headers = {r.rangeStart > 0 ? "Last-Modified: Tue, 02 Jan 2024 00:00:00 GMT"
                                         : "Last-Modified: Mon, 01 Jan 2024 00:00:00 GMT"};
       return reply;
     },
     kFileChanged},
    {"the same ETag and Last-Modified throughout, or only on some responses", kSplitSize,
     [](const HttpRequest& r, const std::string&) {
       HttpReply reply;
       if (r.rangeStart != 50000) reply.headers = {"ETag: \"v1\"", "Last-Modified: Mon, 01 Jan 2024 00:00:00 GMT"};
       return reply;
     },
     nullptr},
    {"two Content-Lengths that differ", kSmallSize,
     [](const HttpRequest&, const std::string& content) {
       return Raw("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nContent-Length: 999\r\n\r\n", content);
     },
     kBadHeader},
    {"a Content-Length that is not a number", kSmallSize,
     [](const HttpRequest&, const std::string& content) {
       return Raw("HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\n", content);
     },
     kBadHeader},
    {"a Content-Length with a sign", kSmallSize,
     [](const HttpRequest&, const std::string& content) {
       return Raw("HTTP/1.1 200 OK\r\nContent-Length: +1000\r\n\r\n", content);
     },
     kBadHeader},
    {"a Content-Length with trailing garbage", kSmallSize,
     [](const HttpRequest&, const std::string& content) {
       return Raw("HTTP/1.1 200 OK\r\nContent-Length: 1000x\r\n\r\n", content);
     },
     kBadHeader},
    {"two equal Content-Lengths", kSmallSize,
     [](const HttpRequest&, const std::string& content) {
       return Raw("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nContent-Length:  1000 \r\n\r\n", content);
     },
     nullptr},
    {"more body than the Content-Length", kSmallSize,
     [](const HttpRequest&, const std::string& content) {
       return Raw("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", content + std::string(100, 'x'));
     },
     kTooMuch},
    {"more body than the file's size on an open range", kSmallSize,
     [](const HttpRequest&, const std::string& content) {
       return Raw("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-999/1000\r\n\r\n",
                  content + std::string(100, 'x'));
     },
     kTooMuch},
};

class WrongBytesTest : public DownloadTest {};

TEST_F(WrongBytesTest, UntrustworthyResponsesFailAndLeaveNothing) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    HttpTestServer server(testenv::PatternBytes(c.size, 41));
    const auto& reply = c.reply;
    server.SetHandler([&reply, &server](const HttpRequest& request) { return reply(request, server.Content()); });
    const Outcome outcome = Run(server.URL(), "out.bin");
    if (c.reason == nullptr) {
      ExpectSuccess(outcome, "/file.bin");
      ExpectFileHolds("out.bin", server.Content());
    } else {
      ExpectAbort(outcome, c.reason);
      EXPECT_FALSE(testenv::FileExists(Path("out.bin")));
    }
    std::filesystem::remove(Path("out.bin"));
  }
}

}  // namespace

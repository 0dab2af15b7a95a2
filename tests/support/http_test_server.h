#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testenv {

// One request as the server received it.
struct HttpRequest {
  int index = 0;         // order of arrival, from 0
  std::string raw;       // every byte received on the connection before the reply
  std::string target;    // the request-target of the request line
  bool hasRange = false;
  int64_t rangeStart = -1;
  int64_t rangeEnd = -1;  // as sent (inclusive in HTTP); -1 for an open range
  // The value of a header (name compared without case), empty when absent.
  std::string Header(const std::string& name) const;
};

// What to answer one request. The defaults serve the server's content like a
// plain HTTP/1.1 server with range support that closes after the reply.
struct HttpReply {
  enum class End { kClose, kReset, kStall };

  int status = 0;  // 0: 200, or 206/416 for a range when honourRange
  std::string reason;
  std::vector<std::string> headers;  // extra "Name: value" lines
  bool honourRange = true;
  bool acceptRanges = true;   // an "Accept-Ranges: bytes" line
  bool contentLength = true;  // a Content-Length line
  // The value of a range reply's Content-Range line instead of the right
  // one; an empty value leaves the line out.
  std::optional<std::string> contentRange;
  bool chunked = false;
  size_t chunkSize = 1000;
  std::string lineEnd = "\r\n";
  std::optional<std::string> rawHead;  // sent as it stands instead of a built head
  std::optional<std::string> body;     // instead of the content (or its range)
  size_t splitHeadAt = std::string::npos;  // the head goes out in two sends here
  std::chrono::milliseconds pause{50};     // between the two sends
  std::chrono::milliseconds delay{0};      // before anything is sent
  // Between the head and the body, so that the client has read the head
  // before any of the body arrives.
  std::chrono::milliseconds bodyPause{0};
  // When set, the head never ends: after the status line one more header
  // line follows every this often, until the client closes.
  std::chrono::milliseconds headerLineEvery{0};
  int64_t endAfter = -1;  // bytes of the body (as sent) after which `end` happens
  End end = End::kClose;
  bool keepOpen = false;  // after a complete reply, wait for the client to close

  static HttpReply Redirect(int status, const std::string& location);
};

// A scripted HTTP server on a free port of the servers' loopback address (127.0.0.2, or ::1), one
// thread per connection. The handler decides each reply; every request is
// recorded. Nothing runs after the destructor returns.
class HttpTestServer {
 public:
  explicit HttpTestServer(std::string content = "", bool ipv6 = false);
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  int Port() const { return m_port; }
  std::string URL(const std::string& path = "/file.bin") const;
  const std::string& Content() const { return m_content; }

  // Called on the connection's thread; must be set before the first request.
  void SetHandler(std::function<HttpReply(const HttpRequest&)> handler);
  std::vector<HttpRequest> Requests() const;

 private:
  void AcceptLoop();
  void Serve(int fd);
  bool ReadRequest(int fd, HttpRequest& request);
  void Reply(int fd, const HttpRequest& request, const HttpReply& reply);
  std::string BuildHead(const HttpRequest& request, const HttpReply& reply, std::string& body) const;
  bool SendBody(int fd, const std::string& body, const HttpReply& reply);
  void WaitForClientClose(int fd, std::chrono::seconds limit);
  void TrickleHeader(int fd, std::chrono::milliseconds every);

  std::string m_content;
  bool m_bIPv6;
  int m_listenFd = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_acceptThread;
  mutable std::mutex m_mutex;
  std::vector<std::thread> m_connectionThreads;
  std::vector<HttpRequest> m_requests;
  std::function<HttpReply(const HttpRequest&)> m_handler;
};

}  // namespace testenv

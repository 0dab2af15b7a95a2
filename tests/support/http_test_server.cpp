#include "tests/support/http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "tests/support/loopback.h"

namespace testenv {

namespace {

constexpr auto kRequestTimeout = std::chrono::seconds(10);
constexpr auto kLingerLimit = std::chrono::seconds(30);

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Waits up to ms for fd to become readable; false on time-out.
bool WaitReadable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, ms) > 0;
}

bool SendAll(int fd, const char* data, size_t length) {
  while (length > 0) {
    const ssize_t n = send(fd, data, length, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

void ParseRange(HttpRequest& request) {
  const std::string value = request.Header("Range");
  long long first = 0, last = 0;
  if (std::sscanf(value.c_str(), "bytes=%lld-%lld", &first, &last) == 2) {
    request.hasRange = true;
    request.rangeStart = first;
    request.rangeEnd = last;
  } else if (std::sscanf(value.c_str(), "bytes=%lld-", &first) == 1) {
    request.hasRange = true;
    request.rangeStart = first;
  }
}

std::string Chunked(const std::string& body, size_t chunkSize) {
  std::string out;
  for (size_t at = 0; at < body.size(); at += chunkSize) {
    const size_t n = std::min(chunkSize, body.size() - at);
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", n);
    out += size;
    out.append(body, at, n);
    out += "\r\n";
  }
  return out + "0\r\n\r\n";
}

const char* ReasonFor(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 404: return "Not Found";
    case 416: return "Range Not Satisfiable";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

}  // namespace

std::string HttpRequest::Header(const std::string& name) const {
  const std::string wanted = Lower(name) + ":";
  size_t at = raw.find('\n');
  while (at != std::string::npos && at + 1 < raw.size()) {
    const size_t end = raw.find('\n', at + 1);
    std::string line = raw.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Lower(line.substr(0, wanted.size())) == wanted) {
      const size_t value = line.find_first_not_of(' ', wanted.size());
      return value == std::string::npos ? "" : line.substr(value);
    }
    at = end;
  }
  return "";
}

HttpReply HttpReply::Redirect(int status, const std::string& location) {
  HttpReply reply;
  reply.status = status;
  reply.headers.push_back("Location: " + location);
  reply.body = "moved";
  reply.acceptRanges = false;
  return reply;
}

HttpTestServer::HttpTestServer(std::string content, bool ipv6) : m_content(std::move(content)), m_bIPv6(ipv6) {
  m_listenFd = ListenOnLoopback(ipv6, 64, &m_port);
  m_acceptThread = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
  m_stop = true;
  m_acceptThread.join();
  close(m_listenFd);
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    threads.swap(m_connectionThreads);
  }
  for (std::thread& t : threads) t.join();
}

std::string HttpTestServer::URL(const std::string& path) const {
  return "http://" + LoopbackHost(m_bIPv6) + ":" + std::to_string(m_port) + path;
}

void HttpTestServer::SetHandler(std::function<HttpReply(const HttpRequest&)> handler) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_handler = std::move(handler);
}

std::vector<HttpRequest> HttpTestServer::Requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

void HttpTestServer::AcceptLoop() {
  while (!m_stop) {
    if (!WaitReadable(m_listenFd, 20)) continue;
    const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connectionThreads.emplace_back([this, fd] { Serve(fd); });
  }
}

void HttpTestServer::Serve(int fd) {
  HttpRequest request;
  if (ReadRequest(fd, request)) {
    std::function<HttpReply(const HttpRequest&)> handler;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      request.index = static_cast<int>(m_requests.size());
      m_requests.push_back(request);
      handler = m_handler;
    }
    Reply(fd, request, handler ? handler(request) : HttpReply());
  }
  close(fd);
}

bool HttpTestServer::ReadRequest(int fd, HttpRequest& request) {
  const auto deadline = std::chrono::steady_clock::now() + kRequestTimeout;
  char buffer[4096];
  while (request.raw.find("\r\n\r\n") == std::string::npos && request.raw.find("\n\n") == std::string::npos) {
    if (m_stop || std::chrono::steady_clock::now() > deadline) return false;
    if (!WaitReadable(fd, 20)) continue;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    request.raw.append(buffer, static_cast<size_t>(n));
  }
  // Whatever the client sent along with the header is read too, so that a
  // close does not turn into a reset over unread bytes.
  while (WaitReadable(fd, 5)) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) break;
    request.raw.append(buffer, static_cast<size_t>(n));
  }
  const size_t firstBlank = request.raw.find(' ');
  const size_t secondBlank = request.raw.find(' ', firstBlank + 1);
  if (firstBlank != std::string::npos && secondBlank != std::string::npos)
    request.target = request.raw.substr(firstBlank + 1, secondBlank - firstBlank - 1);
  ParseRange(request);
  return true;
}

std::string HttpTestServer::BuildHead(const HttpRequest& request, const HttpReply& reply, std::string& body) const {
  const int64_t size = static_cast<int64_t>(m_content.size());
  int status = reply.status;
  std::vector<std::string> lines;
  if (reply.body) {
    body = *reply.body;
    if (status == 0) status = 200;
  } else if (reply.honourRange && request.hasRange && status == 0) {
    const int64_t first = request.rangeStart;
    const int64_t last = request.rangeEnd == -1 ? size - 1 : std::min(request.rangeEnd, size - 1);
    if (first >= size && size > 0) {
      status = 416;
      lines.push_back("Content-Range: bytes */" + std::to_string(size));
    } else if (size == 0) {
      status = 200;
    } else {
      status = 206;
      body = m_content.substr(static_cast<size_t>(first), static_cast<size_t>(last - first + 1));
      const std::string range = reply.contentRange.value_or("bytes " + std::to_string(first) + "-" +
                                                            std::to_string(last) + "/" + std::to_string(size));
      if (!range.empty()) lines.push_back("Content-Range: " + range);
    }
  } else {
    body = m_content;
    if (status == 0) status = 200;
  }
  if (reply.acceptRanges) lines.push_back("Accept-Ranges: bytes");
  if (reply.chunked) {
    lines.push_back("Transfer-Encoding: chunked");
  } else if (reply.contentLength) {
    lines.push_back("Content-Length: " + std::to_string(body.size()));
  }
  for (const std::string& line : reply.headers) lines.push_back(line);
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " +
                     (reply.reason.empty() ? ReasonFor(status) : reply.reason) + reply.lineEnd;
  for (const std::string& line : lines) head += line + reply.lineEnd;
  head += reply.lineEnd;
  if (reply.chunked) body = Chunked(body, reply.chunkSize);
  return head;
}

void HttpTestServer::Reply(int fd, const HttpRequest& request, const HttpReply& reply) {
  if (reply.delay.count() > 0) std::this_thread::sleep_for(reply.delay);
  if (reply.headerLineEvery.count() > 0) return TrickleHeader(fd, reply.headerLineEvery);
  std::string body;
  std::string head = BuildHead(request, reply, body);
  if (reply.rawHead) head = *reply.rawHead;
  const size_t split = std::min(reply.splitHeadAt, head.size());
  if (!SendAll(fd, head.data(), split)) return;
  if (split < head.size()) {
    std::this_thread::sleep_for(reply.pause);
    if (!SendAll(fd, head.data() + split, head.size() - split)) return;
  }
  if (reply.bodyPause.count() > 0) std::this_thread::sleep_for(reply.bodyPause);
  if (!SendBody(fd, body, reply)) return;
  if (reply.keepOpen) {
    WaitForClientClose(fd, kLingerLimit);
    return;
  }
  shutdown(fd, SHUT_WR);
  WaitForClientClose(fd, std::chrono::seconds(5));
}

// False when the reply ended early (closed, reset or stalled).
bool HttpTestServer::SendBody(int fd, const std::string& body, const HttpReply& reply) {
  const size_t limit = reply.endAfter < 0 ? body.size() : std::min(body.size(), static_cast<size_t>(reply.endAfter));
  if (!SendAll(fd, body.data(), limit)) return false;
  if (reply.endAfter < 0) return true;
  switch (reply.end) {
    case HttpReply::End::kClose:
      shutdown(fd, SHUT_WR);
      WaitForClientClose(fd, std::chrono::seconds(5));
      break;
    case HttpReply::End::kReset: {
      // Give the client the bytes before the reset.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      linger hard{1, 0};
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      break;
    }
    case HttpReply::End::kStall:
      WaitForClientClose(fd, kLingerLimit);
      break;
  }
  return false;
}

void HttpTestServer::TrickleHeader(int fd, std::chrono::milliseconds every) {
  const std::string status = "HTTP/1.1 200 OK\r\n";
  if (!SendAll(fd, status.data(), status.size())) return;
  const auto deadline = std::chrono::steady_clock::now() + kLingerLimit;
  for (int n = 0; !m_stop && std::chrono::steady_clock::now() < deadline; ++n) {
    if (WaitReadable(fd, static_cast<int>(every.count()))) return;  // the client closed
    const std::string line = "X-Wait: " + std::to_string(n) + "\r\n";
    if (!SendAll(fd, line.data(), line.size())) return;
  }
}

void HttpTestServer::WaitForClientClose(int fd, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  char buffer[4096];
  while (!m_stop && std::chrono::steady_clock::now() < deadline) {
    if (!WaitReadable(fd, 20)) continue;
    const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return;
  }
}

}  // namespace testenv

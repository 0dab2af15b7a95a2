#include "tests/support/tls_test_server.h"

#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>

#include "tests/support/loopback.h"
#include "tests/support/test_certificates.h"

namespace testenv {

namespace {

constexpr int kAcceptTimeoutMs = 5000;
constexpr auto kReadTime = std::chrono::milliseconds(300);

std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> ServerContext() {
  std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> context(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
  const TestCertificates::Pair pair = TestCertificates::Shared().For(TestCertificates::Kind::kGood);
  if (SSL_CTX_use_certificate_file(context.get(), pair.certificate.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_use_PrivateKey_file(context.get(), pair.key.c_str(), SSL_FILETYPE_PEM) != 1)
    return {nullptr, SSL_CTX_free};
  return context;
}

}  // namespace

TlsTestServer::TlsTestServer(std::string reply, Ending ending)
    : TlsTestServer(std::vector<Exchange>{{std::move(reply), ending}}) {}

TlsTestServer::TlsTestServer(std::vector<Exchange> exchanges) : m_exchanges(std::move(exchanges)) {
  m_listenFd = ListenOnLoopback(false, 1, &m_port);
  m_thread = std::thread([this] { Serve(); });
}

TlsTestServer::~TlsTestServer() {
  m_thread.join();
  close(m_listenFd);
}

std::vector<std::string> TlsTestServer::Requests() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_requests;
}

void TlsTestServer::Serve() {
  for (const Exchange& exchange : m_exchanges)
    if (!ServeOne(exchange)) return;
}

bool TlsTestServer::ServeOne(const Exchange& exchange) {
  pollfd waiting{m_listenFd, POLLIN, 0};
  if (poll(&waiting, 1, kAcceptTimeoutMs) != 1) return false;
  const int fd = accept(m_listenFd, nullptr, nullptr);
  const auto context = ServerContext();
  if (fd < 0 || !context) {
    if (fd >= 0) close(fd);
    return false;
  }
  timeval limit{kAcceptTimeoutMs / 1000, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  SSL* ssl = SSL_new(context.get());
  SSL_set_fd(ssl, fd);
  char request[4096];
  int count = 0;
  const bool served = SSL_accept(ssl) == 1 && (count = SSL_read(ssl, request, sizeof request)) > 0;
  if (served) {
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_requests.emplace_back(request, static_cast<size_t>(count));
    }
    const std::string& reply = exchange.reply;
    for (size_t sent = 0; sent < reply.size();) {
      const int written = SSL_write(ssl, reply.data() + sent, static_cast<int>(reply.size() - sent));
      if (written <= 0) break;
      sent += static_cast<size_t>(written);
    }
    if (exchange.ending == Ending::kCloseNotify) SSL_shutdown(ssl);
    if (exchange.ending == Ending::kReset) {
      // A reset that overtakes the reply makes the client drop what it has
      // not read yet: the client is given time to take it all first.
      std::this_thread::sleep_for(kReadTime);
      const linger abortive{1, 0};
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    }
  }
  SSL_free(ssl);
  close(fd);
  return served;
}

}  // namespace testenv

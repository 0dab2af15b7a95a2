#include "platform/net/tls_channel.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "platform/base/failure.h"
#include "platform/net/certificate_check.h"
#include "platform/net/tls_context.h"
#include "platform/net/tls_messages.h"

namespace {

// OpenSSL reads and writes the descriptor itself, through this BIO:
// send with MSG_NOSIGNAL, so a write to a reset connection fails instead
// of raising SIGPIPE, and the errno of the last failure kept for the
// reasons below.
struct SocketBioState {
  int fd = -1;
  int lastError = 0;  // errno of the last failed call; 0 after an end of stream
};

SocketBioState* StateOf(BIO* bio) { return static_cast<SocketBioState*>(BIO_get_data(bio)); }

bool IsRetry(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

int SocketBioWrite(BIO* bio, const char* data, int length) {
  SocketBioState* state = StateOf(bio);
  BIO_clear_retry_flags(bio);
  const ssize_t sent = send(state->fd, data, static_cast<size_t>(length), MSG_NOSIGNAL);
  if (sent >= 0) return static_cast<int>(sent);
  state->lastError = errno;
  if (IsRetry(errno)) BIO_set_retry_write(bio);
  return -1;
}

int SocketBioRead(BIO* bio, char* buffer, int length) {
  SocketBioState* state = StateOf(bio);
  BIO_clear_retry_flags(bio);
  const ssize_t received = recv(state->fd, buffer, static_cast<size_t>(length), 0);
  if (received > 0) return static_cast<int>(received);
  state->lastError = received == 0 ? 0 : errno;
  if (received < 0 && IsRetry(errno)) BIO_set_retry_read(bio);
  return received == 0 ? 0 : -1;
}

long SocketBioControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int SocketBioDestroy(BIO* bio) {
  delete StateOf(bio);
  BIO_set_data(bio, nullptr);
  return 1;
}

BIO_METHOD* SocketBioMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "kestrion socket");
    BIO_meth_set_write(made, SocketBioWrite);
    BIO_meth_set_read(made, SocketBioRead);
    BIO_meth_set_ctrl(made, SocketBioControl);
    BIO_meth_set_destroy(made, SocketBioDestroy);
    return made;
  }();
  return method;
}

BIO* NewSocketBio(int fd) {
  BIO* bio = BIO_new(SocketBioMethod());
  if (!bio) return nullptr;
  BIO_set_data(bio, new SocketBioState{fd, 0});
  BIO_set_init(bio, 1);
  return bio;
}

bool IsOldProtocolRefusal(int reason) {
  return reason == SSL_R_UNSUPPORTED_PROTOCOL || reason == SSL_R_TLSV1_ALERT_PROTOCOL_VERSION ||
         reason == SSL_R_WRONG_SSL_VERSION || reason == SSL_R_NO_PROTOCOLS_AVAILABLE;
}

class OpenSslChannel final : public TlsChannel {
 public:
  OpenSslChannel(SSL* ssl, SocketBioState* bio, std::string host) : m_ssl(ssl), m_bio(bio), m_host(std::move(host)) {}
  ~OpenSslChannel() override { SSL_free(m_ssl); }

  HandshakeStep Handshake() override;
  const std::string& FailureText() const override { return m_failure; }
  ssize_t Receive(void* buffer, size_t length) override;
  ssize_t Peek() override;
  ssize_t Send(const void* data, size_t length) override;
  size_t Buffered() const override { return m_bEstablished ? static_cast<size_t>(SSL_pending(m_ssl)) : 0; }
  bool HoldsUnseenInput() const override;
  void Shutdown() override;

 private:
  std::string DescribeHandshakeFailure(int error) const;
  // A read that gave nothing: -1 with errno, or 0 at the orderly end.
  ssize_t ReadFailure(int result);
  ssize_t Ended() const;

  SSL* m_ssl;
  SocketBioState* m_bio;  // owned by m_ssl
  std::string m_host;
  std::string m_failure;
  bool m_bEstablished = false;
  // The last read wanted more from the descriptor: what is held is at most
  // part of a record.
  bool m_bStarved = true;
  // Set once the stream has ended: 0 after close_notify, else the errno.
  bool m_bEnded = false;
  int m_nEndError = 0;
};

TlsChannel::HandshakeStep OpenSslChannel::Handshake() {
  if (m_bEstablished) return HandshakeStep::kDone;
  if (!m_failure.empty()) return HandshakeStep::kFailed;
  ERR_clear_error();
  const int result = SSL_do_handshake(m_ssl);
  if (result == 1) {
    m_bEstablished = true;
    m_bStarved = false;
    return HandshakeStep::kDone;
  }
  const int error = SSL_get_error(m_ssl, result);
  if (error == SSL_ERROR_WANT_READ) return HandshakeStep::kWantRead;
  if (error == SSL_ERROR_WANT_WRITE) return HandshakeStep::kWantWrite;
  m_failure = DescribeHandshakeFailure(error);
  ERR_clear_error();
  return HandshakeStep::kFailed;
}

std::string OpenSslChannel::DescribeHandshakeFailure(int error) const {
  const long verified = SSL_get_verify_result(m_ssl);
  if (verified != X509_V_OK)
    return Format(tls_messages::kCertificateNotVerified, CertificateProblem(verified, m_host).c_str());
  const unsigned long queued = ERR_peek_error();
  const int reason = ERR_GET_REASON(queued);
  std::string text;
  if (error == SSL_ERROR_SYSCALL || reason == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
    if (m_bio->lastError == ECONNRESET) {
      text = tls_messages::kResetInHandshake;
    } else if (m_bio->lastError == 0 || reason == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
      text = tls_messages::kClosedInHandshake;
    } else {
      text = std::strerror(m_bio->lastError);
    }
  } else if (IsOldProtocolRefusal(reason)) {
    text = tls_messages::kOldProtocol;
  } else if (const char* described = queued ? ERR_reason_error_string(queued) : nullptr) {
    text = described;
  } else {
    text = "error " + std::to_string(error);
  }
  return Format(tls_messages::kSecureConnectionFailed, text.c_str());
}

ssize_t OpenSslChannel::Receive(void* buffer, size_t length) {
  if (!m_bEstablished) {
    errno = ENOTCONN;
    return -1;
  }
  if (m_bEnded) return Ended();
  char* const bytes = static_cast<char*>(buffer);
  size_t total = 0;
  while (total < length) {
    ERR_clear_error();
    size_t got = 0;
    const int result = SSL_read_ex(m_ssl, bytes + total, length - total, &got);
    if (result != 1) {
      // What ended the loop is seen again by the next call, or kept.
      const ssize_t failure = ReadFailure(result);
      return total > 0 ? static_cast<ssize_t>(total) : failure;
    }
    total += got;
  }
  m_bStarved = false;
  return static_cast<ssize_t>(total);
}

ssize_t OpenSslChannel::Peek() {
  if (!m_bEstablished) {
    errno = ENOTCONN;
    return -1;
  }
  if (m_bEnded) return Ended();
  ERR_clear_error();
  char byte = 0;
  size_t got = 0;
  const int result = SSL_peek_ex(m_ssl, &byte, 1, &got);
  if (result != 1) return ReadFailure(result);
  m_bStarved = false;
  return 1;
}

ssize_t OpenSslChannel::ReadFailure(int result) {
  const int error = SSL_get_error(m_ssl, result);
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
    m_bStarved = true;
    errno = EAGAIN;
    return -1;
  }
  m_bEnded = true;
  if (error == SSL_ERROR_ZERO_RETURN) {
    m_nEndError = 0;
  } else if (error == SSL_ERROR_SYSCALL && m_bio->lastError == ECONNRESET) {
    m_nEndError = ECONNRESET;
  } else {
    // A close without close_notify, or a channel that broke: the stream
    // may have been cut anywhere.
    m_nEndError = ECONNABORTED;
  }
  ERR_clear_error();
  return Ended();
}

ssize_t OpenSslChannel::Ended() const {
  if (m_nEndError == 0) return 0;
  errno = m_nEndError;
  return -1;
}

ssize_t OpenSslChannel::Send(const void* data, size_t length) {
  if (!m_bEstablished) {
    errno = ENOTCONN;
    return -1;
  }
  if (m_bEnded && m_nEndError != 0) return Ended();
  ERR_clear_error();
  size_t written = 0;
  const int result = SSL_write_ex(m_ssl, data, length, &written);
  if (result == 1) return static_cast<ssize_t>(written);
  const int error = SSL_get_error(m_ssl, result);
  if (error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_WANT_READ) {
    errno = EAGAIN;
  } else if (error == SSL_ERROR_SYSCALL && m_bio->lastError != 0) {
    errno = m_bio->lastError;
  } else {
    errno = ECONNABORTED;
  }
  ERR_clear_error();
  return -1;
}

bool OpenSslChannel::HoldsUnseenInput() const {
  if (!m_bEstablished) return false;
  return m_bEnded || (!m_bStarved && SSL_has_pending(m_ssl) == 1);
}

void OpenSslChannel::Shutdown() {
  if (!m_bEstablished || (m_bEnded && m_nEndError != 0)) return;
  ERR_clear_error();
  SSL_shutdown(m_ssl);
  ERR_clear_error();
}

}  // namespace

std::unique_ptr<TlsChannel> TlsChannel::Open(int fd, const std::string& host, std::string* reason) {
  const std::shared_ptr<SSL_CTX> context = ClientContext(reason);
  if (!context) return nullptr;
  SSL* ssl = SSL_new(context.get());
  BIO* bio = ssl ? NewSocketBio(fd) : nullptr;
  if (!bio) {
    SSL_free(ssl);
    *reason = "OpenSSL could not start a channel";
    return nullptr;
  }
  SSL_set_bio(ssl, bio, bio);
  if (!ExpectServer(ssl, host)) {
    SSL_free(ssl);
    *reason = "the server's name [" + host + "] cannot be checked";
    return nullptr;
  }
  SSL_set_connect_state(ssl);
  return std::make_unique<OpenSslChannel>(ssl, StateOf(bio), host);
}

void EndTlsOnThisThread() { OPENSSL_thread_stop(); }

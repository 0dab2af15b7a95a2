#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

// Whether this build can make secure connections at all (it was built with
// OpenSSL). Without it every channel fails to open.
bool TlsAvailable();

// Frees what OpenSSL keeps for the calling thread (its random generators),
// which it would otherwise free only as the thread ends: a thread that made
// secure connections calls it before it reports that its work is over.
void EndTlsOnThisThread();

// The client end of TLS 1.2 or 1.3 over one connected, non-blocking TCP
// descriptor, for one server: the name goes out as SNI (not for an IP
// literal), the chain is verified against the system's trust store and the
// CA file named by the registry's CAFile, and the certificate must name the
// host (an IP literal must be among its IP addresses).
//
// Receive, Peek and Send behave as recv and send on the descriptor do, with
// plaintext: a count, 0 at the server's orderly end (close_notify), or -1
// with errno (EAGAIN when they must wait for the descriptor, ECONNRESET for
// a reset, ECONNABORTED for a broken channel or an end without
// close_notify, which may have cut the stream short). Until the handshake
// has completed with the server verified they give nothing at all.
//
// Thread contract: used on one thread; the descriptor stays the caller's.
class TlsChannel {
 public:
  // Prepares a channel over fd for host (a name, or an IP literal, IPv6
  // without brackets), reading the trust settings now. Null, with a text
  // for the kSecureConnectionFailed sentence in *reason, when it cannot.
  static std::unique_ptr<TlsChannel> Open(int fd, const std::string& host, std::string* reason);

  virtual ~TlsChannel() = default;

  enum class HandshakeStep { kDone, kWantRead, kWantWrite, kFailed };
  // Goes on with the handshake as far as the descriptor allows. After
  // kFailed, FailureText says why and the channel gives nothing more.
  virtual HandshakeStep Handshake() = 0;
  // The whole sentence for the user: kCertificateNotVerified or
  // kSecureConnectionFailed with the reason.
  virtual const std::string& FailureText() const = 0;

  // Fills as much of the buffer as the records at hand allow.
  virtual ssize_t Receive(void* buffer, size_t length) = 0;
  // Looks for one byte of plaintext without taking it.
  virtual ssize_t Peek() = 0;
  virtual ssize_t Send(const void* data, size_t length) = 0;

  // Plaintext decrypted and not yet received.
  virtual size_t Buffered() const = 0;
  // Something is held that the descriptor will not signal again: records
  // read ahead, the server's end, a failure. A receive or peek shows it.
  virtual bool HoldsUnseenInput() const = 0;
  // Tells the server the channel ends, if it is sound, without waiting.
  virtual void Shutdown() = 0;
};

#pragma once

// Texts of the secure layer. A failed handshake is told in one of two
// sentences, each ending in the reason; the download shows the sentence as
// its abort reason.
namespace tls_messages {
// The server's certificate, or its name, did not pass the checks.
inline constexpr char kCertificateNotVerified[] = "The server's certificate could not be verified: %s";
// Anything else that ended the handshake.
inline constexpr char kSecureConnectionFailed[] = "The secure connection failed: %s";

inline constexpr char kExpired[] = "the certificate has expired";
inline constexpr char kNotYetValid[] = "the certificate is not valid yet";
inline constexpr char kSelfSigned[] = "the certificate is self-signed";
inline constexpr char kUnknownIssuer[] = "the certificate was issued by an authority that is not trusted";
inline constexpr char kWrongHost[] = "the certificate is not for %s";
inline constexpr char kOldProtocol[] = "the server does not offer TLS 1.2 or 1.3";
inline constexpr char kResetInHandshake[] = "the server reset the connection during the handshake";
inline constexpr char kClosedInHandshake[] = "the server closed the connection during the handshake";
inline constexpr char kHandshakeTooSlow[] = "the server did not complete the handshake within %d seconds";
inline constexpr char kCAFileUnreadable[] = "the CA file %s named by CAFile could not be read (%s)";
inline constexpr char kNoTlsInThisBuild[] = "this copy of the program was built without TLS";
}  // namespace tls_messages

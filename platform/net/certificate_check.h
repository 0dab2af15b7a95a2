#pragma once

#include <openssl/ssl.h>

#include <string>

// Tells the channel which server it must reach: a host name goes out as SNI
// and must match the certificate's DNS names (a wildcard covers one whole
// label); an IP literal (IPv6 without brackets) must be among its IP
// addresses, and no SNI is sent. False when the host is not usable.
bool ExpectServer(SSL* ssl, const std::string& host);

// Whether host is an IPv4 or IPv6 literal.
bool IsAddressLiteral(const std::string& host);

// The reason a verification result gives, in the user's words, for the
// kCertificateNotVerified sentence.
std::string CertificateProblem(long verifyResult, const std::string& host);

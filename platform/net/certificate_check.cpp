#include "platform/net/certificate_check.h"

#include <arpa/inet.h>
#include <openssl/x509v3.h>

#include "platform/base/failure.h"
#include "platform/net/tls_messages.h"

bool IsAddressLiteral(const std::string& host) {
  unsigned char address[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

bool ExpectServer(SSL* ssl, const std::string& host) {
  if (host.empty()) return false;
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
  if (IsAddressLiteral(host)) return X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) == 1;
  X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  return SSL_set1_host(ssl, host.c_str()) == 1 && SSL_set_tlsext_host_name(ssl, host.c_str()) == 1;
}

std::string CertificateProblem(long verifyResult, const std::string& host) {
  switch (verifyResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return tls_messages::kExpired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return tls_messages::kNotYetValid;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      return tls_messages::kSelfSigned;
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return tls_messages::kUnknownIssuer;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return Format(tls_messages::kWrongHost, host.c_str());
    default:
      return X509_verify_cert_error_string(verifyResult);
  }
}

#include "tests/support/tls_nginx_server.h"

namespace testenv {

namespace {

std::string TlsDirectives(TestCertificates::Kind kind) {
  const TestCertificates& certificates = TestCertificates::Shared();
  // Without certificates nginx refuses the ssl listener and says so.
  if (!certificates.Error().empty()) return "";
  const TestCertificates::Pair pair = certificates.For(kind);
  return "    ssl_certificate " + pair.certificate + ";\n" +
         "    ssl_certificate_key " + pair.key + ";\n" +
         "    ssl_protocols TLSv1.2 TLSv1.3;\n"
         "    ssl_ciphers ECDHE+AESGCM;\n"
         "    ssl_conf_command Ciphersuites TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384;\n";
}

}  // namespace

TlsNginxServer::TlsNginxServer(TestCertificates::Kind certificate, const std::string& locations)
    : NginxServer(TlsDirectives(certificate) + locations, "", " ssl") {
  if (!TestCertificates::Shared().Error().empty()) m_error = TestCertificates::Shared().Error();
}

std::string TlsNginxServer::Url(const std::string& name, const std::string& host) const {
  return "https://" + host + ":" + std::to_string(Port()) + "/" + name;
}

}  // namespace testenv

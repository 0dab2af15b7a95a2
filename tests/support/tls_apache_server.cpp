#include "tests/support/tls_apache_server.h"

namespace testenv {

namespace {

std::string SslConfig(TestCertificates::Kind kind) {
  const TestCertificates::Pair pair = TestCertificates::Shared().For(kind);
  return "LoadModule ssl_module /usr/lib/apache2/modules/mod_ssl.so\n"
         "SSLEngine on\n"
         "SSLProtocol -all +TLSv1.2 +TLSv1.3\n"
         "SSLCertificateFile " + pair.certificate + "\n" +
         "SSLCertificateKeyFile " + pair.key + "\n";
}

}  // namespace

TlsApacheServer::TlsApacheServer(TestCertificates::Kind certificate) : ApacheServer(SslConfig(certificate)) {
  if (!TestCertificates::Shared().Error().empty()) m_error = TestCertificates::Shared().Error();
}

std::string TlsApacheServer::Url(const std::string& path) const {
  return "https://" + std::string(kServerAddress) + ":" + std::to_string(Port()) + path;
}

}  // namespace testenv

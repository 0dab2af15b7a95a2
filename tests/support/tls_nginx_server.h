#pragma once

#include <string>

#include "tests/support/nginx_server.h"
#include "tests/support/test_certificates.h"

namespace testenv {

// The real nginx serving https with one of the test certificates, as a fast
// site is set up: sendfile, tcp_nopush, TLS 1.2 and 1.3 with AES-GCM only.
// Otherwise as NginxServer. When the certificates could not be made it does
// not start, and Error() says why.
class TlsNginxServer : public NginxServer {
 public:
  // locations: as NginxServer's.
  explicit TlsNginxServer(TestCertificates::Kind certificate = TestCertificates::Kind::kGood,
                          const std::string& locations = "");

  // https://HOST:PORT/name, HOST the servers' address unless another name is given.
  std::string Url(const std::string& name, const std::string& host = kServerAddress) const;
};

}  // namespace testenv

#pragma once

#include <string>

#include "tests/support/apache_server.h"
#include "tests/support/test_certificates.h"

namespace testenv {

// The real Apache httpd serving https through mod_ssl (TLS 1.2 and 1.3)
// with one of the test certificates; otherwise as ApacheServer.
class TlsApacheServer : public ApacheServer {
 public:
  explicit TlsApacheServer(TestCertificates::Kind certificate = TestCertificates::Kind::kGood);

  std::string Url(const std::string& path) const;
};

}  // namespace testenv

#include "tests/support/old_tls_server.h"

#include "tests/support/test_certificates.h"

namespace testenv {

namespace {

constexpr char kOpenssl[] = "/usr/bin/openssl";

}  // namespace

OldTlsServer::OldTlsServer() {
  if (!TestCertificates::Shared().Error().empty()) {
    m_error = TestCertificates::Shared().Error();
    return;
  }
  StartWithRetries([&] { return Start(); });
}

OldTlsServer::~OldTlsServer() = default;

bool OldTlsServer::Start() {
  m_port = FreeLoopbackPort();
  const TestCertificates::Pair pair = TestCertificates::Shared().For(TestCertificates::Kind::kGood);
  const std::string output = m_dir.File("s_server.out");
  if (m_process.Start({kOpenssl, "s_server", "-accept", std::string(kServerAddress) + ":" + std::to_string(m_port), "-cert",
                       pair.certificate, "-key", pair.key, "-tls1", "-cipher", "DEFAULT@SECLEVEL=0", "-www"},
                      output, m_port))
    return true;
  m_error = "openssl s_server did not start: " + ReadFile(output);
  return false;
}

}  // namespace testenv

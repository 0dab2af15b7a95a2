#include "tests/support/test_certificates.h"

namespace testenv {

namespace {

constexpr char kOpenssl[] = "/usr/bin/openssl";
constexpr char kOurHost[] = "IP:127.0.0.2,DNS:localhost";

std::string NameOf(TestCertificates::Kind kind) {
  switch (kind) {
    case TestCertificates::Kind::kGood:
      return "good";
    case TestCertificates::Kind::kExpired:
      return "expired";
    case TestCertificates::Kind::kSelfSigned:
      return "self-signed";
    case TestCertificates::Kind::kOtherHost:
      return "other-host";
    case TestCertificates::Kind::kUntrustedIssuer:
      return "untrusted";
  }
  return "";
}

}  // namespace

const TestCertificates& TestCertificates::Shared() {
  static const TestCertificates certificates;
  return certificates;
}

TestCertificates::TestCertificates() {
  if (!Make() && m_error.empty()) m_error = "openssl could not make the test certificates";
}

TestCertificates::Pair TestCertificates::For(Kind kind) const {
  const std::string name = NameOf(kind);
  return {m_dir.File(name + ".pem"), m_dir.File(name + ".key")};
}

bool TestCertificates::Make() {
  return MakeCA("ca", "/CN=Kestrion Test CA") && MakeCA("other-ca", "/CN=Untrusted Test CA") &&
         MakeSigned("good", "ca", kOurHost, 30) && MakeSigned("expired", "ca", kOurHost, -1) &&
         MakeSigned("other-host", "ca", "DNS:other.example,IP:127.0.0.3", 30) &&
         MakeSigned("untrusted", "other-ca", kOurHost, 30) &&
         Run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days", "30",
              "-subj", "/CN=127.0.0.2", "-addext", std::string("subjectAltName=") + kOurHost, "-keyout",
              "self-signed.key", "-out", "self-signed.pem"});
}

bool TestCertificates::Run(const std::vector<std::string>& args) {
  if (!m_error.empty()) return false;
  const RunResult result = RunProgram(kOpenssl, args, m_dir.Path(), {});
  if (result.exitCode == 0) return true;
  m_error = "openssl " + args.front() + " failed: " + result.output;
  return false;
}

bool TestCertificates::MakeCA(const std::string& name, const std::string& subject) {
  return Run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days", "30",
              "-subj", subject, "-keyout", name + ".key", "-out", name + ".pem"});
}

// A negative number of days makes a certificate that has already expired.
bool TestCertificates::MakeSigned(const std::string& name, const std::string& ca, const std::string& names,
                                  int days) {
  WriteFile(m_dir.File(name + ".ext"), "subjectAltName=" + names + "\n");
  return Run({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-subj", "/CN=" + name,
              "-keyout", name + ".key", "-out", name + ".csr"}) &&
         Run({"x509", "-req", "-in", name + ".csr", "-CA", ca + ".pem", "-CAkey", ca + ".key", "-CAcreateserial",
              "-days", std::to_string(days), "-extfile", name + ".ext", "-out", name + ".pem"});
}

}  // namespace testenv

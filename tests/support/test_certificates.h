#pragma once

#include <string>

#include "tests/support/test_env.h"

namespace testenv {

// Certificates made at test time with the openssl tool, in a scratch folder:
// a CA the tests trust (through CAFile) and, for the servers' address 127.0.0.2 and localhost, a
// good server certificate and bad ones. Made once per test process.
class TestCertificates {
 public:
  enum class Kind {
    kGood,             // signed by the CA, for IP 127.0.0.2 and DNS localhost
    kExpired,          // the same, expired yesterday
    kSelfSigned,       // for 127.0.0.2 and localhost, signed by its own key
    kOtherHost,        // signed by the CA, for other.example and 127.0.0.3
    kUntrustedIssuer,  // for 127.0.0.2 and localhost, signed by a CA nobody trusts
  };
  struct Pair {
    std::string certificate;  // PEM files
    std::string key;
  };

  // The process's set, made on first use. Error() is empty when it was made.
  static const TestCertificates& Shared();

  const std::string& Error() const { return m_error; }
  // The trusted CA's certificate, for CAFile.
  std::string CAFile() const { return m_dir.File("ca.pem"); }
  Pair For(Kind kind) const;

 private:
  TestCertificates();
  bool Make();
  bool Run(const std::vector<std::string>& args);
  bool MakeCA(const std::string& name, const std::string& subject);
  bool MakeSigned(const std::string& name, const std::string& ca, const std::string& names, int days);

  ScratchDir m_dir;
  std::string m_error;
};

}  // namespace testenv

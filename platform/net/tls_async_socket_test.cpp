#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "platform/files/file.h"
#include "platform/files/file_receiver.h"
#include "platform/loop/event_loop.h"
#include "platform/net/socket.h"
#include "tests/support/loopback.h"
#include "tests/support/old_tls_server.h"
#include "tests/support/registry_values.h"
#include "tests/support/test_certificates.h"
#include "tests/support/tls_apache_server.h"
#include "tests/support/tls_nginx_server.h"
#include "tests/support/tls_test_server.h"

using namespace std::chrono_literals;
using testenv::TestCertificates;

namespace {

constexpr char kProgramKey[] = "SOFTWARE\\Morvane\\Kestrion";

// Reads everything it is told of, in pieces of `chunk` bytes, and keeps the
// notifications.
class SecureClient : public CSocket {
 public:
  explicit SecureClient(int chunk = 262144) : m_chunk(chunk) {}
  void OnReceive(int) override {
    ++receives;
    std::string buffer(static_cast<size_t>(m_chunk), '\0');
    const int count = Receive(buffer.data(), m_chunk);
    if (count > 0) data.append(buffer, 0, static_cast<size_t>(count));
  }
  void OnClose(int nErrorCode) override {
    closed = true;
    closeCode = nErrorCode;
  }
  void OnConnect(int nErrorCode) override {
    connected = true;
    connectCode = nErrorCode;
  }

  int receives = 0;
  std::string data;
  bool closed = false;
  int closeCode = -1;
  bool connected = false;
  int connectCode = -1;

 private:
  int m_chunk;
};

void OnFreshThread(const std::function<void()>& body) { std::thread(body).join(); }

void PumpUntil(const std::function<bool()>& done) { EventLoop::ForThisThread().PumpUntil(done, 20s); }

std::string Request(const std::string& path, const std::string& host, bool keepAlive) {
  return "GET " + path + " HTTP/1.1\r\nHost: " + host + (keepAlive ? "" : "\r\nConnection: close") + "\r\n\r\n";
}

std::string BodyOf(const std::string& response) {
  const size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : response.substr(end + 4);
}

size_t BodyLength(const std::string& response) {
  const size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? 0 : response.size() - end - 4;
}

class TlsSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestCertificates::Shared().Error().empty()) GTEST_SKIP() << TestCertificates::Shared().Error();
    setenv("KESTRION_REGISTRY", m_registry.Path().c_str(), 1);
    testenv::SetRegistryString(HKEY_LOCAL_MACHINE, kProgramKey, "CAFile", TestCertificates::Shared().CAFile());
  }
  void TearDown() override { unsetenv("KESTRION_REGISTRY"); }

  testenv::ScratchDir m_registry;
};

// The certificate is checked against host; the connection goes to the
// servers' address whatever the name (localhost would be the client's own).
std::string ConnectFailure(const std::string& host, int port) {
  std::string failure;
  OnFreshThread([&] {
    SecureClient client;
    ASSERT_TRUE(client.Create());
    ASSERT_TRUE(client.MakeSecure(host));
    EXPECT_FALSE(client.Connect(testenv::kServerAddress, static_cast<unsigned>(port)));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAECONNABORTED);
    failure = client.GetSecureFailure();
    // Nothing of the connection can be read, nor was anything delivered.
    char byte = 0;
    EXPECT_EQ(client.Receive(&byte, 1), SOCKET_ERROR);
    EXPECT_EQ(client.receives, 0);
  });
  return failure;
}

}  // namespace

TEST_F(TlsSocketTest, ReadsTheExactBytesFromRealServers) {
  const std::string file = testenv::PatternBytes(3 * 1024 * 1024 + 17);
  testenv::TlsNginxServer nginx;
  testenv::TlsApacheServer apache;
  ASSERT_TRUE(nginx.Running()) << nginx.Error();
  ASSERT_TRUE(apache.Running()) << apache.Error();
  testenv::WriteFile(nginx.FilePath("f.bin"), file);
  apache.AddFile("f.bin", file);
  struct Case {
    int port;
    const char* host;
    int chunk;  // small pieces leave decrypted bytes behind after each receive
    bool keepAlive;  // then nothing more arrives to signal what is left
  };
  for (const Case& c : {Case{nginx.Port(), testenv::kServerAddress, 262144, false}, Case{nginx.Port(), "localhost", 1000, true},
                        Case{apache.Port(), testenv::kServerAddress, 7000, false}}) {
    SCOPED_TRACE(std::to_string(c.port) + " " + c.host);
    OnFreshThread([&] {
      SecureClient client(c.chunk);
      ASSERT_TRUE(client.Create());
      ASSERT_TRUE(client.MakeSecure(c.host));
      ASSERT_TRUE(client.Connect(testenv::kServerAddress, static_cast<unsigned>(c.port))) << client.GetSecureFailure();
      EXPECT_TRUE(client.IsSecure());
      const std::string request = Request("/f.bin", c.host, c.keepAlive);
      ASSERT_EQ(client.Send(request.data(), static_cast<int>(request.size())), static_cast<int>(request.size()));
      PumpUntil([&] { return client.closed || BodyLength(client.data) >= file.size(); });
      EXPECT_TRUE(BodyOf(client.data) == file) << client.data.size() << " bytes";
      if (!c.keepAlive) {
        PumpUntil([&] { return client.closed; });
        EXPECT_EQ(client.closeCode, 0);
      }
      EXPECT_EQ(client.GetSecureFailure(), "");
    });
  }
}

TEST_F(TlsSocketTest, RefusesEachBadCertificateWithItsReason) {
  using Kind = TestCertificates::Kind;
  const std::string unknown = "The server's certificate could not be verified: the certificate was issued by an "
                              "authority that is not trusted";
  struct Case {
    Kind kind;
    const char* host;
    const char* caFile;  // nullptr: the test CA
    std::string failure;
  };
  const Case cases[] = {
      {Kind::kExpired, testenv::kServerAddress, nullptr,
       "The server's certificate could not be verified: the certificate has expired"},
      {Kind::kSelfSigned, "localhost", nullptr,
       "The server's certificate could not be verified: the certificate is self-signed"},
      {Kind::kOtherHost, testenv::kServerAddress, nullptr,
       std::string("The server's certificate could not be verified: the certificate is not for ") + testenv::kServerHost},
      {Kind::kOtherHost, "localhost", nullptr,
       "The server's certificate could not be verified: the certificate is not for localhost"},
      {Kind::kUntrustedIssuer, testenv::kServerAddress, nullptr, unknown},
      {Kind::kGood, testenv::kServerAddress, "", unknown},
      {Kind::kGood, testenv::kServerAddress, "/nonexistent/ca.pem",
       "The secure connection failed: the CA file /nonexistent/ca.pem named by CAFile could not be read (No such "
       "file or directory)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failure + " for " + c.host);
    if (c.caFile) testenv::SetRegistryString(HKEY_LOCAL_MACHINE, kProgramKey, "CAFile", c.caFile);
    testenv::TlsNginxServer nginx(c.kind);
    ASSERT_TRUE(nginx.Running()) << nginx.Error();
    EXPECT_EQ(ConnectFailure(c.host, nginx.Port()), c.failure);
    testenv::SetRegistryString(HKEY_LOCAL_MACHINE, kProgramKey, "CAFile", TestCertificates::Shared().CAFile());
  }
}

TEST_F(TlsSocketTest, RefusesAServerThatOffersOnlyTls10) {
  testenv::OldTlsServer server;
  ASSERT_TRUE(server.Running()) << server.Error();
  EXPECT_EQ(ConnectFailure(testenv::kServerAddress, server.Port()),
            "The secure connection failed: the server does not offer TLS 1.2 or 1.3");
}

TEST_F(TlsSocketTest, AHandshakeThatNeverEndsFailsAtItsLimit) {
  testenv::SilentServer server;
  OnFreshThread([&] {
    SecureClient client;
    ASSERT_TRUE(client.Create());
    ASSERT_TRUE(client.MakeSecure(testenv::kServerAddress, 1s));
    EXPECT_FALSE(client.Connect(testenv::kServerAddress, static_cast<unsigned>(server.Port())));
    EXPECT_EQ(CAsyncSocket::GetLastError(), WSAETIMEDOUT);
    EXPECT_EQ(client.GetSecureFailure(),
              "The secure connection failed: the server did not complete the handshake within 1 seconds");
  });
}

// The asynchronous flavour: OnConnect only once the server is verified, the
// ends told as for a plain socket, a cut stream told apart.
TEST_F(TlsSocketTest, TellsHowTheServerEndedAsForPlainSockets) {
  using Ending = testenv::TlsTestServer::Ending;
  const std::string reply = testenv::PatternBytes(200000);
  struct Case {
    Ending ending;
    int closeCode;
  };
  for (const Case& c : {Case{Ending::kCloseNotify, 0}, Case{Ending::kPlainClose, WSAECONNABORTED},
                        Case{Ending::kReset, WSAECONNRESET}}) {
    SCOPED_TRACE(c.closeCode);
    testenv::TlsTestServer server(reply, c.ending);
    OnFreshThread([&] {
      SecureClient client(5000);
      ASSERT_TRUE(client.CAsyncSocket::Create());
      ASSERT_TRUE(client.MakeSecure("localhost"));
      EXPECT_FALSE(client.CAsyncSocket::Connect(testenv::kServerAddress, static_cast<unsigned>(server.Port())));
      PumpUntil([&] { return client.connected; });
      ASSERT_EQ(client.connectCode, 0) << client.GetSecureFailure();
      EXPECT_EQ(client.CAsyncSocket::Send("hello", 5), 5);
      PumpUntil([&] { return client.closed; });
      EXPECT_EQ(client.closeCode, c.closeCode);
      if (c.ending != Ending::kReset) {
        EXPECT_TRUE(client.data == reply) << client.data.size() << " bytes";
      }
      CFile file;
      EXPECT_EQ(client.ReceiveToFile(*std::make_unique<CFileReceiver>(file), 1), SOCKET_ERROR);
      EXPECT_EQ(CAsyncSocket::GetLastError(), WSAEOPNOTSUPP);
    });
  }
}

#include <set>

#include "tests/ftp/ftp_download_fixture.h"
#include "tests/support/vsftpd_server.h"

namespace {

using testenv::PatternBytes;
using testenv::VsftpdServer;

// The restart offsets of the sessions that sent RETR, from the server's log.
std::multiset<int64_t> RetrOffsets(const VsftpdServer& server) {
  std::multiset<int64_t> offsets;
  for (const auto& [pid, commands] : server.CommandsBySession()) {
    int64_t offset = 0;
    for (const auto& command : commands) {
      if (command.compare(0, 5, "REST ") == 0) offset = std::stoll(command.substr(5));
      if (command.compare(0, 5, "RETR ") == 0) offsets.insert(offset);
    }
  }
  return offsets;
}

class VsftpdDownloadTest : public FtpDownloadTest {
 protected:
  void SetUp() override {
    FtpDownloadTest::SetUp();
    if (!VsftpdServer::Available()) GTEST_SKIP() << VsftpdServer::kBinary << " is not installed";
    m_server = std::make_unique<VsftpdServer>();
    ASSERT_TRUE(m_server->Running()) << m_server->Error();
  }

  void ExpectDownload(size_t size, const std::multiset<int64_t>& offsets) {
    const std::string file = PatternBytes(size, static_cast<unsigned>(size));
    m_server->AddFile("file.bin", file);
    const Outcome outcome = Download(m_server->Url("file.bin"), std::chrono::seconds(120));
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.messages, std::vector<std::string>{Completed(m_server->FilePath("file.bin"))});
    EXPECT_TRUE(outcome.output == file) << "destination differs from the served file";
    EXPECT_TRUE(outcome.leftovers.empty());
    EXPECT_EQ(RetrOffsets(*m_server), offsets) << m_server->Log();
  }

  std::unique_ptr<VsftpdServer> m_server;
};

TEST_F(VsftpdDownloadTest, OneHundredThousandBytesOnOneConnection) { ExpectDownload(100000, {0}); }

TEST_F(VsftpdDownloadTest, OneHundredThousandAndOneBytesOnFour) {
  ExpectDownload(100001, {0, 25000, 50000, 75000});
}

TEST_F(VsftpdDownloadTest, OneMebibyte) { ExpectDownload(1 << 20, {0, 262144, 524288, 786432}); }

TEST_F(VsftpdDownloadTest, SixtyFourMebibytes) {
  ExpectDownload(64 << 20, {0, 16777216, 33554432, 50331648});
}

TEST_F(VsftpdDownloadTest, MissingFileIsReportedWithTheServersReply) {
  const Outcome outcome = Download(m_server->Url("absent.bin"));
  EXPECT_NE(outcome.exitCode, 0);
  EXPECT_EQ(outcome.messages, std::vector<std::string>{Aborted("RETR rejected - 550 Failed to open file.")});
  EXPECT_TRUE(outcome.leftovers.empty());
  EXPECT_FALSE(outcome.outputExists);
}

}  // namespace

#include <unistd.h>

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
    EXPECT_DOWNLOADED(Download(m_server->Url("file.bin"), std::chrono::seconds(120)), file);
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

// As Debian ships vsftpd, a local user is not confined to the home folder:
// a URL's path is relative to it (RFC 1738), "/%2F" makes it absolute, and
// the file's name reaches the server decoded once, '%' and parentheses and
// all. Each file is split, so every connection uses the same path.
class VsftpdLocalUserTest : public FtpDownloadTest {};

TEST_F(VsftpdLocalUserTest, PathsAreRelativeToTheHomeFolder) {
  if (!VsftpdServer::Available()) GTEST_SKIP() << VsftpdServer::kBinary << " is not installed";
  if (geteuid() != 0) GTEST_SKIP() << "a local user of its own needs root";
  const struct {
    std::string name;     // in the home folder
    std::string urlPath;  // as the URL writes it; empty: the absolute path
  } cases[] = {
      {"file.bin", "file.bin"},
      {"file (1).bin", "file%20(1).bin"},
      {"report (2024).bin", "report%20(2024).bin"},
      {"x%41y.bin", "x%2541y.bin"},
      {"abs.bin", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VsftpdServer server(VsftpdServer::Login::kLocalUser);
    ASSERT_TRUE(server.Running()) << server.Error();
    const std::string file = PatternBytes(300000, static_cast<unsigned>(c.name.size()));
    server.AddFile(c.name, file);
    const std::string urlPath = c.urlPath.empty() ? "%2F" + server.FilePath(c.name).substr(1) : c.urlPath;
    const Outcome outcome = Download(server.Url(urlPath), std::chrono::seconds(60));
    EXPECT_EQ(outcome.exitCode, 0) << server.Log();
    EXPECT_EQ(outcome.messages.size(), 1u);
    EXPECT_TRUE(outcome.output == file) << "destination differs from the served file";
    EXPECT_TRUE(outcome.leftovers.empty());
    EXPECT_EQ(RetrOffsets(server), (std::multiset<int64_t>{0, 75000, 150000, 225000}));
    std::filesystem::remove(Destination());
  }
}

}  // namespace

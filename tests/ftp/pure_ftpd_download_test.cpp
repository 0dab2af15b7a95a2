// Downloads from a real pure-ftpd, whose opening reply names no size in
// bytes ("150 2048.0 kbytes to download"): SIZE gives it.
#include "tests/ftp/ftp_download_fixture.h"
#include "tests/support/pure_ftpd_server.h"

namespace {

using testenv::PatternBytes;
using testenv::PureFtpdServer;

class PureFtpdDownloadTest : public FtpDownloadTest {
 protected:
  void SetUp() override {
    FtpDownloadTest::SetUp();
    ASSERT_TRUE(m_server.Running()) << m_server.Error();
  }
  PureFtpdServer m_server;
};

TEST_F(PureFtpdDownloadTest, TheSizeFromSIZESplitsTheFileIntoFour) {
  const std::string file = PatternBytes(2 << 20, 81);
  m_server.AddFile("file.bin", file);
  const Outcome outcome = Download(m_server.Url("file.bin"), std::chrono::seconds(120));
  EXPECT_DOWNLOADED(outcome, file);
  ASSERT_EQ(outcome.connections.size(), 10u);
  for (int i = 0; i < 4; ++i) EXPECT_NE(outcome.connections[i], ".") << "connection " << i + 1;
  EXPECT_EQ(outcome.connections[4], ".") << "no fifth connection";
}

}  // namespace

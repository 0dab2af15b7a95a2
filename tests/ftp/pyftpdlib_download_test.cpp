// Downloads from a real pyftpdlib, which connects for data at PORT time and
// then starts each transfer with 125.
#include "tests/ftp/ftp_download_fixture.h"
#include "tests/support/pyftpdlib_server.h"

namespace {

using testenv::PatternBytes;
using testenv::PyftpdlibServer;

class PyftpdlibDownloadTest : public FtpDownloadTest {
 protected:
  void SetUp() override {
    FtpDownloadTest::SetUp();
    ASSERT_TRUE(m_server.Running()) << m_server.Error();
  }
  PyftpdlibServer m_server;
};

// pyftpdlib 1.5.7 answers an ABOR after an active-mode transfer by closing
// its data connector a second time, which can drop another client's control
// connection that took the same descriptor: one of the four then hears
// nothing more after USER and is replaced once the login's bound (10 s, or
// StallSeconds when shorter) has passed.
TEST_F(PyftpdlibDownloadTest, TransfersThatOpenWith125Download) {
  SetStallSeconds(3);
  for (const size_t size : {size_t{5000}, size_t{1} << 20}) {
    SCOPED_TRACE(size);
    const std::string file = PatternBytes(size, 91);
    m_server.AddFile("file.bin", file);
    EXPECT_DOWNLOADED(Download(m_server.Url("file.bin"), std::chrono::seconds(120)), file);
    std::filesystem::remove(Destination());
  }
  EXPECT_NE(m_server.Log().find("125 Data connection already open"), std::string::npos) << m_server.Log();
}

// A banner longer than a line, set up as pyftpdlib's documentation shows,
// goes out as one reply of several lines, and one of them reads like a
// reply of its own: the login still goes on once, after the last line.
class PyftpdlibBannerTest : public FtpDownloadTest {};

TEST_F(PyftpdlibBannerTest, AMultiLineGreetingEndsOnlyAtItsOwnCode) {
  PyftpdlibServer server(
      "Welcome to the Kestrion test archive.\r\nAll transfers are logged.\r\n"
      "Please report problems to the administrator.");
  ASSERT_TRUE(server.Running()) << server.Error();
  const std::string file = PatternBytes(5000, 92);
  server.AddFile("file.bin", file);
  EXPECT_DOWNLOADED(Download(server.Url("file.bin")), file);
  const std::string log = server.Log();
  EXPECT_NE(log.find("All transfers are logged."), std::string::npos) << log;
}

}  // namespace

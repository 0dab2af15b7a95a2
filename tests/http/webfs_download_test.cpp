// Downloads from webfs, which refuses a range that reaches past the end of
// the file: every range asks for exactly the bytes it keeps.
#include <gtest/gtest.h>

#include "tests/http/download_fixture.h"
#include "tests/support/webfs_server.h"

namespace {

using testenv::WebfsServer;

class WebfsDownloadTest : public DownloadTest {
 protected:
  void SetUp() override { ASSERT_TRUE(webfs.Running()) << webfs.Error(); }
  WebfsServer webfs;
};

TEST_F(WebfsDownloadTest, SizesAroundTheSplitComeWhole) {
  for (const size_t size : {50000, 50001, 50003, 1 << 20}) {
    const std::string name = "f" + std::to_string(size) + ".bin";
    SCOPED_TRACE(name);
    testenv::WriteFile(webfs.FilePath(name), testenv::PatternBytes(size, static_cast<unsigned>(size)));
    const Outcome outcome = Run(webfs.Url(name), Path(name), std::chrono::seconds(30));
    ExpectSuccess(outcome, "/" + name);
    ExpectFileHolds(name, testenv::ReadFile(webfs.FilePath(name)));
  }
}

}  // namespace

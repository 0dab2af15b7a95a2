// Downloads from a real nginx: sizes around the split, large files and one
// beyond 2 GiB, each compared byte for byte with what nginx served.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "tests/http/download_fixture.h"
#include "tests/support/nginx_server.h"

namespace {

using testenv::NginxServer;

bool SameBytes(const std::string& a, const std::string& b) {
  std::ifstream left(a, std::ios::binary), right(b, std::ios::binary);
  if (!left || !right) return false;
  std::vector<char> x(1 << 20), y(1 << 20);
  while (true) {
    left.read(x.data(), static_cast<std::streamsize>(x.size()));
    right.read(y.data(), static_cast<std::streamsize>(y.size()));
    if (left.gcount() != right.gcount()) return false;
    if (left.gcount() == 0) return true;
    if (std::memcmp(x.data(), y.data(), static_cast<size_t>(left.gcount())) != 0) return false;
  }
}

void WritePattern(const std::string& path, int64_t size, unsigned seed) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string block = testenv::PatternBytes(1 << 20, seed);
  for (int64_t left = size; left > 0; left -= static_cast<int64_t>(block.size()))
    out.write(block.data(), static_cast<std::streamsize>(std::min<int64_t>(left, block.size())));
}

class NginxDownloadTest : public DownloadTest {
 protected:
  void SetUp() override {
    if (!NginxServer::Available()) GTEST_SKIP() << "skipped: " << NginxServer::kBinary << " is not installed";
    ASSERT_TRUE(nginx.Running()) << nginx.Error();
  }

  // Downloads the served file and checks the result and the requests nginx saw.
  void ExpectDownloaded(const std::string& name, size_t requests, std::chrono::seconds timeout) {
    const size_t before = nginx.AccessLog().size();
    Outcome outcome = Run(nginx.Url(name), Path(name), timeout);
    ExpectSuccess(outcome, "/" + name);
    EXPECT_EQ(std::filesystem::file_size(Path(name)), std::filesystem::file_size(nginx.FilePath(name)));
    EXPECT_TRUE(SameBytes(Path(name), nginx.FilePath(name))) << name << " differs from the served file";
    EXPECT_EQ(nginx.AccessLog().size() - before, requests) << name;
    std::filesystem::remove(Path(name));
  }

  NginxServer nginx;
};

TEST_F(NginxDownloadTest, SmallFilesAroundTheSplitComeWhole) {
  const std::pair<int64_t, size_t> cases[] = {{0, 1}, {1, 1}, {50000, 1}, {50001, 4}, {1 << 20, 4}};
  for (const auto& [size, requests] : cases) {
    const std::string name = "f" + std::to_string(size) + ".bin";
    WritePattern(nginx.FilePath(name), size, static_cast<unsigned>(size));
    SCOPED_TRACE(name);
    ExpectDownloaded(name, requests, std::chrono::seconds(30));
  }
}

TEST_F(NginxDownloadTest, FourRangedRequestsServeTheSplit) {
  WritePattern(nginx.FilePath("split.bin"), 1 << 20, 3);
  ExpectDownloaded("split.bin", 4, std::chrono::seconds(30));
  std::vector<std::string> log = nginx.AccessLog();
  ASSERT_EQ(log.size(), 4u);
  // Status and range of each; what nginx counts as sent for the first one
  // depends on how much it had pushed out before the connection closed.
  std::vector<std::string> seen;
  for (const std::string& line : log) seen.push_back(line.substr(0, line.find('|', line.find('|') + 1)));
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"206|bytes=0-", "206|bytes=262144-524287", "206|bytes=524288-786431",
                                            "206|bytes=786432-1048575"}));
}

// "%2541" in the URL is a '%' of the name, and goes out as %25 again.
TEST_F(NginxDownloadTest, APercentInTheNameSurvives) {
  WritePattern(nginx.FilePath("x%41y.bin"), 70000, 9);
  const Outcome outcome = Run(nginx.Url("x%2541y.bin"), Path("out.bin"), std::chrono::seconds(30));
  ExpectSuccess(outcome, "/x%41y.bin");
  EXPECT_TRUE(SameBytes(Path("out.bin"), nginx.FilePath("x%41y.bin")));
}

// nginx's limit_conn refuses connections above its limit with 503: the
// download goes on with the connections it is allowed, one after another.
TEST_F(NginxDownloadTest, ALimitOnConnectionsIsNoFailure) {
  for (const int limit : {1, 2}) {
    SCOPED_TRACE(std::to_string(limit) + " connections allowed");
    // The rate keeps the first connection busy (nginx sends a second's worth
    // at once) while the others ask.
    NginxServer limited("limit_conn one " + std::to_string(limit) + ";\nlimit_rate 128k;\n",
                        "limit_conn_zone $binary_remote_addr zone=one:1m;\n");
    ASSERT_TRUE(limited.Running()) << limited.Error();
    WritePattern(limited.FilePath("f.bin"), 1 << 20, 10);
    const Outcome outcome = Run(limited.Url("f.bin"), Path("f.bin"), std::chrono::seconds(60));
    ExpectSuccess(outcome, "/f.bin");
    EXPECT_TRUE(SameBytes(Path("f.bin"), limited.FilePath("f.bin")));
    const std::vector<std::string> log = limited.AccessLog();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& line) { return line.rfind("206|", 0) == 0; }),
              4);
    EXPECT_GT(std::count_if(log.begin(), log.end(), [](const std::string& line) { return line.rfind("503|", 0) == 0; }),
              0);
    std::filesystem::remove(Path("f.bin"));
  }
}

TEST_F(NginxDownloadTest, SixtyFourMebibytes) {
  WritePattern(nginx.FilePath("big.bin"), int64_t{64} << 20, 5);
  ExpectDownloaded("big.bin", 4, std::chrono::seconds(120));
}

// Sparse on the server side; the download itself writes it all out twice
// (pieces, then the destination), hence the disk check.
TEST_F(NginxDownloadTest, BeyondTwoGibibytes) {
  const char* skip = std::getenv("KESTRION_SKIP_HUGE");
  if (skip && std::string(skip) == "1") {
    std::cout << "skipped: the download beyond 2 GiB (KESTRION_SKIP_HUGE=1)\n";
    GTEST_SKIP();
  }
  const auto space = std::filesystem::space(dir.Path());
  if (space.available < (uint64_t{6} << 30)) {
    std::cout << "skipped: the download beyond 2 GiB needs 6 GiB free, " << (space.available >> 20) << " MiB are\n";
    GTEST_SKIP();
  }
  const int64_t size = (int64_t{1} << 31) + 12345;
  const std::string source = nginx.FilePath("huge.bin");
  {
    std::ofstream out(source, std::ios::binary);
  }
  std::filesystem::resize_file(source, static_cast<uintmax_t>(size));
  // Marks where a 32-bit offset would go wrong: the start, across 2^31, the end.
  std::fstream marks(source, std::ios::binary | std::ios::in | std::ios::out);
  for (int64_t at : {int64_t{0}, (int64_t{1} << 31) - 2048, size - 4096}) {
    const std::string mark = testenv::PatternBytes(4096, static_cast<unsigned>(at));
    marks.seekp(at);
    marks.write(mark.data(), static_cast<std::streamsize>(mark.size()));
  }
  marks.close();
  ExpectDownloaded("huge.bin", 4, std::chrono::seconds(600));
}

}  // namespace

// Destinations as a user may give them: a pipe nobody reads, a link to one,
// names up to the longest the folder takes.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/http/download_fixture.h"
#include "tests/support/http_test_server.h"

namespace {

using namespace std::chrono_literals;

class DestinationTest : public DownloadTest {};

// Writing into a pipe would block for good: it is refused at once, like a
// folder, with the system's reason, and the pipe stays as it was.
TEST_F(DestinationTest, APipeOrALinkToOneIsRefusedNamingWhy) {
  testenv::HttpTestServer server(testenv::PatternBytes(80000, 31));
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  std::filesystem::create_symlink(Path("pipe"), Path("link"));
  for (const std::string name : {"pipe", "link"}) {
    const auto started = std::chrono::steady_clock::now();
    const Outcome outcome = Run(server.URL(), Path(name), 30s);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s) << name;
    EXPECT_EQ(outcome.messages,
              (std::vector<std::string>{"Request output filename could not be created, please select again (" +
                                            Path(name) + ": Not a regular file)",
                                        "Download Aborted. (Reason=File " + Path(name) +
                                            " could not be created: Not a regular file)"}))
        << name;
    EXPECT_EQ(outcome.exitCode, 1) << name;
    ExpectNoPieces();
    EXPECT_TRUE(std::filesystem::is_fifo(Path("pipe")));
  }
}

// The temporary name beside the destination is shortened to fit.
TEST_F(DestinationTest, NamesUpToTheLimitDownload) {
  testenv::HttpTestServer server(testenv::PatternBytes(80000, 32));
  for (const size_t length : {size_t{247}, size_t{255}}) {
    const std::string name(length, 'n');
    ExpectSuccess(Run(server.URL(), Path(name)), "/file.bin");
    ExpectFileHolds(name, server.Content());
  }
  EXPECT_EQ(testenv::ListFiles(dir.Path(), "n").size(), 2u) << "a part file is left";
}

}  // namespace

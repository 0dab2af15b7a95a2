// The end of an FTP download: a destination that cannot be made, and the
// room the join needs.
#include <filesystem>

#include "tests/ftp/ftp_download_fixture.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/small_disk.h"

namespace {

using testenv::FtpSessionScript;
using testenv::FtpTestServer;
using testenv::PatternBytes;
using namespace std::chrono_literals;

class FtpJoinTest : public FtpDownloadTest {};

// With nobody to answer, the save dialog can only give the same path back:
// the second refusal ends the download, and nothing is left behind.
TEST_F(FtpJoinTest, ADestinationThatCannotBeMadeEndsTheDownload) {
  const std::string folder = m_dir.File("folder"), missing = m_dir.File("missing/out.bin"),
                    removed = m_dir.File("removed/out.bin");
  // A folder that is missing at the start is found before connecting; one
  // removed on the way takes the pieces with it.
  const std::pair<std::string, std::string> cases[] = {
      {folder, "Is a directory"}, {missing, "No such file or directory"}, {removed, "No such file or directory"}};
  for (const auto& [destination, reason] : cases) {
    SCOPED_TRACE(destination);
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(m_dir.File("removed"));
    FtpTestServer server(PatternBytes(300000));
    FtpSessionScript script;
    const std::string gone = m_dir.File("removed");
    // The download may be making a file there at the same moment.
    script.beforeData = [gone] {
      std::error_code error;
      for (int i = 0; i < 100 && std::filesystem::exists(gone); ++i) std::filesystem::remove_all(gone, error);
    };
    server.SetDefaultScript(script);
    const auto started = std::chrono::steady_clock::now();
    const Outcome outcome = DownloadTo(server.Url(), destination);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
    const std::vector<std::string> refused = {
        "Request output filename could not be created, please select again (" + destination + ": " + reason + ")",
        Aborted("File " + destination + " could not be created: " + reason)};
    const std::vector<std::string> piecesGone = {
        Aborted("TempFile could not be created!!! (" + gone + ": " + reason + ")")};
    EXPECT_EQ(outcome.messages, destination == removed ? piecesGone : refused);
    EXPECT_NE(outcome.exitCode, 0);
    EXPECT_NE(outcome.exitCode, -1) << "kestrion did not end";
    EXPECT_TRUE(outcome.leftovers.empty());
    EXPECT_FALSE(std::filesystem::is_regular_file(destination));
  }
}

// Pieces of 3 MiB and the file they make, on a 5 MiB disk: they fit only
// when each piece goes as soon as it has been joined.
TEST_F(FtpJoinTest, TheJoinNeedsRoomForTheFileAndOnePieceOnly) {
  testenv::SmallDisk disk(WorkDir(), "5m");
  if (!disk.ok()) GTEST_SKIP() << "skipped: cannot mount a tmpfs here";
  const std::string file = PatternBytes(3 << 20, 61);
  FtpTestServer server(file);
  const Outcome outcome = DownloadTo(server.Url(), WorkDir() + "/out.bin");
  EXPECT_DOWNLOADED(outcome, file);
  EXPECT_EQ(server.SessionCount(), 4);
}

}  // namespace

// The files of a download: a destination that cannot be created, piece files
// that cannot be made or written, a destination that fills the disk.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "tests/http/download_fixture.h"
#include "tests/support/http_test_server.h"
#include "tests/support/small_disk.h"

namespace {

using testenv::HttpTestServer;
using testenv::SmallDisk;

// A folder made read-only for everyone, root included, while it lives.
class ImmutableFolder {
 public:
  explicit ImmutableFolder(const std::string& path) : m_path(path) {
    std::filesystem::create_directories(path);
    m_ok = std::system(("chattr +i '" + path + "' 2>/dev/null").c_str()) == 0;
  }
  ~ImmutableFolder() {
    if (m_ok) std::system(("chattr -i '" + m_path + "'").c_str());
  }
  bool ok() const { return m_ok; }

 private:
  std::string m_path;
  bool m_ok = false;
};

class FilesTest : public DownloadTest {
 protected:
  const std::string kOutputNotCreated = "Request output filename could not be created, please select again";
  // The refusal and the final failure name the path and the system's reason.
  std::string Refused(const std::string& path) const { return kOutputNotCreated + " (" + path + ": No such file or directory)"; }
  std::string NotCreated(const std::string& path) const {
    return "Download Aborted. (Reason=File " + path + " could not be created: No such file or directory)";
  }
};

TEST_F(FilesTest, AnUncreatableDestinationAsksForAnotherOne) {
  HttpTestServer server(testenv::PatternBytes(80000, 21));
  SetAnswers({"ok", Path("chosen.bin")});
  Outcome outcome = Run(server.URL(), Path("missing/out.bin"));
  ASSERT_EQ(outcome.messages.size(), 2u) << outcome.output;
  EXPECT_EQ(outcome.messages[0], Refused(Path("missing/out.bin")));
  EXPECT_EQ(outcome.messages[1], "Download [/file.bin] completed successfuly");
  ASSERT_EQ(outcome.saveDialogs.size(), 1u);
  EXPECT_EQ(outcome.saveDialogs[0], Path("missing/out.bin"));
  EXPECT_EQ(outcome.exitCode, 0);
  ExpectFileHolds("chosen.bin", server.Content());
  ExpectNoPieces();
}

TEST_F(FilesTest, CancellingTheSaveDialogFailsTheJoinAndDeletesThePieces) {
  HttpTestServer server(testenv::PatternBytes(80000, 22));
  SetAnswers({"ok", "cancel"});
  Outcome outcome = Run(server.URL(), Path("missing/out.bin"));
  ASSERT_EQ(outcome.messages.size(), 2u) << outcome.output;
  EXPECT_EQ(outcome.messages[1], NotCreated(Path("missing/out.bin")));
  EXPECT_NE(outcome.exitCode, 0);
  ExpectNoPieces();
}

// With nobody to answer, the dialog repeats the path; the second refusal ends it.
TEST_F(FilesTest, TheSamePathRefusedTwiceEndsTheJoin) {
  HttpTestServer server(testenv::PatternBytes(1000, 23));
  Outcome outcome = Run(server.URL(), Path("missing/out.bin"), std::chrono::seconds(20));
  ASSERT_EQ(outcome.messages.size(), 2u) << outcome.output;
  EXPECT_EQ(outcome.messages[0], Refused(Path("missing/out.bin")));
  EXPECT_EQ(outcome.messages[1], NotCreated(Path("missing/out.bin")));
  EXPECT_NE(outcome.exitCode, -1);
  ExpectNoPieces();
}

// The pieces go beside the destination: the folder the program was started
// in, locked or nearly full, plays no part. A destination folder that
// cannot be written is found before anything is asked of the server.
TEST_F(FilesTest, PiecesGoBesideTheDestinationWhichIsCheckedFirst) {
  workDir = Path("locked");
  ImmutableFolder locked(workDir);
  if (!locked.ok()) GTEST_SKIP() << "skipped: chattr +i is not available here";
  SmallDisk disk(Path("small"), "256k");
  HttpTestServer server(testenv::PatternBytes(2000000, 24));
  ExpectSuccess(Run(server.URL(), Path("out.bin")), "/file.bin");
  EXPECT_TRUE(testenv::ListFiles(dir.Path(), "FFF").empty());
  if (disk.ok()) {
    workDir = Path("small");
    ExpectSuccess(Run(server.URL(), Path("out2.bin")), "/file.bin");
    workDir = Path("locked");
  }
  const size_t requests = server.Requests().size();
  const Outcome outcome = Run(server.URL(), workDir + "/out.bin");
  ASSERT_EQ(outcome.messages.size(), 2u) << outcome.output;
  EXPECT_EQ(outcome.messages[0].rfind(kOutputNotCreated + " (" + workDir + "/out.bin: ", 0), 0u) << outcome.messages[0];
  EXPECT_EQ(outcome.saveDialogs.size(), 1u);
  EXPECT_EQ(server.Requests().size(), requests) << "the server was asked before the folder was checked";
}

TEST_F(FilesTest, AFullDiskForTheDestinationFailsTheJoin) {
  SmallDisk disk(Path("small"), "256k");
  if (!disk.ok()) GTEST_SKIP() << "skipped: cannot mount a tmpfs here";
  HttpTestServer server(testenv::PatternBytes(2000000, 25));
  const std::string destination = Path("small/out.bin");
  Outcome outcome = Run(server.URL(), destination);
  // The pieces are on that disk too: whichever file fills it up is named.
  ASSERT_EQ(outcome.messages.size(), 1u) << outcome.output;
  EXPECT_EQ(outcome.messages[0].rfind("Download Aborted. (Reason=", 0), 0u) << outcome.messages[0];
  EXPECT_NE(outcome.messages[0].find(" could not be written: No space left on device)"), std::string::npos)
      << outcome.messages[0];
  EXPECT_NE(outcome.exitCode, 0);
  ExpectNoPieces();
  EXPECT_FALSE(testenv::FileExists(destination)) << "a half-written destination stays behind";
}

// Seen from outside: the program's own system calls, traced. The bytes are
// synced under a name of their own, which is then renamed to the
// destination's, and only then is success shown.
TEST_F(FilesTest, TheDestinationIsSyncedAndRenamedBeforeSuccessIsShown) {
  if (std::system("command -v strace >/dev/null 2>&1") != 0) GTEST_SKIP() << "skipped: strace is not installed";
  const char* binary = std::getenv("KESTRION_BIN");
  ASSERT_NE(binary, nullptr) << "KESTRION_BIN is not set";
  HttpTestServer server(testenv::PatternBytes(100000, 26));
  const std::string trace = Path("trace");
  // The leak checker of a sanitizer build cannot run under ptrace.
  const std::string command = "cd '" + dir.Path() + "' && ASAN_OPTIONS=detect_leaks=0 KESTRION_UI=script KESTRION_UI_LOG='" + Path("ui.log") +
                              "' KESTRION_REGISTRY='" + Path("registry") +
                              "' timeout 60 strace -f -qq -y -s 256 -e trace=fsync,fdatasync,write,rename,renameat,renameat2 -o '" + trace +
                              "' '" + binary + "' '" + server.URL() + "' out.bin >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  // With -y every descriptor shows the path of its file at the time of the
  // call, whether the bytes were written there or a piece was moved there.
  const std::vector<std::string> lines = testenv::ReadLines(trace);
  const std::regex syncOfPart(R"re((fsync|fdatasync)\(\d+<[^>]*/out\.bin\.part[0-9A-F]{4}>\))re");
  const std::regex renameToDestination(R"re(rename\w*\("[^"]*out\.bin\.part[0-9A-F]{4}", "([^"]*/)?out\.bin"\))re");
  int synced = -1, renamed = -1, shown = -1;
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    if (synced < 0 && std::regex_search(lines[i], syncOfPart)) synced = i;
    if (renamed < 0 && std::regex_search(lines[i], renameToDestination)) renamed = i;
    if (shown < 0 && lines[i].find("completed successfuly") != std::string::npos) shown = i;
  }
  ASSERT_GE(synced, 0) << "the bytes were never synced";
  ASSERT_GE(renamed, 0) << "the bytes were never renamed to the destination";
  ASSERT_GE(shown, 0);
  EXPECT_LT(synced, renamed);
  EXPECT_LT(renamed, shown);
  ExpectFileHolds("out.bin", server.Content());
}

}  // namespace

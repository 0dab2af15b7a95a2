#include "platform/process/process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/support/test_env.h"

namespace {

// A script that records its argument count and first argument; the record
// appears by rename, so it is never seen half-written.
std::string MakeRecorder(const std::string& path, const std::string& outPath, const std::string& exitCode = "0") {
  testenv::WriteFile(path, "#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" > '" + outPath + ".part'\n/bin/mv '" +
                               outPath + ".part' '" + outPath + "'\nexit " + exitCode + "\n");
  chmod(path.c_str(), 0755);
  return path;
}

std::string AwaitRecord(const std::string& outPath) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (testenv::FileExists(outPath)) {
      std::string text = testenv::ReadFile(outPath);
      return text.substr(0, text.find('\n'));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "<nothing recorded>";
}

class PathOverride {
 public:
  explicit PathOverride(const std::string& path) {
    const char* old = getenv("PATH");
    m_had = old != nullptr;
    if (old) m_old = old;
    setenv("PATH", path.c_str(), 1);
  }
  ~PathOverride() {
    if (m_had)
      setenv("PATH", m_old.c_str(), 1);
    else
      unsetenv("PATH");
  }

 private:
  bool m_had = false;
  std::string m_old;
};

TEST(WinExecTest, AQuotedNameEndsAtTheClosingQuoteAndTheRestIsOneArgument) {
  testenv::ScratchDir dir;
  mkdir(dir.File("my dir").c_str(), 0755);
  std::string out = dir.File("out");
  std::string script = MakeRecorder(dir.File("my dir/rec ord.sh"), out);
  EXPECT_GT(WinExec("\"" + script + "\"   http://host/a%20b.zip /home/me/my file.zip", SW_SHOW), 31u);
  EXPECT_EQ("1|http://host/a%20b.zip /home/me/my file.zip", AwaitRecord(out));
}

TEST(WinExecTest, AnUnquotedNameEndsAtTheFirstBlank) {
  testenv::ScratchDir dir;
  std::string out = dir.File("out");
  std::string script = MakeRecorder(dir.File("rec.sh"), out);
  EXPECT_EQ(33u, WinExec(script + " \t two  blanks ", SW_HIDE));
  EXPECT_EQ("1|two  blanks ", AwaitRecord(out));
  std::string bare = dir.File("bare");
  MakeRecorder(dir.File("rec2.sh"), bare);
  EXPECT_EQ(33u, WinExec(dir.File("rec2.sh") + "   ", SW_HIDE));
  EXPECT_EQ("0|", AwaitRecord(bare));
}

TEST(WinExecTest, SearchesPathOnlyForNamesWithoutASlash) {
  testenv::ScratchDir dir;
  std::string out = dir.File("out");
  MakeRecorder(dir.File("kestrion-probe"), out);
  PathOverride path("/nonexistent:" + dir.Path());
  EXPECT_EQ(33u, WinExec("kestrion-probe COMMAND START", SW_HIDE));
  EXPECT_EQ("1|COMMAND START", AwaitRecord(out));
  EXPECT_EQ(2u, WinExec("sub/kestrion-probe x", SW_HIDE));
  EXPECT_EQ(2u, WinExec("no-such-program-anywhere x", SW_HIDE));
  EXPECT_EQ(2u, WinExec("", SW_HIDE));
}

TEST(WinExecTest, ReportsFilesThatCannotRun) {
  testenv::ScratchDir dir;
  testenv::WriteFile(dir.File("plain"), "not a program\n");
  chmod(dir.File("plain").c_str(), 0644);
  EXPECT_EQ(5u, WinExec(dir.File("plain") + " x", SW_HIDE));
  testenv::WriteFile(dir.File("noformat"), "no interpreter line\n");
  chmod(dir.File("noformat").c_str(), 0755);
  EXPECT_EQ(11u, WinExec(dir.File("noformat"), SW_HIDE));
}

TEST(WinExecTest, LeavesNoChildBehind) {
  testenv::ScratchDir dir;
  std::string out = dir.File("out");
  testenv::WriteFile(dir.File("slow.sh"), "#!/bin/sh\nsleep 1\necho $PPID > '" + out + "'\n");
  chmod(dir.File("slow.sh").c_str(), 0755);
  ASSERT_EQ(33u, WinExec(dir.File("slow.sh"), SW_HIDE));
  errno = 0;
  EXPECT_EQ(-1, waitpid(-1, nullptr, WNOHANG));
  EXPECT_EQ(ECHILD, errno);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!testenv::FileExists(out) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_NE(std::to_string(getpid()) + "\n", testenv::ReadFile(out));
}

TEST(ShellExecuteOpenTest, ReportsTheOpenersVerdict) {
  testenv::ScratchDir dir;
  std::string out = dir.File("out");
  {
    MakeRecorder(dir.File("xdg-open"), out);
    PathOverride path(dir.Path());
    EXPECT_EQ(42, ShellExecuteOpen("http://127.0.0.1/page", SW_SHOWNORMAL));
    EXPECT_EQ("1|http://127.0.0.1/page", AwaitRecord(out));
  }
  {
    MakeRecorder(dir.File("xdg-open"), out, "4");
    PathOverride path(dir.Path());
    EXPECT_EQ(31, ShellExecuteOpen("http://127.0.0.1/page", SW_SHOWNORMAL));
  }
  {
    PathOverride path(dir.File("empty"));
    EXPECT_EQ(2, ShellExecuteOpen("http://127.0.0.1/page", SW_SHOWNORMAL));
  }
}

TEST(GetModuleFileNameTest, NamesThisTestProgram) {
  std::string self = GetModuleFileName();
  EXPECT_EQ('/', self.front());
  EXPECT_EQ("platform_tests", self.substr(self.rfind('/') + 1));
}

}  // namespace

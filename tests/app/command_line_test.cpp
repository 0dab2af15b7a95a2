// The real binaries' command lines: kestrion refusing malformed ones, seen
// through the script UI, and every program's help.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/https_switch_setting.h"
#include "tests/support/registry_values.h"
#include "tests/support/test_env.h"
#include "tests/support/loopback.h"

namespace {

struct Outcome {
  int exitCode;
  std::vector<std::string> messages;  // texts of the message boxes, in order
  std::vector<std::string> windows;   // window state lines
};

class CommandLineTest : public ::testing::Test {
 protected:
  Outcome Run(const std::vector<std::string>& args) {
    const std::string log = dir.File("ui.log");
    testenv::WriteFile(log, "");
    testenv::RunResult run = testenv::RunKestrion(
        args, dir.Path(),
        {{"KESTRION_UI", "script"}, {"KESTRION_UI_LOG", log}, {"KESTRION_REGISTRY", dir.File("registry")}},
        std::chrono::seconds(30));
    Outcome outcome{run.exitCode, {}, testenv::LogLinesOfKind(log, "window")};
    for (const std::string& line : testenv::LogLinesOfKind(log, "message"))
      outcome.messages.push_back(testenv::JsonString(line, "text"));
    return outcome;
  }

  void ExpectRefusal(const std::vector<std::string>& args, const std::string& text) {
    Outcome outcome = Run(args);
    ASSERT_EQ(outcome.messages.size(), 1u) << text;
    EXPECT_EQ(outcome.messages[0], text);
    EXPECT_EQ(outcome.exitCode, 2) << text;
    EXPECT_TRUE(outcome.windows.empty()) << text;
  }

  testenv::ScratchDir dir;
};

TEST_F(CommandLineTest, EachMalformedLineShowsItsMessageAndFails) {
  ExpectRefusal({}, "Application cannot run as Stand-Alone");
  ExpectRefusal({"http://127.0.0.1/file.zip"}, "Could not Find 2 Parameters in the command line, aborted.");
  ExpectRefusal({"http://127.0.0.1/file.zip", ""}, "One the parameters in the command is Empty, Aborted");
  ExpectRefusal({"command", "START"}, "Could not find 'scheme' in the source URL, aborted");
  ExpectRefusal({"https://127.0.0.1/file.zip", "file.zip"}, "Could not support this 'scheme'");
  ExpectRefusal({"gopher://127.0.0.1/file.zip", "file.zip"}, "Could not support this 'scheme'");
  ExpectRefusal({"COMMAND", "start"}, "Command is unknown");
}

// Refused before any window or connection, with the URL named.
TEST_F(CommandLineTest, AURLThatCannotBeReadIsRefusedNamingIt) {
  for (const std::string url : {"http://127.0.0.1:0/f.zip", "http://127.0.0.1:65536/f.zip", "ftp://127.0.0.1:2x/f.zip",
                                "http:///f.zip", "ftp://user@:21/f.zip", "http://[::1/f.zip", "http://::1/f.zip"}) {
    ExpectRefusal({url, "f.zip"}, "Could not understand the URL [" + url + "], aborted");
  }
  ExpectRefusal({"http://127.0.0.1:0/a%20b.zip", "f.zip"}, "Could not understand the URL [http://127.0.0.1:0/a b.zip], aborted");
  EXPECT_TRUE(testenv::ListFiles(dir.Path(), "FFF").empty());
}

TEST_F(CommandLineTest, DestinationKeepsItsBlanksAndIsUnescaped) {
  // Nobody listens on the port, so the download stops at its first connect;
  // by then the window shows the folder it was given, in full.
  const int port = testenv::FreeLoopbackPort();
  std::filesystem::create_directories(dir.File("my dir/a b"));
  Outcome outcome = Run({"FtP://" + testenv::kServerHost + ":" + std::to_string(port) + "/f.zip", "my%20dir/a", "b/f.zip"});
  ASSERT_FALSE(outcome.windows.empty());
  EXPECT_EQ(testenv::JsonString(outcome.windows.front(), "destFolder"), dir.Path() + "/my dir/a b");
  EXPECT_EQ(testenv::JsonString(outcome.windows.front(), "saving"), "f.zip from " + testenv::kServerHost);
  ASSERT_EQ(outcome.messages.size(), 1u);
  EXPECT_NE(outcome.messages[0].find("could not connect to:" + testenv::kServerHost + " on port:" + std::to_string(port)),
            std::string::npos)
      << outcome.messages[0];
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_TRUE(testenv::ListFiles(dir.Path(), "FFF").empty());
}

// AllowHTTPS absent or 0: the refusal above; 1: an https URL starts a
// download like an http one (here it stops at the connect: nobody listens).
TEST_F(CommandLineTest, HttpsIsAcceptedOnlyWhileTheSwitchIsOn) {
  const int port = testenv::FreeLoopbackPort();
  const std::string url = "https://" + testenv::kServerHost + ":" + std::to_string(port) + "/f.zip";
  for (const int value : {0, 1}) {
    SCOPED_TRACE(value);
    std::filesystem::create_directories(dir.File("registry"));
    testenv::WriteFile(dir.File("registry/HKEY_LOCAL_MACHINE.reg"),
                       "Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvane\\Kestrion]\r\n\"AllowHTTPS\"=dword:0000000" +
                           std::to_string(value) + "\r\n");
    if (!testenv::HttpsExpected(value)) {
      ExpectRefusal({url, "f.zip"}, "Could not support this 'scheme'");
      continue;
    }
    Outcome outcome = Run({url, "f.zip"});
    ASSERT_EQ(outcome.messages.size(), 1u);
    EXPECT_NE(outcome.messages[0].find("could not connect to:" + testenv::kServerHost + " on port:" + std::to_string(port)),
              std::string::npos)
        << outcome.messages[0];
    EXPECT_FALSE(outcome.windows.empty());
  }
}

TEST_F(CommandLineTest, RegistrationCommandsSucceed) {
  EXPECT_EQ(Run({"COMMAND", "START"}).exitCode, 0);
  EXPECT_EQ(Run({"COMMAND", "STOP"}).exitCode, 0);
}

// Asked about themselves, the programs answer on the output and succeed;
// kestrion's help names its two forms, its environment and its statuses.
TEST_F(CommandLineTest, HelpAndVersionAnswerOnTheOutput) {
  const std::string kestrion = testenv::BuildFolder() + "/kestrion";
  const std::string help = "Usage: kestrion URL DESTINATION\n       kestrion COMMAND START|STOP\n";
  const struct {
    std::string program;
    std::string argument;
    std::vector<std::string> said;
  } cases[] = {
      {kestrion, "--help", {help, "KESTRION_UI ", "KESTRION_REGISTRY ", "\n  2    the command line or the URL", "\n  130 "}},
      {kestrion, "-h", {help}},
      {kestrion, "--version", {"Kestrion Build 258 Beta\n"}},
      {kestrion, "-V", {"Kestrion Build 258 Beta\n"}},
      {testenv::BuildFolder() + "/urlbind", "--help", {"Usage: urlbind URL\n", "\n  64  a wrong command line\n"}},
      {testenv::BuildFolder() + "/dispcall", "--help", {"Usage: dispcall PROGID METHOD", "\n  3   a call failed"}},
  };
  const std::string log = dir.File("ui.log");
  for (const auto& c : cases) {
    // Standard error goes nowhere: only the output is seen.
    const testenv::RunResult run = testenv::RunProgram(
        "/bin/sh", {"-c", "exec \"$0\" \"$1\" 2>/dev/null", c.program, c.argument}, dir.Path(),
        {{"KESTRION_UI", "script"}, {"KESTRION_UI_LOG", log}, {"KESTRION_REGISTRY", dir.File("registry")}});
    EXPECT_EQ(run.exitCode, 0) << c.argument;
    for (const std::string& text : c.said) EXPECT_NE(run.output.find(text), std::string::npos) << c.argument << ": " << text;
  }
  EXPECT_FALSE(testenv::FileExists(log)) << "nothing was shown";
  EXPECT_FALSE(testenv::FileExists(dir.File("registry")));
}

}  // namespace

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/test_env.h"

namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";
const std::string kRoot = "[HKEY_CLASSES_ROOT\\PROTOCOLS\\Name-Space Handler";
const std::string kOwnValues =
    "\"CLSID\"=\"{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C}\"\n"
    "\"Pattern1\"=\"\"\n\n";

// One registry folder and UI log shared by the runs of a test.
class RegistrationCommandTest : public ::testing::Test {
 protected:
  testenv::RunResult Run(const std::string& word, const std::vector<std::string>& answers = {}) {
    std::string answerText;
    for (const auto& a : answers) answerText += a + "\n";
    testenv::WriteFile(m_scratch.File("answers"), answerText);
    std::map<std::string, std::string> env = {
        {"KESTRION_UI", "script"},
        {"KESTRION_UI_LOG", m_scratch.File("ui.log")},
        {"KESTRION_UI_ANSWERS", m_scratch.File("answers")},
        {"KESTRION_REGISTRY", m_scratch.File("registry")},
    };
    return testenv::RunKestrion({"COMMAND", word}, m_scratch.Path(), env, std::chrono::seconds(30));
  }
  void WriteClassesRoot(const std::string& text) {
    mkdir(m_scratch.File("registry").c_str(), 0700);
    testenv::WriteFile(ClassesRootFile(), text);
  }
  std::string ClassesRootFile() const { return m_scratch.File("registry/HKEY_CLASSES_ROOT.reg"); }
  std::vector<std::string> Messages() const { return testenv::LogLinesOfKind(m_scratch.File("ui.log"), "message"); }

  testenv::ScratchDir m_scratch;
};

// Written as an installer or a person might: CR LF, a comment, a parent
// without a section of its own.
const std::string kTwoOtherHandlers =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "; other browser add-ons\r\n"
    "[HKEY_CLASSES_ROOT\\PROTOCOLS\\Name-Space Handler\\http\\Other]\r\n"
    "\"CLSID\"=\"{11111111-2222-3333-4444-555555555555}\"\r\n\r\n"
    "[HKEY_CLASSES_ROOT\\PROTOCOLS\\Name-Space Handler\\http\\Second]\r\n\r\n"
    "[HKEY_CLASSES_ROOT\\PROTOCOLS\\Name-Space Handler\\ftp]\r\n";

TEST_F(RegistrationCommandTest, StartAnsweredYesLeavesOnlyOurHandlers) {
  WriteClassesRoot(kTwoOtherHandlers);
  testenv::RunResult result = Run("START", {"yes"});
  EXPECT_EQ(0, result.exitCode) << result.output;
  auto messages = Messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ("Kestrion found the following registered programs [Other,Second] while registering protocol http, "
            "chose yes to disble the other programs operations.",
            testenv::JsonString(messages[0], "text"));
  EXPECT_EQ("yesno", testenv::JsonString(messages[0], "buttons"));
  EXPECT_EQ(kHeader +
                kRoot + "\\http\\ZKS]\n" + kOwnValues +
                kRoot + "\\ftp\\ZKS]\n" + kOwnValues,
            testenv::ReadFile(ClassesRootFile()));
}

TEST_F(RegistrationCommandTest, StartAnsweredNoKeepsTheOthersAndStopTakesOnlyOursAway) {
  WriteClassesRoot(kTwoOtherHandlers);
  testenv::RunResult start = Run("START", {"no"});
  EXPECT_EQ(0, start.exitCode) << start.output;
  std::string afterStart = testenv::ReadFile(ClassesRootFile());
  EXPECT_NE(std::string::npos, afterStart.find(kRoot + "\\http\\Other]\n"));
  EXPECT_NE(std::string::npos, afterStart.find(kRoot + "\\http\\Second]\n\n" + kRoot + "\\http\\ZKS]\n" + kOwnValues));

  testenv::RunResult stop = Run("STOP");
  EXPECT_EQ(0, stop.exitCode) << stop.output;
  std::string afterStop = testenv::ReadFile(ClassesRootFile());
  EXPECT_EQ(kHeader +
                kRoot + "\\http\\Other]\n\"CLSID\"=\"{11111111-2222-3333-4444-555555555555}\"\n\n" +
                kRoot + "\\http\\Second]\n\n" +
                kRoot + "\\ftp]\n\n",
            afterStop);

  testenv::RunResult again = Run("STOP");
  EXPECT_EQ(0, again.exitCode) << again.output;
  EXPECT_EQ(afterStop, testenv::ReadFile(ClassesRootFile()));
  EXPECT_EQ(1u, Messages().size()) << "only the question of START";
}

TEST_F(RegistrationCommandTest, StartWithNoHandlerKeysWritesNothing) {
  testenv::RunResult result = Run("START");
  EXPECT_EQ(0, result.exitCode) << result.output;
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(testenv::FileExists(ClassesRootFile()));
}

TEST_F(RegistrationCommandTest, CommandWordsAreCaseSensitive) {
  WriteClassesRoot(kTwoOtherHandlers);
  Run("start");
  auto messages = Messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ("Command is unknown", testenv::JsonString(messages[0], "text"));
  EXPECT_EQ(kTwoOtherHandlers, testenv::ReadFile(ClassesRootFile()));
}

}  // namespace

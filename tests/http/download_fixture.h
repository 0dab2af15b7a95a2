#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/ad_install.h"
#include "tests/support/test_env.h"

// One run of the real kestrion with the script UI in a scratch folder (its
// working folder, so leftover FFF pieces show), a private registry, and
// optional answers for the dialogs.
class DownloadTest : public ::testing::Test {
 protected:
  struct Outcome {
    int exitCode = -1;
    std::vector<std::string> messages;  // the download's message box texts, in order
    std::vector<std::string> saveDialogs;  // initial paths of save dialogs
    std::string output;
  };

  std::string Path(const std::string& name) const { return dir.File(name); }

  void SetStallSeconds(int seconds) {
    char value[16];
    std::snprintf(value, sizeof value, "%08x", seconds);
    std::filesystem::create_directories(Path("registry"));
    testenv::WriteFile(Path("registry/HKEY_LOCAL_MACHINE.reg"),
                       "Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvane\\Kestrion]\r\n\"StallSeconds\"=dword:" +
                           std::string(value) + "\r\n");
  }

  void SetAnswers(const std::vector<std::string>& answers) {
    std::string text;
    for (const std::string& answer : answers) text += answer + "\n";
    testenv::WriteFile(Path("answers"), text);
  }

  Outcome Run(const std::string& url, const std::string& destination,
              std::chrono::seconds timeout = std::chrono::seconds(60)) {
    const std::string log = Path("ui.log");
    testenv::WriteFile(log, "");
    if (!testenv::FileExists(Path("answers"))) testenv::WriteFile(Path("answers"), "");
    testenv::RunResult run = testenv::RunKestrion({url, destination}, workDir.empty() ? dir.Path() : workDir,
                                                  {{"KESTRION_UI", "script"},
                                                   {"KESTRION_UI_LOG", log},
                                                   {"KESTRION_UI_ANSWERS", Path("answers")},
                                                   {"KESTRION_REGISTRY", Path("registry")}},
                                                  timeout);
    Outcome outcome;
    outcome.exitCode = run.exitCode;
    outcome.output = run.output;
    outcome.messages = testenv::DownloadMessages(log);
    for (const std::string& line : testenv::LogLinesOfKind(log, "save-file"))
      outcome.saveDialogs.push_back(testenv::JsonString(line, "initial"));
    return outcome;
  }

  // A successful download shows exactly its one message and leaves no piece.
  void ExpectSuccess(const Outcome& outcome, const std::string& object) {
    ASSERT_EQ(outcome.messages.size(), 1u) << outcome.output;
    EXPECT_EQ(outcome.messages[0], "Download [" + object + "] completed successfuly");
    EXPECT_EQ(outcome.exitCode, 0);
    ExpectNoPieces();
  }

  void ExpectAbort(const Outcome& outcome, const std::string& reason) {
    ASSERT_EQ(outcome.messages.size(), 1u) << outcome.output;
    EXPECT_EQ(outcome.messages[0], "Download Aborted. (Reason=" + reason + ")");
    EXPECT_NE(outcome.exitCode, 0);
    EXPECT_NE(outcome.exitCode, -1) << "kestrion did not end";
    ExpectNoPieces();
  }

  // The connection columns ("." when unused) of the progress window's last state.
  std::vector<std::string> LastConnectionColumns() { return testenv::LastConnectionColumns(Path("ui.log")); }

  // Compares without printing megabytes of bytes on a mismatch.
  void ExpectFileHolds(const std::string& name, const std::string& content) {
    const std::string actual = testenv::ReadFile(Path(name));
    EXPECT_EQ(actual.size(), content.size()) << name;
    EXPECT_TRUE(actual == content) << name << " differs from what the server sent";
  }

  void ExpectNoPieces() {
    EXPECT_TRUE(testenv::ListFiles(workDir.empty() ? dir.Path() : workDir, "FFF").empty()) << "piece files left";
  }

  testenv::ScratchDir dir;
  std::string workDir;  // kestrion's working folder when not dir itself
};

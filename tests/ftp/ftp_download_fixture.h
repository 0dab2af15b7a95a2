#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/ad_install.h"
#include "tests/support/test_env.h"

// Runs the real kestrion on one ftp URL in a scratch folder: the working
// folder (where its temp files go), a private registry, the script UI log
// and the destination all live there.
class FtpDownloadTest : public ::testing::Test {
 protected:
  struct Outcome {
    int exitCode = -1;
    std::vector<std::string> messages;  // the download's message box texts, in order
    std::string output;                 // the destination's bytes
    bool outputExists = false;
    std::vector<std::string> leftovers;  // FFF files beside the destination
    std::vector<std::string> connections;  // the progress window's last connection columns
  };

  void SetUp() override {
    std::filesystem::create_directories(WorkDir());
    std::filesystem::create_directories(m_dir.File("registry"));
  }

  std::string WorkDir() const { return m_dir.File("work"); }
  std::string Destination() const { return m_dir.File("out.bin"); }

  // Seconds a silent connection is given (the program's StallSeconds).
  void SetStallSeconds(int seconds) {
    char value[16];
    snprintf(value, sizeof value, "%08x", seconds);
    testenv::WriteFile(m_dir.File("registry/HKEY_LOCAL_MACHINE.reg"),
                       "Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvane\\Kestrion]\r\n"
                       "\"StallSeconds\"=dword:" +
                           std::string(value) + "\r\n");
  }

  Outcome Download(const std::string& url, std::chrono::seconds timeout = std::chrono::seconds(30)) {
    return DownloadTo(url, Destination(), timeout);
  }

  Outcome DownloadTo(const std::string& url, const std::string& destination,
                     std::chrono::seconds timeout = std::chrono::seconds(30)) {
    const std::string log = m_dir.File("ui.log");
    const testenv::RunResult run = testenv::RunKestrion({url, destination}, WorkDir(),
                                                        {{"KESTRION_UI", "script"},
                                                         {"KESTRION_UI_LOG", log},
                                                         {"KESTRION_UI_ANSWERS", m_dir.File("answers")},
                                                         {"KESTRION_REGISTRY", m_dir.File("registry")}},
                                                        timeout);
    Outcome outcome;
    outcome.exitCode = run.exitCode;
    outcome.messages = testenv::DownloadMessages(log);
    outcome.outputExists = testenv::FileExists(destination);
    if (outcome.outputExists) outcome.output = testenv::ReadFile(destination);
    outcome.leftovers = testenv::ListFiles(std::filesystem::path(destination).parent_path().string(), "FFF");
    outcome.connections = testenv::LastConnectionColumns(log);
    testenv::WriteFile(log, "");
    return outcome;
  }

  static std::string Completed(const std::string& path = "/file.bin") {
    return "Download [" + path + "] completed successfuly";
  }
  static std::string Aborted(const std::string& reason) { return "Download Aborted. (Reason=" + reason + ")"; }

  testenv::ScratchDir m_dir;
};

// The outcome of a download that must have worked: the whole file, the
// success message, exit status 0 and nothing left behind.
#define EXPECT_DOWNLOADED(outcomeExpression, file)                                 \
  do {                                                                             \
    const auto& downloaded = (outcomeExpression);                                  \
    EXPECT_EQ(downloaded.exitCode, 0);                                             \
    EXPECT_EQ(downloaded.messages, std::vector<std::string>{Completed()});         \
    EXPECT_TRUE(downloaded.output == (file)) << "destination differs from the file"; \
    EXPECT_TRUE(downloaded.leftovers.empty());                                     \
  } while (0)

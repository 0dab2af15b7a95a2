// kestrion-browser-host as a browser runs it: one frame on its standard
// input, one on its standard output and nothing else there, whatever the
// user interface or kestrion print.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/launch_recorder.h"
#include "tests/support/registry_values.h"
#include "tests/support/test_env.h"

namespace {

std::string Frame(const std::string& text, uint32_t length) {
  std::string frame(sizeof length, '\0');
  std::memcpy(frame.data(), &length, sizeof length);
  return frame + text;
}
std::string Frame(const std::string& text) { return Frame(text, static_cast<uint32_t>(text.size())); }

TEST(BrowserHostProcessTest, AnswersOnStandardOutputAlone) {
  testenv::ScratchDir dir;
  testenv::LaunchRecorder recorder(dir.File("kestrion"), dir.File("launched"));
  // The console interface has no terminal to ask on here: the download
  // stays with the browser, and nothing the host prints may reach it.
  const std::map<std::string, std::string> env = {
      {"KESTRION_REGISTRY", dir.File("registry")}, {"KESTRION_UI", "console"}, {"HOME", dir.Path()}};
  setenv("KESTRION_REGISTRY", dir.File("registry").c_str(), 1);
  testenv::SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane\\Kestrion", "EXELOCATION", recorder.Program());
  unsetenv("KESTRION_REGISTRY");

  const struct {
    std::string input;
    std::string output;
    int exitCode;
  } cases[] = {
      {Frame(R"({"url":"http://h/a.gz"})"), Frame(R"({"answer":"browser"})"), 0},
      {Frame("{}", 2 * 1024 * 1024), Frame(R"({"error":"The message is longer than 1 MiB."})"), 0},
      {"", "", 0},
      {Frame(R"({"url":"http://h/a.zip"})"), Frame(R"({"answer":"browser"})"), 0},
  };
  for (const auto& c : cases) {
    testenv::WriteFile(dir.File("in"), c.input);
    const testenv::RunResult run = testenv::RunProgram(
        "/bin/sh", {"-c", "exec \"$0\" chrome-extension://id/ < \"$1\" > \"$2\"",
                    testenv::BuildFolder() + "/kestrion-browser-host", dir.File("in"), dir.File("out")},
        dir.Path(), env, std::chrono::seconds(30));
    EXPECT_EQ(c.exitCode, run.exitCode) << run.output;
    EXPECT_EQ(c.output, testenv::ReadFile(dir.File("out"))) << c.input.substr(4);
  }
  EXPECT_FALSE(recorder.Started()) << "nobody chose to save";
}

}  // namespace

// The console interface never maps Qt, whether chosen or fallen back to.
#include <gtest/gtest.h>

#include <thread>

#include "tests/support/nginx_server.h"
#include "tests/support/test_env.h"

namespace {

bool MapsQt(int pid) { return testenv::ReadFile("/proc/" + std::to_string(pid) + "/maps").find("libQt6") != std::string::npos; }

TEST(ConsoleWindow, AConsoleRunMapsNoQt) {
  testenv::NginxServer nginx("location / { limit_rate 64k; }");
  ASSERT_TRUE(nginx.Running()) << nginx.Error();
  testenv::WriteFile(nginx.FilePath("slow.bin"), testenv::PatternBytes(4 << 20));
  struct Case {
    const char* what;
    std::map<std::string, std::string> env;
    const char* said;  // on the error stream
  };
  // A build with the qt interface tries the display first, and says why it
  // could not use it.
  const char* plugin = getenv("KESTRION_QT_PLUGIN");
  const bool withQt = plugin && testenv::FileExists(plugin);
  const Case cases[] = {
      {"chosen", {{"KESTRION_UI", "console"}, {"DISPLAY", ":4242"}}, ""},
      {"no display", {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, ""},
      {"a display that does not answer", {{"DISPLAY", ":4242"}}, withQt ? "the display does not answer" : ""},
  };
  for (const Case& c : cases) {
    testenv::ScratchDir dir;
    std::map<std::string, std::string> env = c.env;
    env["KESTRION_REGISTRY"] = dir.File("registry");
    testenv::KestrionProcess kestrion({nginx.Url("slow.bin"), "slow.bin"}, dir.Path(), env);
    // Maps taken once the download has its first piece: the interface is
    // chosen before.
    for (int i = 0; i < 200 && testenv::ListFiles(dir.Path(), "FFF").empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(MapsQt(kestrion.Pid())) << c.what;
    kestrion.Signal(SIGINT);
    const testenv::RunResult result = kestrion.Wait(std::chrono::seconds(15));
    EXPECT_NE(result.exitCode, -1) << c.what;
    EXPECT_NE(result.output.find(c.said), std::string::npos) << c.what << ": " << result.output;
  }
}

}  // namespace

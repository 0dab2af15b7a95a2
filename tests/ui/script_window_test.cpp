// The window's states and clicks through the script interface, across
// processes: the destination's folder in full, details, a link opened
// through the registry's .htm handler, a banner link refused, and Cancel.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/registry/registry.h"
#include "tests/support/nginx_server.h"
#include "tests/support/test_env.h"

namespace {

// Sets a key's values in the registry folder, as an installer would.
void SetValue(const std::string& folder, HKEY root, const std::string& key, const std::string& name,
              const std::string& text) {
  setenv("KESTRION_REGISTRY", folder.c_str(), 1);
  HKEY handle = nullptr;
  RegCreateKeyEx(root, key, &handle);
  RegSetString(handle, name, text);
  RegCloseKey(handle);
  unsetenv("KESTRION_REGISTRY");
}

bool AnyLineHas(const std::vector<std::string>& lines, const std::string& text) {
  for (const std::string& line : lines)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

TEST(ScriptWindow, ClicksExpandOpenALinkRefuseAFileBannerAndCancel) {
  testenv::NginxServer nginx("location / { limit_rate 64k; }");
  ASSERT_TRUE(nginx.Running()) << nginx.Error();
  testenv::WriteFile(nginx.FilePath("big.bin"), testenv::PatternBytes(4 << 20));
  testenv::ScratchDir dir;
  const std::string registry = dir.File("registry");
  const std::string banner = dir.File("banner.png");
  testenv::WriteFile(banner, "picture");
  const std::string recorder = dir.File("browser");
  testenv::WriteFile(recorder, "#!/bin/sh\necho \"$1\" > " + dir.File("opened") + "\n");
  chmod(recorder.c_str(), 0755);
  const std::string program = "SOFTWARE\\Morvane\\Kestrion";
  SetValue(registry, HKEY_LOCAL_MACHINE, program + "\\ADFiles", banner, "file:///etc/passwd");
  setenv("KESTRION_REGISTRY", registry.c_str(), 1);
  HKEY key = nullptr;
  RegCreateKeyEx(HKEY_LOCAL_MACHINE, program, &key);
  RegSetDword(key, "Details", 1);
  RegCloseKey(key);
  unsetenv("KESTRION_REGISTRY");
  SetValue(registry, HKEY_CLASSES_ROOT, ".htm", "", "testhtml");
  SetValue(registry, HKEY_CLASSES_ROOT, "testhtml\\shell\\open\\command", "", "\"" + recorder + "\" \"%1\"");
  testenv::WriteFile(dir.File("clicks"), "command 1011\ncommand 1043\nevent 1047\ncommand 2\n");
  std::filesystem::create_directories(dir.File("no-programs"));

  const std::string log = dir.File("ui.log");
  // Relative to the folder kestrion runs in, which the window names in full.
  testenv::KestrionProcess kestrion({nginx.Url("big.bin"), "big.bin"}, dir.Path(),
                                    {{"KESTRION_UI", "script"},
                                     {"KESTRION_UI_LOG", log},
                                     {"KESTRION_UI_CLICKS", dir.File("clicks")},
                                     {"KESTRION_REGISTRY", registry},
                                     {"PATH", dir.File("no-programs")}});  // no xdg-open
  const testenv::RunResult result = kestrion.Wait(std::chrono::seconds(60));
  EXPECT_NE(result.exitCode, -1) << "kestrion did not end after the clicks";
  EXPECT_NE(result.exitCode, 0);
  EXPECT_TRUE(testenv::ListFiles(dir.Path(), "FFF").empty());

  const std::vector<std::string> windows = testenv::LogLinesOfKind(log, "window");
  ASSERT_FALSE(windows.empty());
  EXPECT_NE(windows.front().find(R"("version":"Build 258 Beta","expanded":false,"details":true,"banner":")" + banner),
            std::string::npos)
      << windows.front();
  EXPECT_NE(windows.front().find(R"("destFolder":")" + dir.Path() + "\""), std::string::npos) << windows.front();
  EXPECT_TRUE(AnyLineHas(windows, R"("expanded":true)"));
  EXPECT_TRUE(AnyLineHas(windows, R"("openedLink":"http://www.morvane.example/")"));
  // The browser was started detached: it may still be on its way.
  for (int i = 0; i < 100 && testenv::ReadFile(dir.File("opened")).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(testenv::ReadFile(dir.File("opened")), "http://www.morvane.example/\n");
  EXPECT_EQ(testenv::LogLinesOfKind(log, "beep").size(), 1u) << "the file: banner link is refused";
  EXPECT_NE(windows.back().find(R"("visible":false)"), std::string::npos) << windows.back();
  EXPECT_NE(windows.back().find(R"("cancelled":true)"), std::string::npos) << windows.back();
  EXPECT_EQ(testenv::LogLinesOfKind(log, "window-click").size(), 4u);
}

}  // namespace

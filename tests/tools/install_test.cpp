// `make install` and `make uninstall` under a prefix of their own, as a user
// runs them: the installed kestrion shows its window under a display, the
// manual pages read with man, and uninstalling leaves nothing behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/registry_values.h"
#include "tests/support/test_env.h"
#include "tests/support/loopback.h"

namespace {

using testenv::RegistryKeyExists;

constexpr char kProgramKey[] = "SOFTWARE\\Morvane\\Kestrion";

bool OnPath(const char* program) { return system((std::string("command -v ") + program + " >/dev/null").c_str()) == 0; }

class InstallTest : public ::testing::Test {
 protected:
  testenv::RunResult Make(const std::string& target) {
    const char* source = getenv("KESTRION_SOURCE_DIR");
    return testenv::RunProgram("/usr/bin/make", {"-s", "-C", source ? source : ".", target, "PREFIX=" + Prefix(),
                                                 "BUILD=" + testenv::BuildFolder()},
                               m_dir.Path(), Environment(), std::chrono::seconds(600));
  }
  // A home of its own: kestrion-install writes the browsers' host manifests there.
  std::map<std::string, std::string> Environment() const {
    return {{"KESTRION_REGISTRY", m_dir.File("registry")}, {"HOME", m_dir.File("home")},
            {"XDG_CONFIG_HOME", m_dir.File("home/.config")}};
  }
  std::string Prefix() const { return m_dir.File("prefix"); }
  std::string Installed(const std::string& path) const { return Prefix() + "/" + path; }
  bool HasKey() {
    setenv("KESTRION_REGISTRY", m_dir.File("registry").c_str(), 1);
    const bool has = RegistryKeyExists(HKEY_LOCAL_MACHINE, kProgramKey);
    unsetenv("KESTRION_REGISTRY");
    return has;
  }

  testenv::ScratchDir m_dir;
};

TEST_F(InstallTest, TheInstalledProgramShowsItsWindowAndUninstallTakesItAllAway) {
  const testenv::RunResult install = Make("install");
  ASSERT_EQ(install.exitCode, 0) << install.output;
  const bool withWindow = testenv::FileExists(testenv::BuildFolder() + "/kestrion-qt.so");
  for (const char* path :
       {"bin/kestrion", "bin/urlbind", "bin/dispcall", "bin/kestrion-install", "lib/kestrion/ksie.so",
        "lib/kestrion/ksns.so", "share/man/man1/kestrion.1", "share/man/man1/urlbind.1", "share/man/man1/dispcall.1",
        "share/man/man1/kestrion-install.1"})
    EXPECT_TRUE(testenv::FileExists(Installed(path))) << path;
  EXPECT_EQ(testenv::FileExists(Installed("lib/kestrion/kestrion-qt.so")), withWindow);
  EXPECT_TRUE(HasKey()) << "kestrion-install ran";

  const testenv::RunResult man = testenv::RunProgram(
      "/usr/bin/man", {"-P", "cat", "kestrion"}, m_dir.Path(), {{"MANPATH", Installed("share/man")}, {"MANWIDTH", "80"}});
  EXPECT_EQ(man.exitCode, 0) << man.output;
  EXPECT_NE(man.output.find("KESTRION_REGISTRY"), std::string::npos) << man.output;

  if (withWindow && OnPath("xvfb-run") && OnPath("xdotool")) {
    // The link in bin, with no hint where the plug-in is: it is found beside
    // the program. The window's title is looked for, then Ctrl-C ends it.
    testenv::SilentServer server;
    const std::string script =
        "\"$0\" \"$1\" file.zip 2>kestrion.err & pid=$!; "
        "for i in $(seq 150); do xdotool search --name '^File Download' >window 2>/dev/null && break; sleep 0.2; done; "
        "kill -INT $pid; wait $pid; echo $? >status";
    const std::string display = std::to_string(1000 + getpid() % 1000);
    const testenv::RunResult shown = testenv::RunProgram(
        "/usr/bin/env",
        {"-u", "KESTRION_QT_PLUGIN", "-u", "KESTRION_UI", "-u", "QT_QPA_PLATFORM", "xvfb-run", "-n", display, "-a",
         "-s", "-screen 0 1024x768x24 -nolisten tcp", "sh", "-c", script, Installed("bin/kestrion"),
         "http://" + testenv::kServerHost + ":" + std::to_string(server.Port()) + "/file.zip"},
        m_dir.Path(), Environment(), std::chrono::seconds(120));
    const std::string said = testenv::ReadFile(m_dir.File("kestrion.err"));
    EXPECT_FALSE(testenv::ReadFile(m_dir.File("window")).empty()) << "no window; kestrion said: " << said;
    EXPECT_EQ(said.find("using the console"), std::string::npos) << said;
    EXPECT_EQ(testenv::ReadFile(m_dir.File("status")), "130\n") << shown.output;
  }

  const testenv::RunResult uninstall = Make("uninstall");
  ASSERT_EQ(uninstall.exitCode, 0) << uninstall.output;
  EXPECT_FALSE(testenv::FileExists(Installed("lib/kestrion")));
  EXPECT_TRUE(std::filesystem::is_empty(Installed("bin")));
  EXPECT_TRUE(std::filesystem::is_empty(Installed("share/man/man1")));
  EXPECT_FALSE(HasKey()) << "kestrion-install --remove ran";
}

}  // namespace

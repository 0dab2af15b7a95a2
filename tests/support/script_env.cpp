#include "tests/support/script_env.h"

#include <cstdlib>
#include <filesystem>

namespace testenv {

namespace {
const char* const kVariables[] = {"KESTRION_REGISTRY", "KESTRION_UI", "KESTRION_UI_LOG", "KESTRION_UI_ANSWERS"};
}  // namespace

ScriptEnvironment::ScriptEnvironment() {
  setenv("KESTRION_REGISTRY", File("registry").c_str(), 1);
  setenv("KESTRION_UI", "script", 1);
  setenv("KESTRION_UI_LOG", File("ui.log").c_str(), 1);
  setenv("KESTRION_UI_ANSWERS", File("answers").c_str(), 1);
}

ScriptEnvironment::~ScriptEnvironment() {
  for (const char* name : kVariables) unsetenv(name);
}

void ScriptEnvironment::Reset() {
  std::filesystem::remove_all(File("registry"));
  ClearLog();
  Answer("");
}

void ScriptEnvironment::Answer(const std::string& answers) const { WriteFile(File("answers"), answers); }

void ScriptEnvironment::ClearLog() const { WriteFile(File("ui.log"), ""); }

std::vector<std::string> ScriptEnvironment::Log(const char* kind) const { return LogLinesOfKind(File("ui.log"), kind); }

}  // namespace testenv

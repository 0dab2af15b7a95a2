#include "tests/support/script_ui_files.h"

#include <thread>

#include "tests/support/test_env.h"

namespace testenv {

std::map<std::string, std::string> ScriptEnvironmentIn(const std::string& folder) {
  return {{"HOME", folder + "/home"},
          {"XDG_CONFIG_HOME", ""},
          {"KESTRION_REGISTRY", folder + "/registry"},
          {"KESTRION_UI", "script"},
          {"KESTRION_UI_LOG", folder + "/ui.log"},
          {"KESTRION_UI_ANSWERS", folder + "/answers"}};
}

void WriteAnswers(const std::string& answersPath, const std::vector<std::string>& answers) {
  std::string text;
  for (const std::string& answer : answers) text += answer + "\n";
  WriteFile(answersPath, text);
}

std::string AwaitFinalMessage(const std::string& logPath, std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::vector<std::string> messages = LogLinesOfKind(logPath, "message");
    if (!messages.empty()) return JsonString(messages.back(), "text");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return "<kestrion did not end>";
}

}  // namespace testenv

#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

// The script UI's files as tests share them with the processes they start.
namespace testenv {

// The environment of programs a test starts in its folder: a home, a
// registry, and the script UI with its log (ui.log) and answers (answers)
// there.
std::map<std::string, std::string> ScriptEnvironmentIn(const std::string& folder);
// The answers, one a line, for the questions to come.
void WriteAnswers(const std::string& answersPath, const std::vector<std::string>& answers);
// kestrion runs detached: the text of the first message box in the log says
// it ended. A note that it did not, after the time-out.
std::string AwaitFinalMessage(const std::string& logPath, std::chrono::seconds timeout = std::chrono::seconds(120));

}  // namespace testenv

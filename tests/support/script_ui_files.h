#pragma once

#include <chrono>
#include <string>
#include <vector>

// The script UI's files as tests share them with the processes they start.
namespace testenv {

// The answers, one a line, for the questions to come.
void WriteAnswers(const std::string& answersPath, const std::vector<std::string>& answers);
// kestrion runs detached: the text of the first message box in the log says
// it ended. A note that it did not, after the time-out.
std::string AwaitFinalMessage(const std::string& logPath, std::chrono::seconds timeout = std::chrono::seconds(120));

}  // namespace testenv

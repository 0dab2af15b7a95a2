#pragma once

#include <chrono>
#include <string>

namespace testenv {

// A program that stands in for kestrion when only its start matters: it
// writes the argument it was given ("URL PATH" for a launch) to a record
// file, which appears whole (by rename).
class LaunchRecorder {
 public:
  // The program is written at programPath (which may hold blanks).
  LaunchRecorder(const std::string& programPath, const std::string& recordPath);
  const std::string& Program() const { return m_program; }
  // The recorded argument, or nothing after the time-out.
  std::string AwaitArgument(std::chrono::seconds timeout = std::chrono::seconds(20)) const;
  bool Started() const;

 private:
  std::string m_program;
  std::string m_record;
};

}  // namespace testenv

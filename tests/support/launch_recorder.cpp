#include "tests/support/launch_recorder.h"

#include <sys/stat.h>

#include <thread>

#include "tests/support/test_env.h"

namespace testenv {

LaunchRecorder::LaunchRecorder(const std::string& programPath, const std::string& recordPath)
    : m_program(programPath), m_record(recordPath) {
  WriteFile(programPath, "#!/bin/sh\nprintf '%s' \"$1\" > '" + recordPath + ".part'\n/bin/mv '" + recordPath +
                             ".part' '" + recordPath + "'\n");
  chmod(programPath.c_str(), 0755);
}

std::string LaunchRecorder::AwaitArgument(std::chrono::seconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!FileExists(m_record)) {
    if (std::chrono::steady_clock::now() >= deadline) return "";
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ReadFile(m_record);
}

bool LaunchRecorder::Started() const { return FileExists(m_record); }

}  // namespace testenv

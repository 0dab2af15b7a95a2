#pragma once

#include <string>
#include <vector>

#include "tests/support/test_env.h"

namespace testenv {

// For tests that load a server library into their own process: a scratch
// registry and the script UI, set in the environment where the library
// reads them. One per test suite; the variables stay until it is gone.
class ScriptEnvironment {
 public:
  ScriptEnvironment();
  ~ScriptEnvironment();
  ScriptEnvironment(const ScriptEnvironment&) = delete;
  ScriptEnvironment& operator=(const ScriptEnvironment&) = delete;

  // An empty registry, log and answers file.
  void Reset();
  // The answers, one a line, for the questions to come.
  void Answer(const std::string& answers) const;
  void ClearLog() const;
  // Lines of the UI log of that kind.
  std::vector<std::string> Log(const char* kind) const;
  std::string File(const std::string& name) const { return m_dir.File(name); }

 private:
  ScratchDir m_dir;
};

}  // namespace testenv

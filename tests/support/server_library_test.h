#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/com/server_library.h"
#include "tests/support/registry_values.h"
#include "tests/support/script_env.h"

namespace testenv {

// A test of one server library loaded into the test's own process: the
// script UI and a scratch registry are made once per suite and emptied
// before every test.
class ServerLibraryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_env = std::make_unique<ScriptEnvironment>(); }
  static void TearDownTestSuite() { s_env.reset(); }

  // Empties the environment and loads the built library of that name; a
  // fatal failure when it cannot be loaded.
  void LoadServer(const std::string& name) {
    s_env->Reset();
    std::string error;
    m_library = ServerLibrary::Load(BuildFolder() + "/" + name, &error);
    ASSERT_TRUE(m_library) << error;
  }

  static inline std::unique_ptr<ScriptEnvironment> s_env;
  std::unique_ptr<ServerLibrary> m_library;
};

}  // namespace testenv

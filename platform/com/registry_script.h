#pragma once

// The registry script a server library carries (the syntax is described
// with Registrar), read into keys and values before anything is written.

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry/registry.h"

struct ScriptValue {
  DWORD type = REG_SZ;
  std::string text;
  DWORD number = 0;
};

enum class KeyFlag { kNone, kForceRemove, kNoRemove };

// One key of a script. The keys of a root are listed in the order the
// script names them, each before the keys inside it, so the keys inside
// keys[i] are keys[i + 1] up to keys[end - 1].
struct ScriptKey {
  std::string name;
  KeyFlag flag = KeyFlag::kNone;
  size_t depth = 0;  // 0 directly below the root
  size_t end = 0;
  std::optional<ScriptValue> defaultValue;
  std::vector<std::pair<std::string, ScriptValue>> values;
};

struct ScriptRoot {
  HKEY root;
  std::vector<ScriptKey> keys;
};

// The roots of the script, or nothing when it is malformed or names a
// replacement it is not given. One pass over the text, without recursion,
// however deep the keys nest.
std::optional<std::vector<ScriptRoot>> ParseRegistryScript(const std::string& script,
                                                          const std::map<std::string, std::string>& replacements);

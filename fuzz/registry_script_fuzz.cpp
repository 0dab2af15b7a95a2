// A registry script as a server library carries it. What is read must
// describe a tree: each key's inner keys follow it, one level deeper at
// first, and the key after them is no deeper than it.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/com/registry_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  static const std::map<std::string, std::string> kReplacements = {{"MODULE", "/opt/kestrion/ksie.so"}};
  const auto roots = ParseRegistryScript(text, kReplacements);
  if (!roots) return 0;
  for (const ScriptRoot& root : *roots) {
    const std::vector<ScriptKey>& keys = root.keys;
    for (size_t i = 0; i < keys.size(); ++i) {
      const ScriptKey& key = keys[i];
      FuzzCheck(key.end > i && key.end <= keys.size(), "a key's inner keys lie after it");
      if (key.end > i + 1) FuzzCheck(keys[i + 1].depth == key.depth + 1, "inner keys are one level deeper");
      if (key.end < keys.size()) FuzzCheck(keys[key.end].depth <= key.depth, "the next key is outside");
      FuzzCheck(i == 0 || key.depth <= keys[i - 1].depth + 1, "no level is skipped");
    }
    FuzzCheck(keys.empty() || keys[0].depth == 0, "the first key is below the root");
  }
  return 0;
}

#include "platform/com/registrar.h"

#include <vector>

#include "platform/com/registry_script.h"
#include "platform/registry/registry.h"

namespace {

LONG WriteValue(HKEY key, const std::string& name, const ScriptValue& value) {
  return value.type == REG_DWORD ? RegSetDword(key, name, value.number) : RegSetString(key, name, value.text);
}

LONG WriteValues(HKEY key, const ScriptKey& script) {
  LONG error = ERROR_SUCCESS;
  if (script.defaultValue) error = WriteValue(key, "", *script.defaultValue);
  for (size_t i = 0; error == ERROR_SUCCESS && i < script.values.size(); ++i)
    error = WriteValue(key, script.values[i].first, script.values[i].second);
  return error;
}

// Creates the keys in script order, each below the last key created one
// level up. Handles are closed once the walk is done.
LONG RegisterKeys(const ScriptRoot& root) {
  std::vector<HKEY> created;
  std::vector<HKEY> parents{root.root};
  LONG error = ERROR_SUCCESS;
  for (const ScriptKey& script : root.keys) {
    parents.resize(script.depth + 1);
    if (script.flag == KeyFlag::kForceRemove) RegDeleteKey(parents.back(), script.name);
    HKEY key = nullptr;
    error = RegCreateKeyEx(parents.back(), script.name, &key);
    if (error != ERROR_SUCCESS) break;
    created.push_back(key);
    parents.push_back(key);
    error = WriteValues(key, script);
    if (error != ERROR_SUCCESS) break;
  }
  for (HKEY key : created) RegCloseKey(key);
  return error;
}

bool HasSubKeys(HKEY key) {
  char name[256];
  DWORD size = sizeof name;
  return RegEnumKeyEx(key, 0, name, &size) != ERROR_NO_MORE_ITEMS;
}

// A key the walk went into, to be dealt with once its sub-keys have been.
struct Visited {
  const ScriptKey* script;
  HKEY parent;
  HKEY key;
};

// After its sub-keys: a NoRemove key stays; a key that others put keys
// beneath keeps them and loses only our values; any other key goes.
void RemoveVisited(const Visited& visited) {
  const ScriptKey& script = *visited.script;
  if (script.flag == KeyFlag::kNoRemove) return;
  if (!HasSubKeys(visited.key)) {
    RegDeleteKey(visited.parent, script.name);
    return;
  }
  if (script.defaultValue) RegDeleteValue(visited.key, "");
  for (const auto& value : script.values) RegDeleteValue(visited.key, value.first);
}

// Walks the keys in script order, deleting each ForceRemove key outright and
// skipping what is inside it or inside a key that is not there; then deals
// with the keys it went into, deepest first.
void UnregisterKeys(const ScriptRoot& root) {
  std::vector<Visited> visited;
  std::vector<HKEY> parents{root.root};
  for (size_t i = 0; i < root.keys.size();) {
    const ScriptKey& script = root.keys[i];
    parents.resize(script.depth + 1);
    if (script.flag == KeyFlag::kForceRemove) RegDeleteKey(parents.back(), script.name);
    HKEY key = nullptr;
    if (script.flag == KeyFlag::kForceRemove || RegOpenKeyEx(parents.back(), script.name, &key) != ERROR_SUCCESS) {
      i = script.end;
      continue;
    }
    visited.push_back({&script, parents.back(), key});
    parents.push_back(key);
    ++i;
  }
  for (auto it = visited.rbegin(); it != visited.rend(); ++it) RemoveVisited(*it);
  for (const Visited& v : visited) RegCloseKey(v.key);
}

}  // namespace

HRESULT Registrar::RegisterScript(const std::string& script) const {
  auto roots = ParseRegistryScript(script, m_replacements);
  if (!roots) return E_INVALIDARG;
  for (const ScriptRoot& root : *roots)
    if (LONG error = RegisterKeys(root); error != ERROR_SUCCESS) return HResultFromWin32(error);
  return S_OK;
}

HRESULT Registrar::UnregisterScript(const std::string& script) const {
  auto roots = ParseRegistryScript(script, m_replacements);
  if (!roots) return E_INVALIDARG;
  for (const ScriptRoot& root : *roots) UnregisterKeys(root);
  return S_OK;
}

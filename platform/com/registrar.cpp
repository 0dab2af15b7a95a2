#include "platform/com/registrar.h"

#include <strings.h>

#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/registry/registry.h"

namespace {

struct Token {
  std::string text;
  bool quoted = false;
};

struct ScriptValue {
  DWORD type = REG_SZ;
  std::string text;
  DWORD number = 0;
};

enum class KeyFlag { kNone, kForceRemove, kNoRemove };

struct ScriptKey {
  std::string name;
  KeyFlag flag = KeyFlag::kNone;
  std::optional<ScriptValue> defaultValue;
  std::vector<std::pair<std::string, ScriptValue>> values;
  std::vector<ScriptKey> subKeys;
};

struct ScriptRoot {
  HKEY root;
  std::vector<ScriptKey> keys;
};

struct ParseError {};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class ScriptParser {
 public:
  ScriptParser(const std::string& script, const std::map<std::string, std::string>& replacements)
      : m_replacements(replacements) {
    Tokenize(script);
  }

  std::vector<ScriptRoot> Roots() {
    std::vector<ScriptRoot> roots;
    while (m_next < m_tokens.size()) {
      ScriptRoot root{RootKey(Take()), {}};
      Expect("{");
      while (!TakeIf("}")) root.keys.push_back(Key());
      roots.push_back(std::move(root));
    }
    return roots;
  }

 private:
  void Tokenize(const std::string& script) {
    size_t at = 0;
    for (;;) {
      while (at < script.size() && IsSpace(script[at])) ++at;
      if (at == script.size()) return;
      Token token;
      if (script[at] == '\'') {
        token.quoted = true;
        for (++at;; ++at) {
          if (at == script.size()) throw ParseError();
          if (script[at] == '\'') {
            if (at + 1 < script.size() && script[at + 1] == '\'') {
              ++at;
            } else {
              ++at;
              break;
            }
          }
          token.text += script[at];
        }
      } else {
        while (at < script.size() && !IsSpace(script[at])) token.text += script[at++];
      }
      token.text = Expand(token.text);
      m_tokens.push_back(std::move(token));
    }
  }

  std::string Expand(const std::string& text) const {
    std::string expanded;
    for (size_t at = 0; at < text.size(); ++at) {
      if (text[at] != '%') {
        expanded += text[at];
        continue;
      }
      const size_t close = text.find('%', at + 1);
      if (close == std::string::npos) throw ParseError();
      if (close == at + 1) {
        expanded += '%';
      } else {
        auto found = m_replacements.find(text.substr(at + 1, close - at - 1));
        if (found == m_replacements.end()) throw ParseError();
        expanded += found->second;
      }
      at = close;
    }
    return expanded;
  }

  const Token& Take() {
    if (m_next == m_tokens.size()) throw ParseError();
    return m_tokens[m_next++];
  }

  // An unquoted word, compared without regard to case.
  bool IsWord(const Token& token, const char* word) const {
    return !token.quoted && strcasecmp(token.text.c_str(), word) == 0;
  }

  bool TakeIf(const char* word) {
    if (m_next < m_tokens.size() && IsWord(m_tokens[m_next], word)) {
      ++m_next;
      return true;
    }
    return false;
  }

  void Expect(const char* word) {
    if (!IsWord(Take(), word)) throw ParseError();
  }

  HKEY RootKey(const Token& token) const {
    if (IsWord(token, "HKCR") || IsWord(token, "HKEY_CLASSES_ROOT")) return HKEY_CLASSES_ROOT;
    if (IsWord(token, "HKCU") || IsWord(token, "HKEY_CURRENT_USER")) return HKEY_CURRENT_USER;
    if (IsWord(token, "HKLM") || IsWord(token, "HKEY_LOCAL_MACHINE")) return HKEY_LOCAL_MACHINE;
    throw ParseError();
  }

  // A key name may not be a piece of the syntax.
  std::string Name() {
    const Token& token = Take();
    if (!token.quoted && (token.text == "{" || token.text == "}" || token.text == "=")) throw ParseError();
    return token.text;
  }

  ScriptValue Value() {
    ScriptValue value;
    const Token& type = Take();
    const Token& data = Take();
    if (IsWord(type, "s")) {
      value.text = data.text;
    } else if (IsWord(type, "d")) {
      value.type = REG_DWORD;
      size_t used = 0;
      try {
        value.number = static_cast<DWORD>(std::stoul(data.text, &used, 0));
      } catch (const std::logic_error&) {
        throw ParseError();
      }
      if (used != data.text.size()) throw ParseError();
    } else {
      throw ParseError();
    }
    return value;
  }

  ScriptKey Key() {
    ScriptKey key;
    if (TakeIf("ForceRemove"))
      key.flag = KeyFlag::kForceRemove;
    else if (TakeIf("NoRemove"))
      key.flag = KeyFlag::kNoRemove;
    key.name = Name();
    if (TakeIf("=")) key.defaultValue = Value();
    if (TakeIf("{")) {
      while (!TakeIf("}")) {
        if (TakeIf("val")) {
          std::string name = Name();
          Expect("=");
          key.values.emplace_back(std::move(name), Value());
        } else {
          key.subKeys.push_back(Key());
        }
      }
    }
    return key;
  }

  const std::map<std::string, std::string>& m_replacements;
  std::vector<Token> m_tokens;
  size_t m_next = 0;
};

std::optional<std::vector<ScriptRoot>> ParseScript(const std::string& script,
                                                  const std::map<std::string, std::string>& replacements) {
  try {
    return ScriptParser(script, replacements).Roots();
  } catch (const ParseError&) {
    return std::nullopt;
  }
}

LONG WriteValue(HKEY key, const std::string& name, const ScriptValue& value) {
  return value.type == REG_DWORD ? RegSetDword(key, name, value.number) : RegSetString(key, name, value.text);
}

LONG RegisterKey(HKEY parent, const ScriptKey& script) {
  if (script.flag == KeyFlag::kForceRemove) RegDeleteKey(parent, script.name);
  HKEY key = nullptr;
  LONG error = RegCreateKeyEx(parent, script.name, &key);
  if (error != ERROR_SUCCESS) return error;
  if (script.defaultValue) error = WriteValue(key, "", *script.defaultValue);
  for (size_t i = 0; error == ERROR_SUCCESS && i < script.values.size(); ++i)
    error = WriteValue(key, script.values[i].first, script.values[i].second);
  for (size_t i = 0; error == ERROR_SUCCESS && i < script.subKeys.size(); ++i)
    error = RegisterKey(key, script.subKeys[i]);
  RegCloseKey(key);
  return error;
}

bool HasSubKeys(HKEY key) {
  char name[256];
  DWORD size = sizeof name;
  return RegEnumKeyEx(key, 0, name, &size) != ERROR_NO_MORE_ITEMS;
}

void UnregisterKey(HKEY parent, const ScriptKey& script) {
  if (script.flag == KeyFlag::kForceRemove) {
    RegDeleteKey(parent, script.name);
    return;
  }
  HKEY key = nullptr;
  if (RegOpenKeyEx(parent, script.name, &key) != ERROR_SUCCESS) return;
  for (const ScriptKey& subKey : script.subKeys) UnregisterKey(key, subKey);
  if (script.flag == KeyFlag::kNoRemove) {
    RegCloseKey(key);
    return;
  }
  // Keys that others put beneath it keep it alive; only our values go.
  if (HasSubKeys(key)) {
    if (script.defaultValue) RegDeleteValue(key, "");
    for (const auto& value : script.values) RegDeleteValue(key, value.first);
    RegCloseKey(key);
    return;
  }
  RegCloseKey(key);
  RegDeleteKey(parent, script.name);
}

}  // namespace

HRESULT Registrar::RegisterScript(const std::string& script) const {
  auto roots = ParseScript(script, m_replacements);
  if (!roots) return E_INVALIDARG;
  for (const ScriptRoot& root : *roots)
    for (const ScriptKey& key : root.keys)
      if (LONG error = RegisterKey(root.root, key); error != ERROR_SUCCESS) return HResultFromWin32(error);
  return S_OK;
}

HRESULT Registrar::UnregisterScript(const std::string& script) const {
  auto roots = ParseScript(script, m_replacements);
  if (!roots) return E_INVALIDARG;
  for (const ScriptRoot& root : *roots)
    for (const ScriptKey& key : root.keys) UnregisterKey(root.root, key);
  return S_OK;
}

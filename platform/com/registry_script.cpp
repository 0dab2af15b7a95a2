#include "platform/com/registry_script.h"

#include <strings.h>

#include <stdexcept>

namespace {

struct Token {
  std::string text;
  bool quoted = false;
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
      ReadKeys(&root.keys);
      roots.push_back(std::move(root));
    }
    return roots;
  }

 private:
  // The keys up to the brace that closes their root. The keys whose braces
  // are open are kept by index, innermost last, instead of on the stack.
  void ReadKeys(std::vector<ScriptKey>* keys) {
    std::vector<size_t> open;
    for (;;) {
      if (TakeIf("}")) {
        if (open.empty()) return;
        (*keys)[open.back()].end = keys->size();
        open.pop_back();
      } else if (!open.empty() && TakeIf("val")) {
        std::string name = Name();
        Expect("=");
        ScriptValue value = Value();
        (*keys)[open.back()].values.emplace_back(std::move(name), std::move(value));
      } else {
        keys->push_back(Key(open.size()));
        if (TakeIf("{"))
          open.push_back(keys->size() - 1);
        else
          keys->back().end = keys->size();
      }
    }
  }

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

  // A key's flag, name and default value; what its braces hold is read by
  // ReadKeys.
  ScriptKey Key(size_t depth) {
    ScriptKey key;
    key.depth = depth;
    if (TakeIf("ForceRemove"))
      key.flag = KeyFlag::kForceRemove;
    else if (TakeIf("NoRemove"))
      key.flag = KeyFlag::kNoRemove;
    key.name = Name();
    if (TakeIf("=")) key.defaultValue = Value();
    return key;
  }

  const std::map<std::string, std::string>& m_replacements;
  std::vector<Token> m_tokens;
  size_t m_next = 0;
};

}  // namespace

std::optional<std::vector<ScriptRoot>> ParseRegistryScript(const std::string& script,
                                                          const std::map<std::string, std::string>& replacements) {
  try {
    return ScriptParser(script, replacements).Roots();
  } catch (const ParseError&) {
    return std::nullopt;
  }
}

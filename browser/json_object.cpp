#include "browser/json_object.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <string_view>

namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : m_text(text) {}

  std::optional<std::map<std::string, JsonValue>> Object() {
    std::map<std::string, JsonValue> members;
    SkipBlanks();
    if (!Take('{')) return std::nullopt;
    SkipBlanks();
    if (!Take('}')) {
      do {
        SkipBlanks();
        std::string name;
        JsonValue value;
        if (!String(&name)) return std::nullopt;
        SkipBlanks();
        if (!Take(':') || !Value(&value)) return std::nullopt;
        if (!members.emplace(std::move(name), std::move(value)).second) return std::nullopt;
        SkipBlanks();
      } while (Take(','));
      if (!Take('}')) return std::nullopt;
    }
    SkipBlanks();
    if (m_at != m_text.size()) return std::nullopt;
    return members;
  }

 private:
  bool Value(JsonValue* value) {
    SkipBlanks();
    if (Peek() == '"') {
      value->kind = JsonValue::kString;
      return String(&value->string);
    }
    for (const bool boolean : {true, false}) {
      if (TakeWord(boolean ? "true" : "false")) {
        value->kind = JsonValue::kBoolean;
        value->boolean = boolean;
        return true;
      }
    }
    if (TakeWord("null")) return true;
    value->kind = JsonValue::kNumber;
    return Number(&value->number);
  }

  bool String(std::string* out) {
    if (!Take('"')) return false;
    while (m_at < m_text.size()) {
      const unsigned char c = m_text[m_at++];
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c == '\\') {
        if (!Escape(out)) return false;
      } else if (c < 0x80) {
        out->push_back(static_cast<char>(c));
      } else if (!Utf8Sequence(c, out)) {
        return false;
      }
    }
    return false;
  }

  bool Escape(std::string* out) {
    if (m_at >= m_text.size()) return false;
    const char c = m_text[m_at++];
    switch (c) {
      case '"': case '\\': case '/': out->push_back(c); return true;
      case 'b': out->push_back('\b'); return true;
      case 'f': out->push_back('\f'); return true;
      case 'n': out->push_back('\n'); return true;
      case 'r': out->push_back('\r'); return true;
      case 't': out->push_back('\t'); return true;
      case 'u': break;
      default: return false;
    }
    uint32_t unit = 0;
    if (!Hex4(&unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      uint32_t low = 0;
      if (!TakeWord("\\u") || !Hex4(&low) || low < 0xDC00 || low > 0xDFFF) return false;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(unit, out);
    return true;
  }

  bool Hex4(uint32_t* unit) {
    if (m_at + 4 > m_text.size()) return false;
    const char* begin = m_text.data() + m_at;
    for (int i = 0; i < 4; ++i)
      if (!std::isxdigit(static_cast<unsigned char>(begin[i]))) return false;
    std::from_chars(begin, begin + 4, *unit, 16);
    m_at += 4;
    return true;
  }

  // A well-formed multi-byte character that starts with `lead`: no overlong
  // forms, no surrogates, nothing past U+10FFFF.
  bool Utf8Sequence(unsigned char lead, std::string* out) {
    int continuation;
    uint32_t code;
    uint32_t least;
    if (lead >= 0xC2 && lead <= 0xDF) {
      continuation = 1, code = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      continuation = 2, code = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      continuation = 3, code = lead & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (m_at + continuation > m_text.size()) return false;
    for (int i = 0; i < continuation; ++i) {
      const unsigned char c = m_text[m_at + i];
      if ((c & 0xC0) != 0x80) return false;
      code = (code << 6) | (c & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    out->append(m_text.substr(m_at - 1, continuation + 1));
    m_at += continuation;
    return true;
  }

  static void AppendUtf8(uint32_t code, std::string* out) {
    if (code < 0x80) {
      out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (code >> 6)));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (code >> 12)));
      out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (code >> 18)));
      out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }

  // JSON's number grammar, read without regard to the locale.
  bool Number(double* number) {
    const size_t start = m_at;
    Take('-');
    if (Take('0')) {
    } else if (!Digits()) {
      return false;
    }
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    const char* begin = m_text.data() + start;
    const char* end = m_text.data() + m_at;
    const auto [stop, error] = std::from_chars(begin, end, *number);
    return stop == end && error == std::errc();
  }

  bool Digits() {
    const size_t start = m_at;
    while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9') ++m_at;
    return m_at > start;
  }

  void SkipBlanks() {
    while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t' || m_text[m_at] == '\n' ||
                                    m_text[m_at] == '\r'))
      ++m_at;
  }

  char Peek() const { return m_at < m_text.size() ? m_text[m_at] : '\0'; }

  bool Take(char c) {
    if (Peek() != c) return false;
    ++m_at;
    return true;
  }

  bool TakeWord(std::string_view word) {
    if (m_text.substr(m_at, word.size()) != word) return false;
    m_at += word.size();
    return true;
  }

  std::string_view m_text;
  size_t m_at = 0;
};

}  // namespace

std::optional<JsonObject> JsonObject::Parse(const std::string& text) {
  auto members = Parser(text).Object();
  if (!members) return std::nullopt;
  JsonObject object;
  object.m_members = std::move(*members);
  return object;
}

const JsonValue* JsonObject::Find(const std::string& name) const {
  const auto member = m_members.find(name);
  return member == m_members.end() ? nullptr : &member->second;
}

std::string JsonQuoted(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string quoted = "\"";
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (u < 0x20) {
      quoted += "\\u00";
      quoted += kHex[u >> 4];
      quoted += kHex[u & 0xF];
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

#pragma once

// JSON for the host's messages: one object whose members are strings,
// numbers, true, false or null. Nothing deeper is ever sent to the host, so
// nothing deeper is read.

#include <map>
#include <optional>
#include <string>

struct JsonValue {
  enum Kind { kString, kNumber, kBoolean, kNull };
  Kind kind = kNull;
  std::string string;  // kString: UTF-8, escapes decoded
  double number = 0;   // kNumber
  bool boolean = false;  // kBoolean
};

class JsonObject {
 public:
  // Nothing unless the whole text, UTF-8, is one such object with each name
  // once.
  static std::optional<JsonObject> Parse(const std::string& text);

  // The member's value, or null when there is none.
  const JsonValue* Find(const std::string& name) const;

 private:
  std::map<std::string, JsonValue> m_members;
};

// The text as a JSON string literal, quotes included.
std::string JsonQuoted(const std::string& text);

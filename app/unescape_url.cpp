#include "app/unescape_url.h"

#include <cstdint>

namespace {

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// The digit run is read as hexadecimal, however long it is; only its low
// eight bits survive, so arithmetic that wraps is harmless.
char LowByteOfHexRun(const std::string& run) {
  uint32_t value = 0;
  for (char c : run) value = value * 16 + static_cast<uint32_t>(c - '0');
  return static_cast<char>(value & 0xFF);
}

}  // namespace

std::string UnescapeURL(const std::string& text) {
  std::string result;
  size_t pos = 0;
  while (true) {
    const size_t percent = text.find('%', pos);
    if (percent == std::string::npos || percent + 1 == text.size()) {
      result.append(text, pos, std::string::npos);
      return result;
    }
    if (text[percent + 1] == '%') {
      result.append(text, pos, percent - pos);
      result += '%';
      pos = percent + 2;
      continue;
    }
    size_t runEnd = percent + 1;
    while (runEnd < text.size() && IsDecimalDigit(text[runEnd])) ++runEnd;
    if (runEnd == percent + 1) {
      result.append(text, pos, percent + 1 - pos);
      pos = percent + 1;
      continue;
    }
    result.append(text, pos, percent - pos);
    result += LowByteOfHexRun(text.substr(percent + 1, runEnd - percent - 1));
    pos = runEnd;
  }
}

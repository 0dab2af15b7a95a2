#include "platform/com/guid.h"

#include <cstdio>

namespace {

// Digit pairs of the text form, in order: Data1 (4 bytes), Data2 (2),
// Data3 (2), then the 8 bytes of Data4, the first two before the last dash.
constexpr int kGroupLengths[] = {8, 4, 4, 4, 12};
constexpr size_t kTextLength = 38;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string StringFromGUID(const GUID& guid) {
  char text[kTextLength + 1];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2,
                guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
                guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

std::optional<GUID> GUIDFromString(const std::string& text) {
  if (text.size() != kTextLength || text.front() != '{' || text.back() != '}') return std::nullopt;
  uint8_t bytes[16];
  size_t at = 1;
  int byteCount = 0;
  for (int group = 0; group < 5; ++group) {
    if (group > 0 && text[at++] != '-') return std::nullopt;
    for (int i = 0; i < kGroupLengths[group]; i += 2) {
      const int high = HexValue(text[at]), low = HexValue(text[at + 1]);
      if (high < 0 || low < 0) return std::nullopt;
      bytes[byteCount++] = static_cast<uint8_t>(high << 4 | low);
      at += 2;
    }
  }
  GUID guid;
  guid.Data1 = uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
  guid.Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  guid.Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  for (int i = 0; i < 8; ++i) guid.Data4[i] = bytes[8 + i];
  return guid;
}

#include "http/request_target.h"

#include <cctype>
#include <cstring>

namespace {

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool BeginsEscape(const std::string& path, size_t at) {
  return at + 2 < path.size() && IsHex(path[at + 1]) && IsHex(path[at + 2]);
}

bool MustEncode(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return true;
  return std::strchr("\"<>\\^`{|}#", c) != nullptr;
}

template <typename KeepPercent>
std::string Encode(const std::string& path, KeepPercent keepPercent) {
  if (path.empty()) return "/";
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (MustEncode(c) || (c == '%' && !keepPercent(i))) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

std::string EncodeRequestTarget(const std::string& path) {
  return Encode(path, [](size_t) { return false; });
}

std::string EncodeLocationTarget(const std::string& path) {
  return Encode(path, [&path](size_t at) { return BeginsEscape(path, at); });
}

#include "platform/com/wide_text.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The code point at text[*at], advancing *at past it; kReplacement for
// bytes that are no valid sequence.
char32_t DecodeUtf8(const std::string& text, size_t* at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(*at);
  size_t length;
  char32_t code;
  if (lead < 0x80) {
    ++*at;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    ++*at;
    return kReplacement;
  }
  for (size_t i = 1; i < length; ++i) {
    // A cut sequence is one replacement, up to the byte that cuts it.
    if (*at + i == text.size() || (byte(*at + i) & 0xC0) != 0x80) {
      *at += i;
      return kReplacement;
    }
    code = code << 6 | (byte(*at + i) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not text.
  const char32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < lowest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
    ++*at;
    return kReplacement;
  }
  *at += length;
  return code;
}

void AppendUtf8(std::string* out, char32_t code) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | code >> 6));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | code >> 12));
    out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | code >> 18));
    out->push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::u16string WideFromUtf8(const std::string& text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const char32_t code = DecodeUtf8(text, &at);
    if (code >= 0x10000) {
      wide.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(code));
    }
  }
  return wide;
}

std::string Utf8FromWide(const std::u16string& text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(&narrow, 0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      narrow.push_back('?');
    } else {
      AppendUtf8(&narrow, c);
    }
  }
  return narrow;
}

std::string Utf8FromWide(const char16_t* text) { return text ? Utf8FromWide(std::u16string(text)) : std::string(); }

void* CoTaskMemAlloc(size_t size) { return std::malloc(size ? size : 1); }

void CoTaskMemFree(void* memory) { std::free(memory); }

char16_t* CoTaskMemDupString(const std::u16string& text) {
  const size_t bytes = (text.size() + 1) * sizeof(char16_t);
  auto* copy = static_cast<char16_t*>(CoTaskMemAlloc(bytes));
  if (copy) std::memcpy(copy, text.c_str(), bytes);
  return copy;
}

#include "app/unescape_url.h"

#include <gtest/gtest.h>

TEST(UnescapeURL, TwoHexDigitsMakeOneByteAndEveryOtherPercentStays) {
  const std::pair<const char*, std::string> cases[] = {
      // Two hexadecimal digits, either case, are one byte.
      {"a%20b", "a b"},
      {"report%202024.pdf", "report 2024.pdf"},
      {"c%2B.bin", "c+.bin"},
      {"%3F", "?"},
      {"%3f%7e", "?~"},
      {"%2F", "/"},
      {"%C3%A9", "\xC3\xA9"},
      {"%41B", "AB"},
      {"%2020", " 20"},
      {"C:\\%50\\f", "C:\\P\\f"},
      {"%00", std::string(1, '\0')},
      // %% is one %.
      {"%%41", "%41"},
      {"a%%", "a%"},
      {"%%%", "%%"},
      // Anything else keeps its %.
      {"C:\\50%\\f", "C:\\50%\\f"},
      {"100%", "100%"},
      {"%", "%"},
      {"%4", "%4"},
      {"%4g", "%4g"},
      {"%G1", "%G1"},
      {"%\xC3\xA9", "%\xC3\xA9"},
      {"", ""},
      {"plain", "plain"},
      {"%31%32x%33", "12x3"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(UnescapeURL(text), expected) << text;
}

#include "platform/com/guid.h"

#include <gtest/gtest.h>

#include "platform/com/wide_text.h"

namespace {

TEST(GuidTest, TextFormRoundTripsAndBadTextIsRefused) {
  const GUID guid{0x7C3E20B4, 0x41A9, 0x11D2, {0x8F, 0x3C, 0x00, 0x60, 0xB0, 0xE2, 0xA1, 0x7C}};
  EXPECT_EQ("{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C}", StringFromGUID(guid));
  EXPECT_EQ(guid, GUIDFromString("{7c3e20b4-41a9-11d2-8f3c-0060b0e2a17c}"));
  EXPECT_EQ("{00000000-0000-0000-0000-000000000000}", StringFromGUID(GUID_NULL));
  const char* refused[] = {
      "7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C",    "{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C",
      "{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17CC}", "{7C3E20B4-41A9-11D2-8F3C0-060B0E2A17C}",
      "{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17G}",  "{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C} ",
      "",
  };
  for (const char* text : refused) EXPECT_FALSE(GUIDFromString(text)) << text;
}

TEST(WideTextTest, ConvertsEveryPlaneAndReplacesWhatIsNotText) {
  const struct {
    std::string narrow;
    std::u16string wide;
  } pairs[] = {
      {"http://h/a.zip", u"http://h/a.zip"},
      {"caf\xC3\xA9 \xE2\x82\xAC", u"caf\u00E9 \u20AC"},
      {"\xF0\x9F\x93\xA6.zip", u"\U0001F4E6.zip"},
  };
  for (const auto& pair : pairs) {
    EXPECT_EQ(pair.wide, WideFromUtf8(pair.narrow));
    EXPECT_EQ(pair.narrow, Utf8FromWide(pair.wide));
  }
  // A stray byte, an overlong form and a cut sequence each become U+FFFD.
  EXPECT_EQ(u"a\uFFFDb\uFFFD\uFFFDc\uFFFD", WideFromUtf8("a\xFF" "b\xC0\xAF" "c\xE2\x82"));
  // A lone surrogate is no text either.
  EXPECT_EQ("a?b?", Utf8FromWide(std::u16string{u'a', 0xD800, u'b', 0xDC00}));
}

}  // namespace

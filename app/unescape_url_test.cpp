#include "app/unescape_url.h"

#include <gtest/gtest.h>

TEST(UnescapeURL, DecodesDigitRunsAsHexAndKeepsLowByte) {
  EXPECT_EQ(UnescapeURL("a%20b"), "a b");
  EXPECT_EQ(UnescapeURL("C:\\%50\\f"), "C:\\P\\f");
  EXPECT_EQ(UnescapeURL("%2020"), " ");
  EXPECT_EQ(UnescapeURL("%41B"), "AB");
  EXPECT_EQ(UnescapeURL("%2F"), std::string("\x02") + "F");
  EXPECT_EQ(UnescapeURL("%0"), std::string(1, '\0'));
}

TEST(UnescapeURL, LeavesPercentLiteralWhereNoDigitsFollow) {
  EXPECT_EQ(UnescapeURL("C:\\50%\\f"), "C:\\50%\\f");
  EXPECT_EQ(UnescapeURL("100%"), "100%");
  EXPECT_EQ(UnescapeURL("%"), "%");
  EXPECT_EQ(UnescapeURL("%A0"), "%A0");
  EXPECT_EQ(UnescapeURL("%\xC3\xA9"), "%\xC3\xA9");
  EXPECT_EQ(UnescapeURL("%%41"), "%41");
  EXPECT_EQ(UnescapeURL("a%%"), "a%");
  EXPECT_EQ(UnescapeURL("%%%"), "%%");
}

TEST(UnescapeURL, HandlesSeveralEscapesAndPlainText) {
  EXPECT_EQ(UnescapeURL(""), "");
  EXPECT_EQ(UnescapeURL("plain"), "plain");
  EXPECT_EQ(UnescapeURL("%31%32x%33"), "12x3");
  EXPECT_EQ(UnescapeURL("my%20file%20%28"), "my file (");
}

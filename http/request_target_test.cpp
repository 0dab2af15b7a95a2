#include "http/request_target.h"

#include <gtest/gtest.h>

namespace {

TEST(RequestTarget, BytesThatMayNotStandRawAreEncodedEitherWay) {
  for (auto* encode : {&EncodeRequestTarget, &EncodeLocationTarget}) {
    EXPECT_EQ(encode("/a b\t\x7F\x01.zip"), "/a%20b%09%7F%01.zip");
    EXPECT_EQ(encode("/\"<>\\^`{|}#"), "/%22%3C%3E%5C%5E%60%7B%7C%7D%23");
    EXPECT_EQ(encode("/caf\xC3\xA9"), "/caf%C3%A9");
    EXPECT_EQ(encode("/x?y=1&z=[2]~!$'()*+,;=:@"), "/x?y=1&z=[2]~!$'()*+,;=:@");
    EXPECT_EQ(encode(""), "/");
  }
}

// An unescaped path's '%' is part of the name; a location's escapes are the
// server's own and only a stray '%' is one of the name.
TEST(RequestTarget, APercentIsTheNamesOrAnEscapeByWhereThePathCameFrom) {
  const struct {
    const char* path;
    const char* unescaped;
    const char* location;
  } cases[] = {
      {"/x%41y.bin", "/x%2541y.bin", "/x%41y.bin"},
      {"/a%2fb", "/a%252fb", "/a%2fb"},
      {"/50%", "/50%25", "/50%25"},
      {"/5%g0", "/5%25g0", "/5%25g0"},
      {"/%4", "/%254", "/%254"},
      {"/%%41", "/%25%2541", "/%25%41"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeRequestTarget(c.path), c.unescaped) << c.path;
    EXPECT_EQ(EncodeLocationTarget(c.path), c.location) << c.path;
  }
}

}  // namespace

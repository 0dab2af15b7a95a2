#include "http/request_target.h"

#include <gtest/gtest.h>

namespace {

TEST(RequestTarget, BytesThatMayNotStandRawAreEncoded) {
  EXPECT_EQ(EncodeRequestTarget("/a b\t\x7F\x01.zip"), "/a%20b%09%7F%01.zip");
  EXPECT_EQ(EncodeRequestTarget("/\"<>\\^`{|}#"), "/%22%3C%3E%5C%5E%60%7B%7C%7D%23");
  EXPECT_EQ(EncodeRequestTarget("/caf\xC3\xA9"), "/caf%C3%A9");
}

TEST(RequestTarget, EscapesAndOrdinaryBytesStay) {
  EXPECT_EQ(EncodeRequestTarget("/a%20b%2f/x?y=1&z=[2]~!$'()*+,;=:@"), "/a%20b%2f/x?y=1&z=[2]~!$'()*+,;=:@");
}

TEST(RequestTarget, AStrayPercentIsEncoded) {
  EXPECT_EQ(EncodeRequestTarget("/50%"), "/50%25");
  EXPECT_EQ(EncodeRequestTarget("/5%g0"), "/5%25g0");
  EXPECT_EQ(EncodeRequestTarget("/%4"), "/%254");
  EXPECT_EQ(EncodeRequestTarget("/%%41"), "/%25%41");
}

TEST(RequestTarget, AnEmptyPathAsksForTheRoot) { EXPECT_EQ(EncodeRequestTarget(""), "/"); }

}  // namespace

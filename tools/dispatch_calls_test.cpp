#include "tools/dispatch_calls.h"

#include <gtest/gtest.h>

namespace {

TEST(DispatchCallsTest, SplitsAtEachDoubleDash) {
  auto calls = ParseDispatchCalls({"Initialize", "", "http://h/a.zip", "--", "Open", "", "--", "x"});
  ASSERT_TRUE(calls);
  ASSERT_EQ(3u, calls->size());
  EXPECT_EQ("Initialize", (*calls)[0].method);
  EXPECT_EQ((std::vector<std::string>{"", "http://h/a.zip"}), (*calls)[0].arguments);
  EXPECT_EQ((std::vector<std::string>{""}), (*calls)[1].arguments);
  EXPECT_TRUE((*calls)[2].arguments.empty());

  // An empty first word is no method name; every call needs one.
  const std::vector<std::vector<std::string>> refused = {
      {}, {"--", "Open"}, {"Open", "--"}, {"A", "--", "--", "B"}, {""}};
  for (const auto& words : refused) EXPECT_FALSE(ParseDispatchCalls(words)) << words.size();
}

}  // namespace

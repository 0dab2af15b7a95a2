#include "app/kestrion_app.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/app_messages.h"
#include "platform/base/failure.h"
#include "tests/support/test_env.h"

namespace {

std::string SplitFailure(const std::string& text) {
  CKestrionApp app;
  try {
    app.SplitCommandLine(text);
  } catch (const Failure& failure) {
    return failure.Text();
  }
  return "";
}

}  // namespace

TEST(SplitCommandLine, SplitsAtTheFirstBlankOnly) {
  CKestrionApp app;
  EXPECT_TRUE(app.SplitCommandLine("ftp://h/f C:\\a b\\file.zip"));
  EXPECT_EQ(app.m_strParam1, "ftp://h/f");
  EXPECT_EQ(app.m_strParam2, "C:\\a b\\file.zip");
  app.SplitCommandLine("http://h/f  two");
  EXPECT_EQ(app.m_strParam2, " two");
  app.SplitCommandLine("\"http://h/f\" \"d\"");
  EXPECT_EQ(app.m_strParam1, "\"http://h/f\"");
  app.SplitCommandLine("a\tb c");
  EXPECT_EQ(app.m_strParam1, "a\tb");
}

TEST(SplitCommandLine, RefusesMissingOrEmptyParameters) {
  EXPECT_EQ(SplitFailure("http://h/f"), app_messages::kTwoParameters);
  EXPECT_EQ(SplitFailure("http://h/f\tdest"), app_messages::kTwoParameters);
  EXPECT_EQ(SplitFailure("http://h/f "), app_messages::kEmptyParameter);
  EXPECT_EQ(SplitFailure(" dest"), app_messages::kEmptyParameter);
  EXPECT_EQ(SplitFailure("x y"), "");
}

TEST(StartFromURL, RefusesUrlsWithoutASupportedScheme) {
  // A registry of its own: one that allows https would start a download.
  testenv::ScratchDir registry;
  setenv("KESTRION_REGISTRY", registry.Path().c_str(), 1);
  CKestrionApp app;
  auto refusal = [&](const std::string& url) {
    try {
      app.StartFromURL(url, "dest");
    } catch (const Failure& failure) {
      return failure.Text();
    }
    return std::string("started");
  };
  EXPECT_EQ(refusal("example.org/file"), app_messages::kNoScheme);
  EXPECT_EQ(refusal("https://example.org/file"), app_messages::kUnsupportedScheme);
  EXPECT_EQ(refusal("  gopher://example.org/file"), app_messages::kUnsupportedScheme);
  // The scheme is read before unescaping: %3A is no colon yet.
  EXPECT_EQ(refusal("http%3A//example.org/file"), app_messages::kNoScheme);
  EXPECT_EQ(app.m_pManager, nullptr);
  unsetenv("KESTRION_REGISTRY");
}

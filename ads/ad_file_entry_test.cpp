#include "ads/ad_file_entry.h"

#include <gtest/gtest.h>

TEST(AdFileEntry, FileNameIsTheUrlsLastPartAndOnlyPlainOnesAreUsable) {
  const struct {
    const char* url;
    const char* name;
    bool plain;
  } cases[] = {
      {"http://ads.example/img/a.gif", "a.gif", true},
      {"http://ads.example/..", "..", false},
      {"http://ads.example/.", ".", false},
      {"http://ads.example/", "", false},
      {"http://ads.example/x\\..\\..\\evil.gif", "x\\..\\..\\evil.gif", false},
      {"no-slash-at-all", "", false},
      {"../x", "x", true},
      {"/etc/y", "y", true},
      {"http://ads.example/...", "...", true},
  };
  for (const auto& c : cases) {
    const CADFileEntry entry(c.url, "link");
    EXPECT_EQ(entry.FileName(), c.name) << c.url;
    EXPECT_EQ(CADFileEntry::IsPlainFileName(entry.FileName()), c.plain) << c.url;
  }
}

#include "http/location_resolver.h"

#include <gtest/gtest.h>

namespace {

const char kBase[] = "http://host:8080/dir/sub/file.zip?old=1";

TEST(LocationResolver, AbsoluteLocationsStand) {
  EXPECT_EQ(ResolveLocation(kBase, " https://other/x.zip\r"), "https://other/x.zip");
  EXPECT_EQ(ResolveLocation(kBase, "FTP://f/x"), "FTP://f/x");
}

TEST(LocationResolver, RelativeFormsTakeWhatTheyLackFromTheCurrentURL) {
  EXPECT_EQ(ResolveLocation(kBase, "//mirror/x.zip"), "http://mirror/x.zip");
  EXPECT_EQ(ResolveLocation(kBase, "/new/file.zip"), "http://host:8080/new/file.zip");
  EXPECT_EQ(ResolveLocation(kBase, "other.zip?v=2"), "http://host:8080/dir/sub/other.zip?v=2");
  EXPECT_EQ(ResolveLocation(kBase, "?v=2"), "http://host:8080/dir/sub/file.zip?v=2");
  EXPECT_EQ(ResolveLocation("http://host", "x.zip"), "http://host/x.zip");
}

TEST(LocationResolver, DotSegmentsAreRemoved) {
  EXPECT_EQ(ResolveLocation(kBase, "../up.zip"), "http://host:8080/dir/up.zip");
  EXPECT_EQ(ResolveLocation(kBase, "./here/../x.zip"), "http://host:8080/dir/sub/x.zip");
  EXPECT_EQ(ResolveLocation(kBase, "../../../../top.zip"), "http://host:8080/top.zip");
  EXPECT_EQ(ResolveLocation(kBase, ".."), "http://host:8080/dir/");
}

TEST(LocationResolver, FragmentsAreDropped) {
  EXPECT_EQ(ResolveLocation(kBase, "/f.zip#part"), "http://host:8080/f.zip");
  EXPECT_EQ(ResolveLocation(kBase, "http://a/b#c"), "http://a/b");
}

TEST(LocationResolver, AColonAfterASlashIsNoScheme) {
  EXPECT_EQ(ResolveLocation(kBase, "/a:b"), "http://host:8080/a:b");
  EXPECT_EQ(ResolveLocation(kBase, "./a:b"), "http://host:8080/dir/sub/a:b");
}

}  // namespace

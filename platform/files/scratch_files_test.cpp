#include "platform/files/scratch_files.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/files/file.h"
#include "platform/files/file_copy.h"
#include "tests/support/test_env.h"

namespace {

// Pieces and a join's new file go; a name that came to stand for another
// file, and a file its owner gave a name of its own, stay.
TEST(ScratchFiles, RemoveAllTakesOnlyTheFilesStillNoted) {
  testenv::ScratchDir dir;
  const std::string piece = GetTempFileName(dir.Path(), "FFF");
  const std::string reused = GetTempFileName(dir.Path(), "FFF");
  const std::string removed = GetTempFileName(dir.Path(), "FFF");
  CFile::Remove(removed);
  ASSERT_EQ(std::rename(reused.c_str(), dir.File("moved").c_str()), 0);
  testenv::WriteFile(reused, "another process's piece");
  testenv::WriteFile(removed, "made again by someone else");
  testenv::WriteFile(dir.File("a"), "12345");
  CFileJoiner joining, joined;
  ASSERT_TRUE(joining.Open(dir.File("joining")));
  ASSERT_TRUE(joined.Open(dir.File("joined")));
  joined.Append(dir.File("a"), 0, 5);
  joined.Commit();
  const std::string part = joining.NewFileName();

  ScratchFiles::RemoveAll();
  EXPECT_FALSE(testenv::FileExists(piece));
  EXPECT_FALSE(testenv::FileExists(part));
  EXPECT_EQ(testenv::ReadFile(reused), "another process's piece");
  EXPECT_EQ(testenv::ReadFile(removed), "made again by someone else");
  EXPECT_TRUE(testenv::FileExists(dir.File("moved")));
  EXPECT_EQ(testenv::ReadFile(dir.File("joined")), "12345");
}

}  // namespace

#include "platform/files/orphan_pieces.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files/file.h"
#include "platform/files/file_copy.h"
#include "tests/support/test_env.h"

namespace {

// Only unlocked pieces with bytes, or old enough to have been locked, go.
TEST(OrphanPieces, RemovesOnlyPiecesNoLiveRunHolds) {
  testenv::ScratchDir dir;
  const std::string held = GetTempFileName(dir.Path(), "FFF");
  testenv::WriteFile(held, "a live run's bytes");
  testenv::WriteFile(dir.File("FFF1A2B.TMP"), "a killed run's bytes");
  testenv::WriteFile(dir.File("FFF0001.TMP"), "");
  std::filesystem::last_write_time(dir.File("FFF0001.TMP"),
                                    std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1));
  testenv::WriteFile(dir.File("FFF0002.TMP"), "");  // just made, not yet locked
  const std::vector<std::string> others = {"FFF1a2b.TMP", "FFF12345.TMP", "FFFXYZW.TMP", "FFF1234.tmp",
                                           "GGG1234.TMP", "file.iso.part12AB"};
  for (const std::string& name : others) testenv::WriteFile(dir.File(name), "not a piece");
  std::filesystem::create_directory(dir.File("FFF0003.TMP"));
  std::filesystem::create_symlink(dir.File("FFF1A2B.TMP"), dir.File("FFF0004.TMP"));

  RemoveOrphanPieces(dir.Path(), "FFF");

  EXPECT_TRUE(testenv::FileExists(held));
  EXPECT_FALSE(testenv::FileExists(dir.File("FFF1A2B.TMP")));
  EXPECT_FALSE(testenv::FileExists(dir.File("FFF0001.TMP")));
  EXPECT_TRUE(testenv::FileExists(dir.File("FFF0002.TMP")));
  for (const std::string& name : others) EXPECT_TRUE(testenv::FileExists(dir.File(name))) << name;
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("FFF0003.TMP")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("FFF0004.TMP")));
  CFile::Remove(held);
}

TEST(OrphanPieces, NewFilesOfADestinationGoUnlessAJoinHoldsThem) {
  testenv::ScratchDir dir;
  CFileJoiner live;
  ASSERT_TRUE(live.Open(dir.File("out.bin")));
  testenv::WriteFile(live.NewFileName(), "being joined");
  const std::vector<std::string> others = {"out.bin.part12ab", "out.bin.part12345", "other.part1234", "out.bin"};
  for (const std::string& name : others) testenv::WriteFile(dir.File(name), "not a new file of out.bin");
  testenv::WriteFile(dir.File("out.bin.part00FF"), "kept by a run that ended");

  CFileJoiner::RemoveUnheldNewFiles(dir.File("out.bin"));

  EXPECT_TRUE(testenv::FileExists(live.NewFileName()));
  EXPECT_FALSE(testenv::FileExists(dir.File("out.bin.part00FF")));
  for (const std::string& name : others) EXPECT_TRUE(testenv::FileExists(dir.File(name))) << name;
}

}  // namespace

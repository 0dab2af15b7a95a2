#include "platform/files/file_copy.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/files/file.h"
#include "tests/support/test_env.h"

namespace {

TEST(FileJoiner, AppendsRangesOfSeveralFilesInOrder) {
  testenv::ScratchDir dir;
  const std::string a = testenv::PatternBytes(300000, 1), b = testenv::PatternBytes(70001, 2);
  testenv::WriteFile(dir.File("a"), a);
  testenv::WriteFile(dir.File("b"), b);
  CFileJoiner joiner;
  ASSERT_TRUE(joiner.Open(dir.File("out")));
  joiner.Append(dir.File("a"), 0, 100000);
  joiner.Append(dir.File("b"), 1, 70000);
  joiner.Append(dir.File("a"), 299999, 1);
  EXPECT_EQ(joiner.Length(), 170001);
  joiner.Commit();
  EXPECT_TRUE(testenv::ReadFile(dir.File("out")) == a.substr(0, 100000) + b.substr(1) + a.substr(299999));
}

TEST(FileJoiner, ASourceShorterThanAskedIsAnErrorNamingIt) {
  testenv::ScratchDir dir;
  testenv::WriteFile(dir.File("short"), "12345");
  CFileJoiner joiner;
  ASSERT_TRUE(joiner.Open(dir.File("out")));
  try {
    joiner.Append(dir.File("short"), 2, 4);
    FAIL() << "no error";
  } catch (const CFileException& error) {
    EXPECT_EQ(error.m_strFileName, dir.File("short"));
  }
  try {
    joiner.Append(dir.File("missing"), 0, 1);
    FAIL() << "no error";
  } catch (const CFileException& error) {
    EXPECT_EQ(error.m_strFileName, dir.File("missing"));
  }
}

// Until Commit the destination's name holds what it held before; a join
// that is abandoned leaves it so and nothing beside it.
TEST(FileJoiner, TheDestinationNameOnlyEverHoldsAWholeFile) {
  testenv::ScratchDir dir;
  testenv::WriteFile(dir.File("out"), "old content");
  testenv::WriteFile(dir.File("a"), "new");
  CFileJoiner joiner;
  ASSERT_TRUE(joiner.Open(dir.File("out")));
  joiner.Append(dir.File("a"), 0, 3);
  EXPECT_EQ(testenv::ReadFile(dir.File("out")), "old content");
  joiner.Abort();
  EXPECT_EQ(testenv::ReadFile(dir.File("out")), "old content");
  EXPECT_EQ(testenv::ListFiles(dir.Path(), "out").size(), 1u) << "a part file is left";

  ASSERT_TRUE(joiner.Open(dir.File("out")));
  joiner.Append(dir.File("a"), 0, 3);
  joiner.Commit();
  EXPECT_EQ(testenv::ReadFile(dir.File("out")), "new");
  EXPECT_EQ(testenv::ListFiles(dir.Path(), "out").size(), 1u) << "a part file is left";

  ASSERT_TRUE(joiner.Open(dir.File("fresh")));
  joiner.Abort();
  EXPECT_FALSE(testenv::FileExists(dir.File("fresh")));
  EXPECT_TRUE(testenv::ListFiles(dir.Path(), "fresh").empty());
}

// Only a regular file can be replaced; a pipe nobody reads would block the
// open for good, so it is refused like a folder, behind a link too.
TEST(FileJoiner, OpenSaysWhyItCannot) {
  testenv::ScratchDir dir;
  std::filesystem::create_directory(dir.File("folder"));
  ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir.File("pipe"), dir.File("link-to-pipe"));
  std::filesystem::create_symlink("/dev/null", dir.File("link-to-device"));
  const struct {
    std::string path, reason;
  } cases[] = {
      {dir.File("no/such/folder"), "No such file or directory"},
      {dir.File("folder"), "Is a directory"},
      {dir.File("pipe"), "Not a regular file"},
      {dir.File("link-to-pipe"), "Not a regular file"},
      {"/dev/null", "Not a regular file"},
      {dir.File("link-to-device"), "Not a regular file"},
  };
  for (const auto& c : cases) {
    CFileJoiner joiner;
    std::string reason;
    EXPECT_FALSE(joiner.Open(c.path, &reason)) << c.path;
    EXPECT_EQ(reason, c.reason) << c.path;
  }
  EXPECT_EQ(testenv::ListFiles(dir.Path()).size(), 4u);
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

// Beside a name of up to the limit the new file still fits the folder: its
// name is cut, never inside a character.
TEST(FileJoiner, NamesOfEveryLegalLengthAreJoined) {
  testenv::ScratchDir dir;
  testenv::WriteFile(dir.File("a"), "bytes");
  const std::string accents = "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9";  // five two-byte letters
  const struct {
    std::string name, partStem;
  } cases[] = {
      {std::string(246, 'n'), std::string(246, 'n')},
      {std::string(247, 'n'), std::string(246, 'n')},
      {std::string(255, 'n'), std::string(246, 'n')},
      {std::string(245, 'x') + accents, std::string(245, 'x')},
      {std::string(244, 'x') + accents, std::string(244, 'x') + accents.substr(0, 2)},
  };
  for (const auto& c : cases) {
    CFileJoiner joiner;
    std::string reason;
    ASSERT_TRUE(joiner.Open(dir.File(c.name), &reason)) << c.name.size() << ": " << reason;
    const std::string part = joiner.NewFileName().substr(dir.Path().size() + 1);
    EXPECT_EQ(part.substr(0, part.size() - 9), c.partStem) << c.name.size();
    joiner.Append(dir.File("a"), 0, 5);
    joiner.Commit();
    EXPECT_EQ(testenv::ReadFile(dir.File(c.name)), "bytes") << c.name.size();
  }
}

// The copy stops between blocks when asked to, naming the destination.
TEST(FileJoiner, ACancelStopsTheCopy) {
  testenv::ScratchDir dir;
  testenv::WriteFile(dir.File("a"), testenv::PatternBytes(200000, 9));
  CFileJoiner joiner;
  ASSERT_TRUE(joiner.Open(dir.File("out")));
  int asked = 0;
  joiner.SetCancelCheck([&asked] { return ++asked > 1; });
  joiner.Append(dir.File("a"), 0, 1000);
  try {
    joiner.Append(dir.File("a"), 0, 200000);
    FAIL() << "no error";
  } catch (const CFileException& error) {
    EXPECT_EQ(error.m_strFileName, dir.File("out"));
  }
  joiner.Abort();
  EXPECT_FALSE(testenv::FileExists(dir.File("out")));
}

// Between two kinds of file system the kernel refuses to copy: the buffer
// takes over, mid-join.
TEST(FileJoiner, FallsBackToTheBufferAcrossFileSystems) {
  if (!std::filesystem::is_directory("/dev/shm")) GTEST_SKIP() << "skipped: no /dev/shm";
  testenv::ScratchDir dir;
  const std::string other = "/dev/shm/kestrion-join-" + std::to_string(getpid());
  const std::string a = testenv::PatternBytes(200000, 3), b = testenv::PatternBytes(150000, 4);
  testenv::WriteFile(dir.File("a"), a);
  testenv::WriteFile(other, b);
  CFileJoiner joiner;
  ASSERT_TRUE(joiner.Open(dir.File("out")));
  joiner.Append(dir.File("a"), 0, 200000);
  joiner.Append(other, 5, 149995);
  joiner.Append(dir.File("a"), 0, 10);
  joiner.Commit();
  std::filesystem::remove(other);
  EXPECT_TRUE(testenv::ReadFile(dir.File("out")) == a + b.substr(5) + a.substr(0, 10));
}

// Pieces of a download joined in offset order, each past what the one
// before it covered already, across many writeback steps' worth of calls.
TEST(FileJoiner, OverlappingPiecesJoinIntoTheWholeFile) {
  testenv::ScratchDir dir;
  const std::string file = testenv::PatternBytes(3 * 1024 * 1024 + 17, 5);
  const int64_t size = static_cast<int64_t>(file.size()), share = size / 9;
  CFileJoiner joiner;
  ASSERT_TRUE(joiner.Open(dir.File("out")));
  for (int64_t i = 0, at = 0; i < 9; ++i) {
    // Every piece after the first starts 100 bytes before the joined end.
    const int64_t start = i == 0 ? 0 : at - 100;
    const int64_t end = i < 8 ? at + share : size;
    const std::string name = dir.File("piece" + std::to_string(i));
    testenv::WriteFile(name, file.substr(start, end - start));
    joiner.Append(name, at - start, end - at);
    at = end;
  }
  EXPECT_EQ(joiner.Length(), size);
  joiner.Commit();
  EXPECT_TRUE(testenv::ReadFile(dir.File("out")) == file);
}

// The first piece becomes the new file while it is still written; the
// others go in beside it as they grow, in any order, in steps that may span
// several copies, and leave nothing of themselves behind where the file
// system can free their bytes.
TEST(FileJoiner, APieceStillWrittenBecomesTheFileAndOthersJoinItAsTheyGrow) {
  testenv::ScratchDir dir;
  const std::string file = testenv::PatternBytes(36 * 1024 * 1024 + 10, 11);
  const int64_t size = static_cast<int64_t>(file.size()), second = 8 * 1024 * 1024, third = 2 * second;
  const auto write = [&file](CFile& piece, int64_t from, int64_t count) {
    piece.Write(file.data() + from, static_cast<size_t>(count));
  };
  CFile first, growing;
  ASSERT_TRUE(first.Open(dir.File("first"), CFile::modeCreate | CFile::modeWrite));
  ASSERT_TRUE(growing.Open(dir.File("second"), CFile::modeCreate | CFile::modeWrite));
  testenv::WriteFile(dir.File("third"), file.substr(third));
  CFileJoiner joiner;
  ASSERT_TRUE(joiner.Open(dir.File("out")));
  ASSERT_TRUE(joiner.AdoptGrowing(dir.File("first")));
  EXPECT_FALSE(testenv::FileExists(dir.File("first")));
  EXPECT_FALSE(joiner.MoveIn(dir.File("second"), 0));
  const int64_t step = 3 * 1024 * 1024;
  for (int64_t at = 0; at < second; at += step) {
    const int64_t count = std::min(step, second - at);
    write(first, at, count);
    write(growing, second + at, count);
    joiner.TakeIn({{dir.File("second"), at, count, second + at}});
    if (at == 0) joiner.TakeIn({{dir.File("third"), 0, size - third, third}});
  }
  first.Close();
  growing.Close();
  joiner.WaitForCopies();
  for (const char* name : {"second", "third"}) {
    struct stat spent{};
    ASSERT_EQ(stat(dir.File(name).c_str(), &spent), 0);
    // A hole frees whole blocks: the file's last part of one is only zeroed.
    EXPECT_LE(spent.st_blocks * 512, 4096) << name << ": the copied bytes were not freed";
  }
  joiner.Commit();
  EXPECT_TRUE(testenv::ReadFile(dir.File("out")) == file);
}

// A replaced file's permissions stay; a link stays a link to the new file.
TEST(FileJoiner, AReplacedDestinationKeepsItsModeAndLinksAreFollowed) {
  testenv::ScratchDir dir;
  testenv::WriteFile(dir.File("out"), "stale bytes");
  std::filesystem::permissions(dir.File("out"), std::filesystem::perms::owner_read);
  std::filesystem::create_symlink(dir.File("out"), dir.File("link"));
  testenv::WriteFile(dir.File("a"), "hello");
  CFileJoiner joiner;
  ASSERT_TRUE(joiner.Open(dir.File("link")));
  joiner.Append(dir.File("a"), 0, 5);
  joiner.Commit();
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link")));
  EXPECT_EQ(testenv::ReadFile(dir.File("out")), "hello");
  EXPECT_EQ(std::filesystem::status(dir.File("out")).permissions(), std::filesystem::perms::owner_read);
  EXPECT_TRUE(testenv::FileExists(dir.File("a")));
}

// Moving the first piece into place must give the same file as copying it,
// so it is refused wherever the two could be told apart.
TEST(FileJoiner, FirstPieceIsMovedIntoPlaceOnlyWhereThatEqualsACopy) {
  testenv::ScratchDir dir;
  const std::string a = testenv::PatternBytes(100000, 7), b = testenv::PatternBytes(50000, 8);
  testenv::WriteFile(dir.File("a"), a);
  testenv::WriteFile(dir.File("b"), b);
  testenv::WriteFile(dir.File("out"), "old");
  std::filesystem::permissions(dir.File("out"), std::filesystem::perms::owner_all);
  CFileJoiner joiner;
  ASSERT_TRUE(joiner.Open(dir.File("out")));
  EXPECT_FALSE(joiner.MoveIn(dir.File("a"), 99999));
  EXPECT_FALSE(joiner.MoveIn(dir.File("missing"), 1));
  ASSERT_TRUE(joiner.MoveIn(dir.File("a"), 100000));
  EXPECT_FALSE(testenv::FileExists(dir.File("a")));
  EXPECT_FALSE(joiner.MoveIn(dir.File("b"), 50000));
  joiner.Append(dir.File("b"), 1, 49999);
  EXPECT_EQ(joiner.Length(), 149999);
  joiner.Commit();
  EXPECT_TRUE(testenv::ReadFile(dir.File("out")) == a + b.substr(1));
  EXPECT_EQ(std::filesystem::status(dir.File("out")).permissions(), std::filesystem::perms::owner_all);

  if (!std::filesystem::is_directory("/dev/shm")) return;
  const std::string other = "/dev/shm/kestrion-move-" + std::to_string(getpid());
  testenv::WriteFile(other, b);
  ASSERT_TRUE(joiner.Open(dir.File("new")));
  EXPECT_FALSE(joiner.MoveIn(other, 50000));
  joiner.Abort();
  EXPECT_TRUE(testenv::FileExists(other));
  std::filesystem::remove(other);
}

}  // namespace

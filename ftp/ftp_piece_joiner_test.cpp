#include "ftp/ftp_piece_joiner.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file.h"
#include "tests/support/test_env.h"

namespace {

class PieceJoinerTest : public ::testing::Test {
 protected:
  // A temp file holding `bytes` and the piece that takes them from `skip` on.
  JoinPiece Piece(const std::string& name, const std::string& bytes, int64_t skip, int64_t offset) {
    testenv::WriteFile(dir.File(name), bytes);
    return JoinPiece{dir.File(name), skip, offset, static_cast<int64_t>(bytes.size()) - skip};
  }
  std::string Destination() const { return dir.File("out.bin"); }
  void MakeEmptyDestination() { testenv::WriteFile(Destination(), ""); }

  testenv::ScratchDir dir;
};

TEST_F(PieceJoinerTest, ManyPiecesLandAtTheirOffsets) {
  const std::string file = testenv::PatternBytes(3 * 1024 * 1024 + 17);
  std::vector<JoinPiece> pieces;
  const int64_t share = static_cast<int64_t>(file.size()) / 9;
  for (int64_t i = 0, at = 0; i < 9; ++i, at += share) {
    const int64_t length = i < 8 ? share : static_cast<int64_t>(file.size()) - at;
    pieces.push_back(Piece("piece" + std::to_string(i), file.substr(at, length), 0, at));
  }
  MakeEmptyDestination();
  CPieceJoiner joiner(Destination(), pieces);
  joiner.Join();
  EXPECT_TRUE(joiner.AdoptedFirst());
  EXPECT_FALSE(testenv::FileExists(dir.File("piece0")));
  EXPECT_TRUE(testenv::ReadFile(Destination()) == file);
}

TEST_F(PieceJoinerTest, SkippedHeadIsCopiedNotRenamed) {
  const std::string file = testenv::PatternBytes(1000);
  const std::vector<JoinPiece> pieces = {Piece("a", "xyz" + file.substr(0, 400), 3, 0),
                                         Piece("b", file.substr(400), 0, 400)};
  MakeEmptyDestination();
  CPieceJoiner joiner(Destination(), pieces);
  joiner.Join();
  EXPECT_FALSE(joiner.AdoptedFirst());
  EXPECT_TRUE(testenv::FileExists(dir.File("a")));
  EXPECT_EQ(testenv::ReadFile(Destination()), file);
}

TEST_F(PieceJoinerTest, PieceShorterThanCountedIsAReadFailureNamingIt) {
  std::vector<JoinPiece> pieces = {Piece("a", std::string(100, 'a'), 0, 0), Piece("b", std::string(50, 'b'), 0, 100)};
  pieces[1].length = 80;
  MakeEmptyDestination();
  CPieceJoiner joiner(Destination(), pieces);
  try {
    joiner.Join();
    FAIL() << "a short piece was joined";
  } catch (const CFileException& error) {
    EXPECT_EQ(error.m_strFileName, dir.File("b"));
  }
  EXPECT_TRUE(joiner.AdoptedFirst());
}

TEST_F(PieceJoinerTest, MissingPieceNamesItsFile) {
  std::vector<JoinPiece> pieces = {JoinPiece{dir.File("gone"), 0, 0, 10}};
  MakeEmptyDestination();
  try {
    CPieceJoiner(Destination(), pieces).Join();
    FAIL() << "a missing piece was joined";
  } catch (const CFileException& error) {
    EXPECT_EQ(error.m_strFileName, dir.File("gone"));
  }
}

TEST_F(PieceJoinerTest, HardLinkedDestinationIsWrittenInPlace) {
  MakeEmptyDestination();
  std::filesystem::create_hard_link(Destination(), dir.File("other-name"));
  CPieceJoiner joiner(Destination(), {Piece("a", "hello", 0, 0)});
  joiner.Join();
  EXPECT_FALSE(joiner.AdoptedFirst());
  EXPECT_EQ(testenv::ReadFile(dir.File("other-name")), "hello");
}

}  // namespace

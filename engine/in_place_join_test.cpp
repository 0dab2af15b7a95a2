#include "engine/in_place_join.h"

#include <gtest/gtest.h>

#include "engine/download_continuation.h"
#include "platform/files/file.h"
#include "tests/support/test_env.h"

namespace {

// A piece whose bytes are all in its file already.
class FakePiece : public CJoinPiece {
 public:
  FakePiece(const std::string& file, int64_t start, const std::string& bytes, bool ended)
      : m_file(file), m_start(start), m_count(static_cast<int64_t>(bytes.size())), m_ended(ended) {
    testenv::WriteFile(file, bytes);
  }
  int64_t PieceStart() const override { return m_start; }
  int64_t PieceReceived() const override { return m_count; }
  int64_t PieceWritten() const override { return m_count; }
  bool PieceEnded() const override { return m_ended; }
  std::string PieceFileName() const override { return m_file; }
  void HandOverPieceFile(const std::string& newName) override { m_file = newName, m_owned = false; }
  void RemovePieceFile() override {
    if (m_owned) CFile::Remove(m_file);
    m_owned = false;
  }
  void End() { m_ended = true; }

 private:
  std::string m_file;
  int64_t m_start, m_count;
  bool m_ended, m_owned = true;
};

class Download : public CInPlaceJoin::Download {
 public:
  CInPlaceJoin::Pieces JoinPieces() const override { return pieces; }
  std::optional<CDownloadJournal> JournalFields() const override {
    CDownloadJournal journal;
    journal.m_strURL = "ftp://host/f";
    journal.m_nSize = size;
    return journal;
  }
  void OnJoinFailed(const CFileException&) override { ADD_FAILURE() << "join failed"; }

  CInPlaceJoin::Pieces pieces;
  int64_t size = 0;
};

struct GivenPiece {
  int64_t start, count;
  bool ended;
};

// Pieces that overlap go in once; a gap or a byte past the end is no whole
// file; a running piece goes in only once it has a step more, or when asked.
TEST(InPlaceJoinTest, PutsEachByteInOnceAndRecordsOnlyTheFilesBytes) {
  const std::string file = testenv::PatternBytes(1001, 7);
  struct Case {
    const char* name;
    std::vector<GivenPiece> pieces;
    int64_t size;
    std::vector<ByteRange> afterAStep;
    bool whole;
  } cases[] = {
      {"one piece", {{0, 1000, true}}, 1000, {{0, 1000}}, true},
      {"overlapping", {{0, 600, true}, {400, 600, true}}, 1000, {{0, 1000}}, true},
      {"a running piece", {{500, 500, true}, {0, 700, false}}, 1000, {{500, 1000}}, true},
      {"a gap", {{0, 400, true}, {500, 500, true}}, 1000, {{0, 400}, {500, 1000}}, false},
      {"a byte past the end", {{0, 300, false}, {500, 501, true}}, 1000, {{500, 1001}}, false},
  };
  for (const Case& c : cases) {
    testenv::ScratchDir dir;
    const std::string destination = dir.File("out");
    Download download;
    download.size = c.size;
    CDownloadContinuation continuation;
    continuation.Open(destination);
    CInPlaceJoin join(download, continuation, [] { return false; });
    std::vector<std::unique_ptr<FakePiece>> pieces;
    for (const GivenPiece& given : c.pieces) {
      pieces.push_back(std::make_unique<FakePiece>(dir.File("FFF" + std::to_string(pieces.size())), given.start,
                                                   file.substr(given.start, given.count), given.ended));
      download.pieces.push_back(pieces.back().get());
    }
    const std::string name = c.name;
    ASSERT_TRUE(join.Joiner().Open(destination)) << name;
    join.PutWritten();
    EXPECT_TRUE(join.InPlace() == c.afterAStep) << name;
    join.Record();
    for (const auto& piece : pieces) piece->End();
    EXPECT_EQ(join.PutRestInPlace(c.size), c.whole) << name;
    if (c.whole) {
      join.Joiner().Commit();
      EXPECT_TRUE(testenv::ReadFile(destination) == file.substr(0, c.size)) << name;
      EXPECT_EQ(testenv::ListFiles(dir.Path(), "FFF"), std::vector<std::string>{}) << name;
    } else {
      join.Keep();
      const std::optional<CDownloadJournal> journal =
          CDownloadJournal::Read(testenv::ReadFile(CDownloadJournal::PathFor(destination)));
      ASSERT_TRUE(journal) << name;
      std::vector<ByteRange> within = join.InPlace();
      within.back().end = std::min<int64_t>(within.back().end, c.size);
      EXPECT_TRUE(journal->m_done == within) << name;
    }
  }
}

}  // namespace

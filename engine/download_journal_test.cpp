#include "engine/download_journal.h"

#include <gtest/gtest.h>

namespace {

CDownloadJournal Sample() {
  CDownloadJournal journal;
  journal.m_strURL = "http://host/a file";
  journal.m_nSize = 1000;
  journal.m_strETag = "\"5f-1a\"";
  journal.m_strLastModified = "Tue, 08 Dec 2026 10:00:00 GMT";
  journal.m_strPartName = "a file.part1F2E";
  journal.m_done = {{0, 100}, {300, 1000}};
  return journal;
}

TEST(DownloadJournalTest, ReadsBackWhatItWrote) {
  const CDownloadJournal journal = Sample();
  const std::optional<CDownloadJournal> read = CDownloadJournal::Read(journal.Write());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Write(), journal.Write());
  EXPECT_EQ(read->m_done, journal.m_done);
  EXPECT_EQ(read->BytesDone(), 800);
  EXPECT_EQ(read->Missing(), (std::vector<ByteRange>{{100, 300}}));
}

// Any cut or any changed byte (a crash mid-write, a bad sector) is refused.
TEST(DownloadJournalTest, RefusesEveryTruncationAndEveryChangedByte) {
  const std::string text = Sample().Write();
  for (size_t length = 0; length < text.size(); ++length)
    EXPECT_FALSE(CDownloadJournal::Read(text.substr(0, length))) << length;
  for (size_t at = 0; at < text.size(); ++at) {
    std::string garbled = text;
    garbled[at] = static_cast<char>(garbled[at] ^ 0x04);
    EXPECT_FALSE(CDownloadJournal::Read(garbled)) << at;
  }
  EXPECT_FALSE(CDownloadJournal::Read(text + "done 0 1\n"));
}

// Journals with a correct checksum that still cannot be true.
TEST(DownloadJournalTest, RefusesWhatCannotHoldEvenWhenSummed) {
  const std::vector<std::pair<const char*, void (*)(CDownloadJournal&)>> cases = {
      {"ranges overlap", [](CDownloadJournal& j) { j.m_done = {{0, 400}, {300, 1000}}; }},
      {"ranges touch", [](CDownloadJournal& j) { j.m_done = {{0, 300}, {300, 1000}}; }},
      {"ranges out of order", [](CDownloadJournal& j) { j.m_done = {{300, 1000}, {0, 100}}; }},
      {"empty range", [](CDownloadJournal& j) { j.m_done = {{5, 5}}; }},
      {"past the end", [](CDownloadJournal& j) { j.m_done = {{0, 1001}}; }},
      {"no size", [](CDownloadJournal& j) { j.m_nSize = 0; j.m_done.clear(); }},
      {"negative size", [](CDownloadJournal& j) { j.m_nSize = -5; j.m_done.clear(); }},
      {"part in another folder", [](CDownloadJournal& j) { j.m_strPartName = "../x.part0001"; }},
      {"part is the folder", [](CDownloadJournal& j) { j.m_strPartName = ".."; }},
      {"no URL", [](CDownloadJournal& j) { j.m_strURL.clear(); }},
      {"control character", [](CDownloadJournal& j) { j.m_strETag = "a\rb"; }},
      {"line break in a value", [](CDownloadJournal& j) { j.m_strLastModified = "x\ndone 0 1000"; }},
  };
  for (const auto& [name, spoil] : cases) {
    CDownloadJournal journal = Sample();
    spoil(journal);
    EXPECT_FALSE(CDownloadJournal::Read(journal.Write())) << name;
  }
}

TEST(DownloadJournalTest, MergesRangesAndFindsTheGaps) {
  EXPECT_EQ(CDownloadJournal::Merge({{50, 60}, {0, 10}, {10, 20}, {55, 70}, {30, 30}}),
            (std::vector<ByteRange>{{0, 20}, {50, 70}}));
  CDownloadJournal journal = Sample();
  journal.m_done.clear();
  EXPECT_EQ(journal.Missing(), (std::vector<ByteRange>{{0, 1000}}));
  journal.m_done = {{0, 1000}};
  EXPECT_TRUE(journal.Missing().empty());
}

TEST(DownloadJournalTest, SpreadsMissingRangesOverConnections) {
  struct Case {
    std::vector<ByteRange> missing;
    std::vector<ByteRange> spread;
  };
  const std::vector<Case> cases = {
      {{{0, 800}}, {{0, 200}, {200, 400}, {400, 600}, {600, 800}}},
      {{{0, 100}, {500, 900}}, {{0, 100}, {500, 600}, {600, 700}, {700, 900}}},
      {{{0, 150}}, {{0, 150}}},  // too short to share
      {{{0, 10}, {20, 30}, {40, 50}, {60, 70}, {80, 90}}, {{0, 10}, {20, 30}, {40, 50}, {60, 70}, {80, 90}}},
      {{}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(CDownloadJournal::Spread(c.missing, 4, 100), c.spread);
}

TEST(DownloadJournalTest, NameFitsTheFolderLimit) {
  EXPECT_EQ(CDownloadJournal::PathFor("/tmp/file.iso"), "/tmp/file.iso.kestrion");
  const std::string path = CDownloadJournal::PathFor("/tmp/" + std::string(300, 'n'));
  EXPECT_EQ(path.size() - 5 + 1, 255u) << "room for the name written first";
}

}  // namespace

#include "platform/files/block_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "platform/files/file.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/test_env.h"

namespace {

std::string OpenFresh(CFile& file, const testenv::ScratchDir& dir) {
  const std::string name = dir.File("piece");
  EXPECT_TRUE(file.Open(name, CFile::modeCreate | CFile::modeWrite));
  return name;
}

}  // namespace

// Blocks received into the writer's buffers and bytes from elsewhere (the
// rest of a header's block, more than a buffer at once) reach the file in
// the order given, after what the file held, through a bounded set of buffers;
// at every moment the file holds at least what is not said to be pending,
// which is all a join may copy out of it.
TEST(BlockWriter, WritesEveryBlockInOrderThroughFewBuffers) {
  testenv::ScratchDir dir;
  CFile file;
  const std::string name = OpenFresh(file, dir);
  file.Write("head:", 5);
  const std::string pattern = testenv::PatternBytes(3 * CBlockWriter::kBlockSize + 5);
  std::string expected = "head:";
  std::set<char*> buffers;
  {
    CBlockWriter writer(file);
    const std::string outside = "from a header's block";
    writer.Write(outside.data(), outside.size());
    expected += outside;
    size_t offset = 0;
    for (int block = 0; block < 60; ++block) {
      char* buffer = writer.Buffer();
      buffers.insert(buffer);
      // A received block whose useful bytes start a little way in.
      const size_t skip = static_cast<size_t>(block % 3);
      const size_t length = 1000 + static_cast<size_t>(block) * 4000;
      std::memcpy(buffer + skip, pattern.data() + offset, length);
      writer.Write(buffer + skip, length);
      expected.append(pattern, offset, length);
      const int64_t pending = writer.Pending();
      EXPECT_GE(static_cast<int64_t>(std::filesystem::file_size(name)),
                static_cast<int64_t>(expected.size()) - pending);
      offset = (offset + length) % (pattern.size() - CBlockWriter::kBlockSize);
    }
    writer.Write(pattern.data(), pattern.size());
    expected += pattern;
    writer.Finish();
    EXPECT_EQ(writer.Pending(), 0);
  }
  file.Close();
  EXPECT_TRUE(testenv::ReadFile(name) == expected);
  EXPECT_LE(buffers.size(), CBlockWriter::kBlocks);
}

// A failed write is thrown, naming the file, by the next call; the calls
// after it do not wait for buffers that will never be written.
TEST(BlockWriter, AFailedWriteIsReportedAndNothingWaitsForEver) {
  testenv::ScratchDir dir;
  CFile file;
  const std::string name = OpenFresh(file, dir);
  testenv::FileSizeLimit limit(100000);
  CBlockWriter writer(file);
  bool thrown = false;
  try {
    for (int block = 0; block < 100; ++block) {
      char* buffer = writer.Buffer();
      writer.Write(buffer, CBlockWriter::kBlockSize);
    }
    writer.Finish();
  } catch (const CFileException& error) {
    thrown = true;
    EXPECT_EQ(error.m_strFileName, name);
    EXPECT_EQ(error.m_strReason, std::strerror(EFBIG));
  }
  EXPECT_TRUE(thrown);
  EXPECT_THROW(writer.Finish(), CFileException);
}

TEST(BlockWriter, AFileThatIsNotOpenFailsTheFirstCall) {
  CFile file;
  CBlockWriter writer(file);
  EXPECT_THROW(writer.Buffer(), CFileException);
}

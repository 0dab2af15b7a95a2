#include "http/chunked_decoder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Feeds the coded text in blocks of the given size and returns the data.
std::string DecodeInBlocks(CChunkedDecoder& decoder, const std::string& coded, size_t blockSize) {
  std::string out;
  for (size_t at = 0; at < coded.size(); at += blockSize) {
    std::string block = coded.substr(at, blockSize);
    const size_t n = decoder.Decode(block.data(), block.size());
    out.append(block.data(), n);
  }
  return out;
}

const std::string kCoded = "5\r\nhello\r\n1A;name=value\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nTrailer: x\r\n\r\n";
const std::string kData = "helloabcdefghijklmnopqrstuvwxyz";

TEST(ChunkedDecoder, DecodesWhateverTheBlockBoundaries) {
  for (size_t blockSize = 1; blockSize <= kCoded.size(); ++blockSize) {
    CChunkedDecoder decoder;
    EXPECT_EQ(DecodeInBlocks(decoder, kCoded, blockSize), kData) << "blocks of " << blockSize;
    EXPECT_TRUE(decoder.IsDone());
  }
}

TEST(ChunkedDecoder, IsNotDoneBeforeTheLastChunksEmptyLine) {
  CChunkedDecoder decoder;
  DecodeInBlocks(decoder, kCoded.substr(0, kCoded.size() - 2), 7);
  EXPECT_FALSE(decoder.IsDone());
  EXPECT_FALSE(decoder.IsBroken());
}

TEST(ChunkedDecoder, BareLineFeedsUpperCaseHexAndLeadingZerosAreAccepted) {
  CChunkedDecoder decoder;
  EXPECT_EQ(DecodeInBlocks(decoder, "A\nabcdefghij\n00000000000000000002\nxy\n0\n\n", 3), "abcdefghijxy");
  EXPECT_TRUE(decoder.IsDone());
}

TEST(ChunkedDecoder, BytesAfterTheEndAreIgnored) {
  CChunkedDecoder decoder;
  std::string block = "3\r\nabc\r\n0\r\n\r\nHTTP/1.1 200 OK";
  EXPECT_EQ(decoder.Decode(block.data(), block.size()), 3u);
  EXPECT_TRUE(decoder.IsDone());
}

TEST(ChunkedDecoder, BrokenCodingsAreNoticed) {
  for (const std::string coded : {"xyz\r\n", "3\r\nabcX\r\n", "\r\n", "3\rX", "fffffffffffffffff\r\n"}) {
    CChunkedDecoder decoder;
    DecodeInBlocks(decoder, coded, 2);
    EXPECT_TRUE(decoder.IsBroken()) << coded;
  }
}

}  // namespace

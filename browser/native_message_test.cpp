#include "browser/native_message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

std::string Header(uint32_t length) {
  std::string header(sizeof length, '\0');
  std::memcpy(header.data(), &length, sizeof length);
  return header;
}

// Hands out the input in pieces of at most `piece` bytes, then fails or ends.
struct Input {
  std::string bytes;
  size_t piece;
  long atEnd;
  size_t taken = 0;

  long Read(void* buffer, size_t size) {
    const size_t n = std::min({size, piece, bytes.size() - taken});
    if (n == 0) return atEnd;
    std::memcpy(buffer, bytes.data() + taken, n);
    taken += n;
    return static_cast<long>(n);
  }
};

TEST(NativeMessageTest, ReadsOneFrameAndRefusesBrokenOnes) {
  const std::string oneMiB(kMaxNativeMessageBytes, 'x');
  const struct {
    std::string input;
    size_t piece;
    long atEnd;
    NativeMessage::Status status;
    std::string text;
    size_t taken;
  } cases[] = {
      {"", 64, 0, NativeMessage::kNone, "", 0},
      {"", 64, -1, NativeMessage::kNone, "", 0},
      {std::string("\x02\x00", 2), 64, 0, NativeMessage::kTruncated, "", 2},
      {Header(2) + "{}", 64, 0, NativeMessage::kMessage, "{}", 6},
      {Header(2) + "{}", 1, 0, NativeMessage::kMessage, "{}", 6},
      {Header(2) + "{}trailing", 64, 0, NativeMessage::kMessage, "{}", 6},
      {Header(0), 64, 0, NativeMessage::kMessage, "", 4},
      {Header(5) + "{}", 64, 0, NativeMessage::kTruncated, "", 6},
      {Header(5) + "{}", 1, -1, NativeMessage::kTruncated, "", 6},
      {Header(kMaxNativeMessageBytes) + oneMiB, 100000, 0, NativeMessage::kMessage, oneMiB,
       kMaxNativeMessageBytes + 4},
      // Refused before a byte of the body is read.
      {Header(kMaxNativeMessageBytes + 1) + "{}", 64, 0, NativeMessage::kTooLong, "", 4},
      {"\xff\xff\xff\xff", 64, 0, NativeMessage::kTooLong, "", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input.substr(0, 12) + " in pieces of " + std::to_string(c.piece));
    Input input{c.input, c.piece, c.atEnd};
    const NativeMessage message = ReadNativeMessage([&](void* b, size_t n) { return input.Read(b, n); });
    EXPECT_EQ(c.status, message.status);
    EXPECT_TRUE(c.text == message.text);
    EXPECT_EQ(c.taken, input.taken);
  }
  EXPECT_EQ(Header(7) + "{\"a\":1}", FrameNativeMessage("{\"a\":1}"));
}

}  // namespace

#include "ftp/ftp_reply_sizes.h"

#include <gtest/gtest.h>

namespace {

using ftp_sizes::kNoSize;
using ftp_sizes::kSizeOutOfRange;

TEST(FtpReplySizesTest, SizeReply) {
  const struct {
    const char* line;
    int64_t size;
  } cases[] = {
      {"213 1048576", 1048576},
      {"213  3000000000 ", 3000000000LL},
      {"213 9007199254740992", int64_t{1} << 53},
      {"213 9007199254740993", kSizeOutOfRange},
      {"213 99999999999999999999", kSizeOutOfRange},
      {"213 unknown", kNoSize},
      {"213 12 files", kNoSize},
  };
  for (const auto& c : cases) EXPECT_EQ(ftp_sizes::FromSizeReply(c.line), c.size) << c.line;
}

// vsftpd names the file before its size, and browsers name second copies
// "file (1).bin".
TEST(FtpReplySizesTest, OpeningReplyGivesItsLastByteCount) {
  const struct {
    const char* text;
    int64_t size;
  } cases[] = {
      {"150 Opening data connection for a.zip (1048576 bytes).", 1048576},
      {"150 Opening BINARY mode data connection for file (1).bin (123456 bytes).", 123456},
      {"150 Opening BINARY mode data connection for report (2024).bin (300000 bytes).", 300000},
      {"150 Opening BINARY mode data connection for (7 bytes) (8 bytes).bin (9 bytes).", 9},
      {"150-Opening for x (77 bytes)\n150 go\n", 77},
      {"150 Here it comes ( 0 bytes)", 0},
      {"150 One (1 byte)", 1},
      {"150 Opening report (2024).bin", kNoSize},
      {"150 Opening data connection.", kNoSize},
      {"150 Opening (12 kbytes).", kNoSize},
      {"150 ((((((((", kNoSize},
      {"150 Opening (99999999999999999999 bytes).", kSizeOutOfRange},
  };
  for (const auto& c : cases) EXPECT_EQ(ftp_sizes::FromOpeningReply(c.text), c.size) << c.text;
}

}  // namespace

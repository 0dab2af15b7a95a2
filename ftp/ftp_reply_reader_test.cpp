#include "ftp/ftp_reply_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Replies = std::vector<std::string>;  // each "code|last line"

// Feeds the bytes whole or a byte at a time and collects the replies; a
// refusal ends the list with "too long".
Replies Read(const std::string& bytes, bool byteByByte) {
  FtpReplyReader reader;
  Replies replies;
  const size_t step = byteByByte ? 1 : bytes.size();
  for (size_t at = 0; at < bytes.size(); at += step) {
    reader.Append(bytes.data() + at, std::min(step, bytes.size() - at));
    FtpReply reply;
    for (;;) {
      const FtpReplyReader::Result result = reader.Next(&reply);
      if (result == FtpReplyReader::Result::kNeedMore) break;
      if (result == FtpReplyReader::Result::kTooLong) return replies.push_back("too long"), replies;
      replies.push_back(reply.code + "|" + reply.lastLine);
    }
  }
  return replies;
}

TEST(FtpReplyReaderTest, RepliesEndAtTheirOwnCodeAndABlank) {
  const size_t bound = FtpReplyReader::kMaxReply;
  std::string manyLines = "220-a\r\n";
  for (size_t i = 0; i < bound / 8; ++i) manyLines += "220-more\r\n";
  const struct {
    const char* name;
    std::string bytes;
    Replies replies;
  } cases[] = {
      {"one line each", "220 ready\r\n331 password\r\n", {"220|220 ready", "331|331 password"}},
      {"lines between take any shape",
       "220-Welcome\r\nAll transfers are logged.\r\n331 not the end\r\n220-still not\r\n  indented\r\n220 \r\n",
       {"220|220 "}},
      {"lines outside a reply are passed over", "hello\r\n220\r\n2200 x\r\n22 x\r\n2a0 x\r\n230 in\r\n",
       {"230|230 in"}},
      {"a bare LF ends no line", "220 a\nb\r\n", {"220|220 a\nb"}},
      {"an unfinished reply waits", "150-Opening\r\n150 go", {}},
      {"a reply of the whole bound", "220 " + std::string(bound - 5, 'x') + "\r\n", {"220|220 " + std::string(bound - 5, 'x')}},
      {"one byte more", "220 " + std::string(bound - 4, 'x') + "\r\n", {"too long"}},
      {"a line without an end", std::string(bound + 1, 'x'), {"too long"}},
      {"a reply of many lines", manyLines, {"too long"}},
  };
  for (const auto& c : cases) {
    for (const bool byteByByte : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (byteByByte ? ", a byte at a time" : ""));
      EXPECT_EQ(Read(c.bytes, byteByByte), c.replies);
    }
  }
}

TEST(FtpReplyReaderTest, TheTextHoldsEveryLine) {
  FtpReplyReader reader;
  const std::string bytes = "150-Opening for a (1).bin\r\n (42 bytes)\r\n150 go\r\n";
  reader.Append(bytes.data(), bytes.size());
  FtpReply reply;
  ASSERT_EQ(reader.Next(&reply), FtpReplyReader::Result::kReply);
  EXPECT_EQ(reply.text, "150-Opening for a (1).bin\n (42 bytes)\n150 go\n");
}

}  // namespace

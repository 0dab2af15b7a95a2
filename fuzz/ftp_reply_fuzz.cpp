// What the control connection receives: cut into replies in one block and in
// blocks of another size, the same replies come out in the same order, each
// within the reader's bound, and the sizes read from them stay in range. The
// first byte chooses the size of the small blocks; the rest is the stream.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "ftp/ftp_reply_reader.h"
#include "ftp/ftp_reply_sizes.h"
#include "fuzz/fuzz_check.h"

namespace {

struct Replies {
  std::vector<std::string> texts;
  bool tooLong = false;
};

void CheckSize(int64_t size) {
  FuzzCheck(size == ftp_sizes::kNoSize || size == ftp_sizes::kSizeOutOfRange ||
                (size >= 0 && size <= ftp_sizes::kLargestSize),
            "a size is absent, refused or in range");
}

Replies Read(const std::string& stream, size_t blockSize) {
  FtpReplyReader reader;
  Replies replies;
  for (size_t at = 0; at < stream.size() && !replies.tooLong; at += blockSize) {
    reader.Append(stream.data() + at, std::min(blockSize, stream.size() - at));
    FtpReply reply;
    for (;;) {
      const FtpReplyReader::Result result = reader.Next(&reply);
      if (result == FtpReplyReader::Result::kNeedMore) break;
      if (result == FtpReplyReader::Result::kTooLong) {
        replies.tooLong = true;
        break;
      }
      FuzzCheck(reply.code.size() == 3, "a reply's code has three characters");
      FuzzCheck(reply.text.size() <= FtpReplyReader::kMaxReply + 2, "a reply stays within its bound");
      CheckSize(ftp_sizes::FromSizeReply(reply.lastLine));
      CheckSize(ftp_sizes::FromOpeningReply(reply.text));
      replies.texts.push_back(reply.text);
    }
  }
  return replies;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t blockSize = data[0] % 32 + 1;
  const std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  const Replies whole = Read(stream, stream.size() + 1);
  const Replies pieces = Read(stream, blockSize);
  FuzzCheck(whole.tooLong == pieces.tooLong, "the same refusal whatever the blocks");
  if (!whole.tooLong) FuzzCheck(whole.texts == pieces.texts, "the same replies whatever the blocks");
  return 0;
}

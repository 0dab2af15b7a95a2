#include "ftp/ftp_reply_sizes.h"

namespace ftp_sizes {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t SkipBlanks(std::string_view text, size_t at) {
  while (at < text.size() && text[at] == ' ') ++at;
  return at;
}

// The decimal number at `at` (advanced past its digits); kNoSize without a
// digit there.
int64_t ReadNumber(std::string_view text, size_t& at) {
  const size_t first = at;
  int64_t value = 0;
  bool tooLarge = false;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    if (value > kLargestSize) {
      tooLarge = true;
      continue;
    }
    value = value * 10 + (text[at] - '0');
  }
  if (at == first) return kNoSize;
  return tooLarge || value > kLargestSize ? kSizeOutOfRange : value;
}

// "(N bytes)" (or "(1 byte)") from the parenthesis at `open`, blanks
// allowed before and between; kNoSize when the group is anything else.
int64_t ByteCountAt(std::string_view text, size_t open) {
  size_t at = SkipBlanks(text, open + 1);
  const int64_t number = ReadNumber(text, at);
  if (number == kNoSize) return kNoSize;
  const size_t unit = SkipBlanks(text, at);
  if (unit == at || text.substr(unit, 4) != "byte") return kNoSize;
  at = unit + 4;
  if (at < text.size() && text[at] == 's') ++at;
  at = SkipBlanks(text, at);
  return at < text.size() && text[at] == ')' ? number : kNoSize;
}

}  // namespace

int64_t FromSizeReply(std::string_view line) {
  if (line.size() < 4 || line.substr(0, 3) != "213") return kNoSize;
  size_t at = SkipBlanks(line, 4);
  const int64_t number = ReadNumber(line, at);
  return SkipBlanks(line, at) == line.size() ? number : kNoSize;
}

// Each group is read from its parenthesis up to the next one at most, so the
// search from the end reads the text about once.
int64_t FromOpeningReply(std::string_view text) {
  size_t end = text.size();
  while (end > 0) {
    const size_t open = text.rfind('(', end - 1);
    if (open == std::string_view::npos) break;
    const int64_t size = ByteCountAt(text, open);
    if (size != kNoSize) return size;
    end = open;
  }
  return kNoSize;
}

}  // namespace ftp_sizes

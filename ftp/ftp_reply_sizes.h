#pragma once

#include <cstdint>
#include <string_view>

// Reading the file size a server states in its replies. Each reader gives
// the size, kNoSize when the text states none, or kSizeOutOfRange when it
// states one above kLargestSize. Both are linear in the text.
namespace ftp_sizes {

inline constexpr int64_t kNoSize = -1;
inline constexpr int64_t kSizeOutOfRange = -2;
// 8 PiB: larger than any file, small enough that every figure made from a
// size (percentages, time left) stays exact and in range.
inline constexpr int64_t kLargestSize = int64_t{1} << 53;

// The reply to SIZE: "213 1048576".
int64_t FromSizeReply(std::string_view line);
// The opening reply of a transfer: its last "(N bytes)", as in "150 Opening
// BINARY mode data connection for file (1).bin (123456 bytes)."
int64_t FromOpeningReply(std::string_view text);

}  // namespace ftp_sizes

#pragma once

#include <cstddef>
#include <cstdint>

// Removes the chunked transfer coding from a body that arrives in blocks of
// any size. Decoding is in place: the data of a block never grows.
class CChunkedDecoder {
 public:
  // Decodes the block in place and returns how many data bytes it now holds
  // at its front. Bytes after the last chunk's trailer are ignored.
  size_t Decode(char* block, size_t length);
  // The last chunk and its trailer have been read.
  bool IsDone() const { return m_state == State::kDone; }
  // The coding was broken; nothing more is decoded.
  bool IsBroken() const { return m_state == State::kBroken; }

 private:
  enum class State {
    kSize,           // hex digits of the chunk size
    kExtension,      // ";name=value" up to the line end
    kSizeLF,         // the LF after the size line's CR
    kData,           // chunk data
    kDataCR,         // the CR after the data
    kDataLF,         // the LF after the data
    kTrailerStart,   // start of a trailer line, or the final empty line
    kTrailerLine,    // inside a trailer line
    kTrailerLF,      // the LF that ends the final empty line
    kDone,
    kBroken,
  };

  // One control byte (anything outside chunk data).
  void Step(char c);
  void EndSizeLine();

  State m_state = State::kSize;
  int64_t m_nRemaining = 0;  // data bytes left in the current chunk
  int m_nDigits = 0;
  int m_nSignificantDigits = 0;
};

#include "http/chunked_decoder.h"

#include <cstring>

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Chunk sizes beyond this cannot be meant and would overflow.
constexpr int kMaxSizeDigits = 15;

}  // namespace

size_t CChunkedDecoder::Decode(char* block, size_t length) {
  size_t in = 0;
  size_t out = 0;
  while (in < length && m_state != State::kDone && m_state != State::kBroken) {
    if (m_state == State::kData) {
      size_t take = length - in;
      if (static_cast<int64_t>(take) > m_nRemaining) take = static_cast<size_t>(m_nRemaining);
      if (out != in) std::memmove(block + out, block + in, take);
      out += take;
      in += take;
      m_nRemaining -= static_cast<int64_t>(take);
      if (m_nRemaining == 0) m_state = State::kDataCR;
      continue;
    }
    Step(block[in++]);
  }
  return out;
}

void CChunkedDecoder::Step(char c) {
  switch (m_state) {
    case State::kSize: {
      const int digit = HexValue(c);
      if (digit >= 0) {
        ++m_nDigits;
        // Leading zeros add nothing to the size; only its own digits count.
        if (m_nRemaining > 0 || digit > 0) ++m_nSignificantDigits;
        if (m_nSignificantDigits > kMaxSizeDigits) {
          m_state = State::kBroken;
          return;
        }
        m_nRemaining = m_nRemaining * 16 + digit;
      } else if (m_nDigits == 0) {
        m_state = State::kBroken;
      } else if (c == ';' || c == ' ' || c == '\t') {
        m_state = State::kExtension;
      } else if (c == '\r') {
        m_state = State::kSizeLF;
      } else if (c == '\n') {
        EndSizeLine();
      } else {
        m_state = State::kBroken;
      }
      return;
    }
    case State::kExtension:
      if (c == '\r')
        m_state = State::kSizeLF;
      else if (c == '\n')
        EndSizeLine();
      return;
    case State::kSizeLF:
      if (c == '\n')
        EndSizeLine();
      else
        m_state = State::kBroken;
      return;
    case State::kDataCR:
      if (c == '\r')
        m_state = State::kDataLF;
      else if (c == '\n')
        m_state = State::kSize;
      else
        m_state = State::kBroken;
      return;
    case State::kDataLF:
      m_state = c == '\n' ? State::kSize : State::kBroken;
      return;
    case State::kTrailerStart:
      if (c == '\r')
        m_state = State::kTrailerLF;
      else if (c == '\n')
        m_state = State::kDone;
      else
        m_state = State::kTrailerLine;
      return;
    case State::kTrailerLine:
      if (c == '\n') m_state = State::kTrailerStart;
      return;
    case State::kTrailerLF:
      m_state = c == '\n' ? State::kDone : State::kBroken;
      return;
    case State::kData:
    case State::kDone:
    case State::kBroken:
      return;
  }
}

void CChunkedDecoder::EndSizeLine() {
  m_nDigits = 0;
  m_nSignificantDigits = 0;
  m_state = m_nRemaining == 0 ? State::kTrailerStart : State::kData;
}

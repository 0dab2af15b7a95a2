// A chunked body as it arrives: decoding it in one block and in blocks of
// another size must give the same bytes and end in the same state. The first
// byte chooses the size of the small blocks; the rest is the body.
#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "http/chunked_decoder.h"

namespace {

struct Decoded {
  std::string bytes;
  bool done = false;
  bool broken = false;
};

Decoded Decode(std::string body, size_t blockSize) {
  CChunkedDecoder decoder;
  Decoded decoded;
  for (size_t at = 0; at < body.size(); at += blockSize) {
    const size_t length = std::min(blockSize, body.size() - at);
    const size_t kept = decoder.Decode(body.data() + at, length);
    FuzzCheck(kept <= length, "a block never grows");
    decoded.bytes.append(body, at, kept);
  }
  decoded.done = decoder.IsDone();
  decoded.broken = decoder.IsBroken();
  FuzzCheck(!(decoded.done && decoded.broken), "done and broken at once");
  return decoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t blockSize = data[0] % 32 + 1;
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  const Decoded whole = Decode(body, body.size() + 1);
  const Decoded pieces = Decode(body, blockSize);
  FuzzCheck(whole.bytes == pieces.bytes, "the same bytes whatever the blocks");
  FuzzCheck(whole.done == pieces.done && whole.broken == pieces.broken, "the same end whatever the blocks");
  return 0;
}

// The browser host's reading of a message, from the bytes a browser (or
// anything that starts the host) writes to its standard input: the frame,
// then the JSON of a download request.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "browser/download_request.h"
#include "browser/native_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Short reads, as a pipe gives them, of a size the first byte picks; the
  // rest is the input.
  if (size == 0) return 0;
  const size_t piece = data[0] % 7 + 1;
  size_t taken = 1;
  const NativeMessage message = ReadNativeMessage([&](void* buffer, size_t wanted) -> long {
    const size_t n = std::min({wanted, size - taken, piece});
    std::memcpy(buffer, data + taken, n);
    taken += n;
    return static_cast<long>(n);
  });
  if (message.status != NativeMessage::kMessage) return 0;
  std::string problem;
  DownloadRequest::FromMessage(message.text, &problem);
  return 0;
}

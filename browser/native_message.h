#pragma once

// The browsers' native-messaging frame: a 32-bit length in the machine's
// byte order, then that many bytes of UTF-8 JSON.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The longest message the host reads; a longer one is refused unread.
constexpr uint32_t kMaxNativeMessageBytes = 1024 * 1024;

// Reads up to `size` bytes into the buffer: the count, 0 at the end of
// input, a negative number on an error.
using ByteReader = std::function<long(void* buffer, size_t size)>;

struct NativeMessage {
  enum Status {
    kMessage,    // text holds the message
    kNone,       // the input ended before the first byte: nothing was sent
    kTruncated,  // the input ended, or failed, inside the frame
    kTooLong,    // the length is over kMaxNativeMessageBytes
  };
  Status status = kNone;
  std::string text;
};

// One frame from the reader.
NativeMessage ReadNativeMessage(const ByteReader& read);
// The frame that carries the text.
std::string FrameNativeMessage(const std::string& text);

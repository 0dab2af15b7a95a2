#include "browser/native_message.h"

#include <cstring>

namespace {

// Fills the buffer; the count read when the input ends or fails first.
size_t ReadFully(const ByteReader& read, char* buffer, size_t size) {
  size_t filled = 0;
  while (filled < size) {
    const long n = read(buffer + filled, size - filled);
    if (n <= 0) break;
    filled += static_cast<size_t>(n);
  }
  return filled;
}

}  // namespace

NativeMessage ReadNativeMessage(const ByteReader& read) {
  NativeMessage message;
  char header[sizeof(uint32_t)];
  const size_t headerBytes = ReadFully(read, header, sizeof header);
  if (headerBytes < sizeof header) {
    message.status = headerBytes == 0 ? NativeMessage::kNone : NativeMessage::kTruncated;
    return message;
  }
  uint32_t length = 0;
  std::memcpy(&length, header, sizeof length);
  if (length > kMaxNativeMessageBytes) {
    message.status = NativeMessage::kTooLong;
    return message;
  }
  message.text.resize(length);
  const bool whole = ReadFully(read, message.text.data(), length) == length;
  message.status = whole ? NativeMessage::kMessage : NativeMessage::kTruncated;
  if (!whole) message.text.clear();
  return message;
}

std::string FrameNativeMessage(const std::string& text) {
  const uint32_t length = static_cast<uint32_t>(text.size());
  std::string frame(sizeof length, '\0');
  std::memcpy(frame.data(), &length, sizeof length);
  return frame + text;
}

// kestrion-browser-host: the native-messaging host of Kestrion's browser
// extension. The browser starts it for each download, sends it one message
// with the download's URL, and reads one answer: whether kestrion took the
// download, the user cancelled it, or the browser keeps it. The browser's
// arguments (its extension's origin or id) are not needed. Exit status: 0
// when an answer went out or nothing was asked, 1 otherwise.

#include <cstdio>

#include "browser/browser_host.h"
#include "platform/process/stdio_channel.h"

int main() {
  const std::unique_ptr<StdioChannel> channel = StdioChannel::TakeOver();
  if (!channel) {
    std::fprintf(stderr, "kestrion-browser-host: cannot take over standard input and output\n");
    return 1;
  }
  const NativeMessage message = ReadNativeMessage([&](void* buffer, size_t size) { return channel->Read(buffer, size); });
  if (message.status == NativeMessage::kNone) return 0;
  DownloadHandOff handOff;
  return channel->WriteAll(FrameNativeMessage(HostReply(message, handOff))) ? 0 : 1;
}

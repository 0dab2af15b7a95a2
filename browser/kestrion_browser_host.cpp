// kestrion-browser-host: the native-messaging host of Kestrion's browser
// extension. The browser starts it for each download, sends it one message
// with the download's URL, and reads one answer: whether kestrion took the
// download, the user cancelled it, or the browser keeps it. The browser's
// arguments (its extension's origin or id) are not needed. Exit status: 0
// when an answer went out or nothing was asked, 1 otherwise.

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "browser/browser_host.h"
#include "platform/process/stdio_channel.h"

namespace {

// The browser starts the host in a folder of its choosing, often the
// program folder, which the user may not write. The save-as dialog opens
// there when no folder is remembered, and kestrion keeps its pieces there:
// the browser's download folder when it named one, else the home folder.
void EnterWorkingFolder(const DownloadRequest& request) {
  const char* home = std::getenv("HOME");
  std::error_code error;
  for (const std::string& folder : {request.BrowserFolder(), std::string(home ? home : "")}) {
    if (!folder.empty() && std::filesystem::is_directory(folder, error)) {
      std::filesystem::current_path(folder, error);
      if (!error) return;
    }
  }
}

}  // namespace

int main() {
  const std::unique_ptr<StdioChannel> channel = StdioChannel::TakeOver();
  if (!channel) {
    std::fprintf(stderr, "kestrion-browser-host: cannot take over standard input and output\n");
    return 1;
  }
  const NativeMessage message =
      ReadNativeMessage([&](void* buffer, size_t size) { return channel->Read(buffer, size); });
  if (message.status == NativeMessage::kNone) return 0;
  std::string reply;
  if (const std::optional<DownloadRequest> request = RequestOf(message, &reply)) {
    EnterWorkingFolder(*request);
    DownloadHandOff handOff;
    reply = AnswerReply(handOff.Offer(*request));
  }
  return channel->WriteAll(FrameNativeMessage(reply)) ? 0 : 1;
}

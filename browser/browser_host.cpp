#include "browser/browser_host.h"

#include "browser/host_messages.h"
#include "browser/json_object.h"

namespace {

const char* AnswerName(HostAnswer answer) {
  switch (answer) {
    case HostAnswer::kTaken: return host_messages::kTaken;
    case HostAnswer::kCancelled: return host_messages::kCancelled;
    default: return host_messages::kBrowser;
  }
}

std::string Reply(const char* name, const std::string& text) { return "{\"" + std::string(name) + "\":" + JsonQuoted(text) + "}"; }

}  // namespace

std::string HostReply(const NativeMessage& message, DownloadHandOff& handOff) {
  if (message.status == NativeMessage::kTooLong) return Reply("error", host_messages::kTooLong);
  if (message.status != NativeMessage::kMessage) return Reply("error", host_messages::kTruncated);
  std::string problem;
  const std::optional<DownloadRequest> request = DownloadRequest::FromMessage(message.text, &problem);
  if (!request) return Reply("error", problem);
  return Reply("answer", AnswerName(handOff.Offer(*request)));
}

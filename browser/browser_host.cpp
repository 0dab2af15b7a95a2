#include "browser/browser_host.h"

#include "browser/host_messages.h"
#include "browser/json_object.h"

namespace {

std::string Reply(const char* name, const std::string& text) {
  return "{\"" + std::string(name) + "\":" + JsonQuoted(text) + "}";
}

}  // namespace

std::optional<DownloadRequest> RequestOf(const NativeMessage& message, std::string* errorReply) {
  std::string problem = host_messages::kTruncated;
  std::optional<DownloadRequest> request;
  if (message.status == NativeMessage::kTooLong)
    problem = host_messages::kTooLong;
  else if (message.status == NativeMessage::kMessage)
    request = DownloadRequest::FromMessage(message.text, &problem);
  if (!request) *errorReply = Reply("error", problem);
  return request;
}

std::string AnswerReply(HostAnswer answer) {
  switch (answer) {
    case HostAnswer::kTaken: return Reply("answer", host_messages::kTaken);
    case HostAnswer::kCancelled: return Reply("answer", host_messages::kCancelled);
    default: return Reply("answer", host_messages::kBrowser);
  }
}

#pragma once

// kestrion-browser-host's reading of the one message a browser sends it,
// and its answer.

#include <optional>
#include <string>

#include "browser/download_hand_off.h"
#include "browser/native_message.h"

// The download request the message carries; nothing, with the error reply
// ({"error":"..."}) in *errorReply, for any other message, which is not
// acted on.
std::optional<DownloadRequest> RequestOf(const NativeMessage& message, std::string* errorReply);
// {"answer":"taken"}, "cancelled" or "browser".
std::string AnswerReply(HostAnswer answer);

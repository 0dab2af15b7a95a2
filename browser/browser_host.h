#pragma once

// kestrion-browser-host's answer to the one message a browser sends it.

#include <string>

#include "browser/download_hand_off.h"
#include "browser/native_message.h"

// {"answer":"taken"}, "cancelled" or "browser" for a download request that
// the hand-off offered; {"error":"..."} for any other message, which is not
// acted on.
std::string HostReply(const NativeMessage& message, DownloadHandOff& handOff);

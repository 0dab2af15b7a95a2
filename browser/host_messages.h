#pragma once

// Texts of the browser host's answers.
namespace host_messages {
// The three answers to a download request.
inline constexpr char kTaken[] = "taken";
inline constexpr char kCancelled[] = "cancelled";
inline constexpr char kBrowser[] = "browser";

// Why a message got an error answer instead.
inline constexpr char kTooLong[] = "The message is longer than 1 MiB.";
inline constexpr char kTruncated[] = "The message ended before its length.";
inline constexpr char kNotAnObject[] = "The message is not a JSON object of strings and numbers.";
inline constexpr char kNoUrl[] = "The message has no url.";
inline constexpr char kWrongType[] = "The message's \"%s\" is not a %s.";
inline constexpr char kBadUrl[] = "The url is empty or holds control characters.";
}  // namespace host_messages

#pragma once

// Texts the application shell shows.
namespace app_messages {
inline constexpr char kStandAlone[] = "Application cannot run as Stand-Alone";
inline constexpr char kTwoParameters[] = "Could not Find 2 Parameters in the command line, aborted.";
inline constexpr char kEmptyParameter[] = "One the parameters in the command is Empty, Aborted";
inline constexpr char kNoScheme[] = "Could not find 'scheme' in the source URL, aborted";
inline constexpr char kUnsupportedScheme[] = "Could not support this 'scheme'";
inline constexpr char kUnreadableURL[] = "Could not understand the URL [%s], aborted";
inline constexpr char kUnknownCommand[] = "Command is unknown";
}  // namespace app_messages

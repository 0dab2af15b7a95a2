#pragma once

// Texts the download manager base shows.
namespace engine_messages {
inline constexpr char kThreadNotCreated[] = "FileDonwloadManager thread cannot be created, Download Aborted";
inline constexpr char kEventNotSet[] = "Event cannot be SET to release the main thread, problem in exiting";
// After the text that asks for another destination: the path and the reason.
inline constexpr char kRefusedReason[] = " (%s: %s)";
inline constexpr char kDestinationNotCreated[] = "File %s could not be created: %s";
}  // namespace engine_messages

// Where the program's settings live in the registry.
inline constexpr char kProgramKey[] = "SOFTWARE\\Morvane\\Kestrion";

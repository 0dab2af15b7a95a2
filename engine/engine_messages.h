#pragma once

// Texts the download manager base shows.
namespace engine_messages {
inline constexpr char kThreadNotCreated[] = "FileDonwloadManager thread cannot be created, Download Aborted";
inline constexpr char kEventNotSet[] = "Event cannot be SET to release the main thread, problem in exiting";
// After the text that asks for another destination: the path and the reason.
inline constexpr char kRefusedReason[] = " (%s: %s)";
inline constexpr char kDestinationNotCreated[] = "File %s could not be created: %s";
// A download that goes on from where an earlier run stopped, or cannot.
inline constexpr char kFileChangedSinceLastRun[] =
    "The file changed on the server since the last attempt; starting again";
inline constexpr char kCannotGoOn[] =
    "The server cannot continue the download from where the last attempt stopped; starting again";
inline constexpr char kEarlierRunDamaged[] =
    "What the last attempt left could not be used; starting again";
}  // namespace engine_messages

// Where the program's settings live in the registry.
inline constexpr char kProgramKey[] = "SOFTWARE\\Morvane\\Kestrion";

#pragma once

// Texts of the registration commands.
namespace registration_messages {
// Asked before other programs' name-space handlers are removed; takes the
// joined handler names, then the protocol.
inline constexpr char kOtherHandlersFound[] =
    "Kestrion found the following registered programs [%s] while registering protocol %s, chose yes to "
    "disble the other programs operations.";
}  // namespace registration_messages

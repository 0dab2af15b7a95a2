#pragma once

#include <cstddef>
#include <string>

#include "platform/ui/window_state.h"

// The console's picture of a progress window, as one line no wider than
// `columns` characters: the file and its server, the percentage, the time
// left, the bytes so far, the rate and, when the window offers its details
// and a key can open them, the key's hint. Where they do not all fit, the
// least useful go first (the name, which the user gave, then the hint, the
// rate, and the time or the bytes, whichever says less while the percentage
// is unknown); a line that is still too wide is cut.
std::string ConsoleProgressLine(const WindowState& state, bool detailsKey, size_t columns);

// At most `columns` characters of the text, never cut inside one.
std::string CutToColumns(const std::string& text, size_t columns);

// The details key and its hint.
inline constexpr char kConsoleDetailsKey = 'd';
inline constexpr char kConsoleDetailsHint[] = "(d: details)";

#pragma once

#include <string>

// Qt ends the process when its window system cannot be reached, so the
// display is tried first, without Qt: an X display (DISPLAY) before a
// Wayland one (WAYLAND_DISPLAY). On success, the Qt platform to use ("xcb"
// or "wayland"; empty when QT_QPA_PLATFORM already names one); on failure,
// false and why.
bool FindDisplay(std::string* qtPlatform, std::string* failure);

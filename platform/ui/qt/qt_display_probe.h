#pragma once

#include <string>
#include <vector>

// Qt ends the process when its window system cannot be reached, so the
// display is tried first. On success, the arguments that make Qt use the
// display found ("-platform xcb" or "-platform wayland"; none when
// QT_QPA_PLATFORM already names one); on failure, false and why.
bool FindDisplay(std::vector<std::string>* qtArguments, std::string* failure);

#pragma once

// Runs a program to its end, for tools that drive another program (an
// installer running kestrion's registration command). Any thread.

#include <string>
#include <vector>

// Runs the program (a path) with the arguments, sharing this process's
// terminal and environment, and waits for it. Its exit status, or -1 when
// it could not be started or did not exit normally.
int RunAndWait(const std::string& program, const std::vector<std::string>& arguments);

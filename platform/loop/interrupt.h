#pragma once

#include <functional>

// Runs handler, with the signal's number, on a thread of its own each time
// SIGINT, SIGTERM or SIGHUP arrives: a program that is told to end, from its
// terminal, by another program, or by its terminal going away. Call before
// any other thread is started, so they all leave the signals to it. From
// then on a write to a pipe nobody reads fails instead of ending the
// program (SIGPIPE is ignored).
void SetInterruptHandler(std::function<void(int signal)> handler);

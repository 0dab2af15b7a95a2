#pragma once

#include <functional>

// Runs handler on a thread of its own each time SIGINT or SIGTERM arrives.
// Call before any other thread is started, so they all leave the signals to it.
void SetInterruptHandler(std::function<void()> handler);

#pragma once

#include <cstdint>

// Does nothing when taken from a queue; posting it only wakes the thread's
// loop (see EventLoop::PumpUntil).
constexpr unsigned WM_NULL = 0x0000;
constexpr unsigned WM_QUIT = 0x0012;
constexpr unsigned WM_USER = 0x0400;

// One posted message, as a thread's queue holds it.
struct ThreadMessage {
  unsigned message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

using ThreadId = uint32_t;

// Posts to the queue of the thread with this id. Any thread may call it.
// False when no such thread is running (its loop has ended).
bool PostThreadMessage(ThreadId thread, unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0);

// The id of the calling thread's loop (created on first use).
ThreadId GetCurrentThreadId();

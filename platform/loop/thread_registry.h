#pragma once

#include "platform/loop/thread_message.h"

class EventLoop;

// Maps thread ids to the loops that serve them, so that any thread can post
// to a thread it only knows by id. All functions are thread-safe.
namespace thread_registry {

// Gives the loop a new id (never 0, never reused) and makes it reachable.
ThreadId Register(EventLoop* loop);
// Makes the id unreachable; later posts to it fail. Unknown ids are ignored.
void Unregister(ThreadId id);
// Posts under the registry's lock, so the loop cannot end meanwhile.
bool Post(ThreadId id, const ThreadMessage& message);

}  // namespace thread_registry

#include "platform/loop/thread_registry.h"

#include <mutex>
#include <unordered_map>

#include "platform/loop/event_loop.h"

namespace thread_registry {
namespace {

std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}

// Leaked on purpose: loops of detached threads may unregister while the
// process is exiting, after static destructors would have run.
std::unordered_map<ThreadId, EventLoop*>& Loops() {
  static auto* loops = new std::unordered_map<ThreadId, EventLoop*>();
  return *loops;
}

ThreadId g_nextId = 1;

}  // namespace

ThreadId Register(EventLoop* loop) {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  const ThreadId id = g_nextId++;
  Loops()[id] = loop;
  return id;
}

void Unregister(ThreadId id) {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  Loops().erase(id);
}

bool Post(ThreadId id, const ThreadMessage& message) {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  const auto found = Loops().find(id);
  if (found == Loops().end()) {
    return false;
  }
  found->second->Post(message);
  return true;
}

}  // namespace thread_registry

bool PostThreadMessage(ThreadId thread, unsigned message, uintptr_t wParam, intptr_t lParam) {
  return thread_registry::Post(thread, ThreadMessage{message, wParam, lParam});
}

ThreadId GetCurrentThreadId() { return EventLoop::ForThisThread().Id(); }

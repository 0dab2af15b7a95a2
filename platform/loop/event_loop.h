#pragma once

// Stands in for the desktop platform's threads with message loops: one
// epoll loop per thread, posted messages, timers, events and worker threads.
// A loop belongs to its thread; only posting crosses threads.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/loop/thread_message.h"

// One loop per thread, on epoll. Its body runs a short list of phases: due
// timers, posted messages (woken through one eventfd), ready descriptors.
// Loops may be nested: a blocking call pumps the same thread's loop with
// PumpUntil, so notifications keep arriving while it waits.
//
// Thread contract: Post and Id may be called from any thread; everything else
// only from the thread that owns the loop.
class EventLoop {
 public:
  enum Interest : uint32_t { kReadable = 1, kWritable = 2 };
  using FdCallback = std::function<void(uint32_t readyMask)>;  // kReadable|kWritable|kError|kHangUp
  enum Ready : uint32_t { kError = 4, kHangUp = 8 };
  using TimerId = uint64_t;

  // The calling thread's loop, created on first use and kept for the
  // thread's life.
  static EventLoop& ForThisThread();

  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  ThreadId Id() const { return m_id; }
  void Post(const ThreadMessage& message);

  // Messages other than WM_QUIT and WM_NULL go to this handler.
  void SetMessageHandler(std::function<void(const ThreadMessage&)> handler);

  // Descriptor watches. A callback may unwatch or close any descriptor,
  // its own included; a descriptor unwatched during dispatch gets no more calls.
  void Watch(int fd, uint32_t interest, FdCallback callback);
  void ChangeInterest(int fd, uint32_t interest);
  void Unwatch(int fd);

  TimerId AddTimer(std::chrono::milliseconds delay, std::function<void()> callback, bool repeat);
  void CancelTimer(TimerId id);

  // Runs until WM_QUIT is taken from the queue. Returns the quit's wParam.
  // The outermost Run consumes the quit; a nested Run leaves it pending.
  int Run();
  // Nested pump: runs phases until done() is true (returns true) or a WM_QUIT
  // has been seen (returns false; the quit stays pending for the outer Run).
  // A null timeout waits as long as it takes; when it runs out the result is
  // false with no quit pending. While a quit is pending every PumpUntil
  // returns false at once (unless done() is already true).
  // done() is checked after every phase. When another thread makes it true,
  // that thread must wake this loop by posting any message to it afterwards,
  // WM_NULL being the one that does nothing else.
  bool PumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds::zero());
  bool QuitPending() const;
  // A WM_QUIT is pending or waits in the queue: for work that runs long
  // without pumping and should stop when the thread is told to quit.
  bool QuitPosted() const;

 private:
  friend class WorkerThread;  // makes a thread's loop before the thread runs
  EventLoop();
  // Makes `loop` the calling thread's ForThisThread loop; it lives until
  // ReleaseThisThread or the thread's end.
  static void AdoptForThisThread(std::unique_ptr<EventLoop> loop);
  static void ReleaseThisThread();
  struct Impl;
  std::unique_ptr<Impl> m_impl;
  ThreadId m_id;
};

#pragma once

#include <chrono>
#include <functional>

#include "platform/loop/event_loop.h"

// A timer on the loop of the thread that creates it. Fires its callback on
// that thread. Stopping (or destroying) it cancels a pending shot.
class Timer {
 public:
  explicit Timer(std::function<void()> callback);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void Start(std::chrono::milliseconds interval, bool repeat);
  void Stop();
  bool IsActive() const { return m_id != 0; }

 private:
  EventLoop& m_loop;
  std::function<void()> m_callback;
  EventLoop::TimerId m_id = 0;
  bool m_repeat = false;
};

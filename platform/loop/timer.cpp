#include "platform/loop/timer.h"

#include <utility>

Timer::Timer(std::function<void()> callback) : m_loop(EventLoop::ForThisThread()), m_callback(std::move(callback)) {}

Timer::~Timer() { Stop(); }

void Timer::Start(std::chrono::milliseconds interval, bool repeat) {
  Stop();
  m_repeat = repeat;
  m_id = m_loop.AddTimer(
      interval,
      [this] {
        if (!m_repeat) {
          m_id = 0;
        }
        // A copy: the callback may destroy this timer.
        const auto callback = m_callback;
        callback();
      },
      repeat);
}

void Timer::Stop() {
  if (m_id != 0) {
    m_loop.CancelTimer(m_id);
    m_id = 0;
  }
}

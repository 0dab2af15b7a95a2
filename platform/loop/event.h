#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

constexpr uint32_t INFINITE = 0xFFFFFFFF;
constexpr uint32_t WAIT_OBJECT_0 = 0;
constexpr uint32_t WAIT_TIMEOUT = 258;

// A manual- or auto-reset event shared between threads.
class Event {
 public:
  explicit Event(bool manualReset, bool initiallySet = false);
  bool Set();
  void Reset();
  // True when set within the time-out (milliseconds, INFINITE for none).
  bool Wait(uint32_t milliseconds = INFINITE);

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_bManualReset;
  bool m_bSet;
};

uint32_t WaitForSingleObject(Event& event, uint32_t milliseconds);

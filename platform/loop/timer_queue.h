#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

// The timers of one event loop. Used only on the loop's thread.
class TimerQueue {
 public:
  using Clock = std::chrono::steady_clock;

  // Returns an id that is never 0 and never reused.
  uint64_t Add(std::chrono::milliseconds delay, std::function<void()> callback, bool repeat);
  // Unknown or finished ids are ignored.
  void Cancel(uint64_t id);
  // Fires every timer that is due now, earliest first. A callback may add or
  // cancel timers, its own included; a timer cancelled meanwhile is skipped.
  void RunDue();
  // How long until the next timer is due; none when no timer is set.
  std::optional<Clock::duration> TimeToNext() const;
  bool Empty() const { return m_entries.empty(); }

 private:
  struct Entry {
    Clock::time_point due;
    std::chrono::milliseconds interval;
    bool repeat;
    // Shared so that a callback that cancels its own timer keeps running.
    std::shared_ptr<std::function<void()>> callback;
  };
  std::map<uint64_t, Entry> m_entries;
  uint64_t m_nextId = 1;
};

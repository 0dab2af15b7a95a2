#include "platform/loop/timer_queue.h"

#include <algorithm>
#include <utility>
#include <vector>

uint64_t TimerQueue::Add(std::chrono::milliseconds delay, std::function<void()> callback, bool repeat) {
  const uint64_t id = m_nextId++;
  const auto interval = std::max(delay, std::chrono::milliseconds::zero());
  m_entries.emplace(id, Entry{Clock::now() + interval, interval, repeat,
                              std::make_shared<std::function<void()>>(std::move(callback))});
  return id;
}

void TimerQueue::Cancel(uint64_t id) { m_entries.erase(id); }

void TimerQueue::RunDue() {
  if (m_entries.empty()) {
    return;
  }
  const auto now = Clock::now();
  std::vector<std::pair<Clock::time_point, uint64_t>> due;
  for (const auto& [id, entry] : m_entries) {
    if (entry.due <= now) {
      due.emplace_back(entry.due, id);
    }
  }
  std::sort(due.begin(), due.end());
  for (const auto& [when, id] : due) {
    const auto found = m_entries.find(id);
    if (found == m_entries.end() || found->second.due > now) {
      continue;
    }
    std::shared_ptr<std::function<void()>> callback = found->second.callback;
    if (found->second.repeat) {
      // Rescheduled before the call, so a nested pump inside the callback
      // does not fire it again at once.
      found->second.due = now + found->second.interval;
    } else {
      m_entries.erase(found);
    }
    (*callback)();
  }
}

std::optional<TimerQueue::Clock::duration> TimerQueue::TimeToNext() const {
  if (m_entries.empty()) {
    return std::nullopt;
  }
  auto earliest = Clock::time_point::max();
  for (const auto& [id, entry] : m_entries) {
    earliest = std::min(earliest, entry.due);
  }
  return std::max(earliest - Clock::now(), Clock::duration::zero());
}

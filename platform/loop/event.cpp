#include "platform/loop/event.h"

#include <chrono>

Event::Event(bool manualReset, bool initiallySet) : m_bManualReset(manualReset), m_bSet(initiallySet) {}

bool Event::Set() {
  // Notified under the lock: a released waiter may destroy the event as soon
  // as it returns, and must not find Set still using it.
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bSet = true;
  if (m_bManualReset) {
    m_changed.notify_all();
  } else {
    m_changed.notify_one();
  }
  return true;
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bSet = false;
}

bool Event::Wait(uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(m_mutex);
  const auto isSet = [this] { return m_bSet; };
  if (milliseconds == INFINITE) {
    m_changed.wait(lock, isSet);
  } else if (!m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds), isSet)) {
    return false;
  }
  if (!m_bManualReset) {
    m_bSet = false;
  }
  return true;
}

uint32_t WaitForSingleObject(Event& event, uint32_t milliseconds) {
  return event.Wait(milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

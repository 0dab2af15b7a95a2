#include "platform/files/copy_queue.h"

#include <chrono>
#include <system_error>

namespace {

// Copies are bound by memory and the disk: two threads use what a desktop
// offers without starving the transfer that still runs beside them.
constexpr size_t kThreads = 2;
// How often a waiting Wait asks whether it was cancelled.
constexpr auto kCancelPoll = std::chrono::milliseconds(50);

}  // namespace

CCopyQueue::~CCopyQueue() { Stop(); }

void CCopyQueue::Post(Job job) {
  std::unique_lock<std::mutex> lock(m_lock);
  if (m_failure) throw *m_failure;
  m_jobs.push_back(std::move(job));
  if (m_threads.size() < kThreads) {
    try {
      m_threads.emplace_back([this] { Serve(); });
    } catch (const std::system_error&) {
      // Fewer threads only make the copies slower; Wait runs them anyway.
    }
  }
  m_changed.notify_one();
}

void CCopyQueue::Serve() {
  std::unique_lock<std::mutex> lock(m_lock);
  for (;;) {
    m_changed.wait(lock, [this] { return m_bStopping || !m_jobs.empty(); });
    if (m_bStopping) return;
    RunFirst(lock);
  }
}

void CCopyQueue::RunFirst(std::unique_lock<std::mutex>& lock) {
  Job job = std::move(m_jobs.front());
  m_jobs.pop_front();
  ++m_nRunning;
  lock.unlock();
  std::optional<CFileException> failure;
  try {
    job();
  } catch (const CFileException& error) {
    failure = error;
  }
  lock.lock();
  --m_nRunning;
  if (failure && !m_failure) {
    m_failure = failure;
    m_jobs.clear();
  }
  m_changed.notify_all();
}

bool CCopyQueue::Wait(const std::function<bool()>& cancelled) {
  for (;;) {
    if (cancelled && cancelled()) {
      Stop();
      return false;
    }
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_failure) {
      const CFileException failure = *m_failure;
      lock.unlock();
      Stop();
      throw failure;
    }
    if (!m_jobs.empty()) {
      RunFirst(lock);
    } else if (m_nRunning > 0) {
      m_changed.wait_for(lock, kCancelPoll);
    } else {
      break;
    }
  }
  Stop();
  return true;
}

void CCopyQueue::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_bStopping = true;
    m_jobs.clear();
  }
  m_changed.notify_all();
  for (std::thread& thread : m_threads) thread.join();
  m_threads.clear();
  std::lock_guard<std::mutex> lock(m_lock);
  m_bStopping = false;
  m_failure.reset();
}

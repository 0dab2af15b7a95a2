#include "platform/files/copy_queue.h"

#include <chrono>
#include <system_error>

namespace {

// How often a waiting Wait asks whether it was cancelled.
constexpr auto kCancelPoll = std::chrono::milliseconds(50);

}  // namespace

CCopyQueue::~CCopyQueue() { Stop(); }

void CCopyQueue::Post(Job job) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_failure) throw *m_failure;
  // Without a thread of its own the job runs here and now.
  if (!m_thread.joinable()) {
    try {
      m_thread = std::thread([this] { Serve(); });
    } catch (const std::system_error&) {
      job();
      return;
    }
  }
  m_jobs.push_back(std::move(job));
  m_changed.notify_all();
}

void CCopyQueue::Serve() {
  std::unique_lock<std::mutex> lock(m_lock);
  for (;;) {
    m_changed.wait(lock, [this] { return m_bStopping || !m_jobs.empty(); });
    if (m_bStopping) return;
    Job job = std::move(m_jobs.front());
    m_jobs.pop_front();
    m_bRunning = true;
    lock.unlock();
    std::optional<CFileException> failure;
    try {
      job();
    } catch (const CFileException& error) {
      failure = error;
    }
    lock.lock();
    m_bRunning = false;
    if (failure && !m_failure) {
      m_failure = failure;
      m_jobs.clear();
    }
    m_changed.notify_all();
  }
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
    if (m_jobs.empty() && !m_bRunning) break;
    m_changed.wait_for(lock, kCancelPoll);
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
  if (m_thread.joinable()) m_thread.join();
  std::lock_guard<std::mutex> lock(m_lock);
  m_bStopping = false;
  m_failure.reset();
}

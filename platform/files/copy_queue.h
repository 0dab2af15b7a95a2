#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/files/file.h"

// Runs file work (copies, writeback) on a thread of its own, in the order
// it was posted, so that whoever posts it goes on meanwhile. The first
// failure drops what is still queued and is thrown by Post or Wait.
//
// Threads: Post may be called on any thread, Wait and Stop on one; the
// jobs run on the queue's thread.
class CCopyQueue {
 public:
  // Throws CFileException when it fails.
  using Job = std::function<void()>;

  CCopyQueue() = default;
  ~CCopyQueue();  // Stop
  CCopyQueue(const CCopyQueue&) = delete;
  CCopyQueue& operator=(const CCopyQueue&) = delete;

  // Queues the job. Throws the failure of an earlier job.
  void Post(Job job);
  // Waits until no job is left, then ends the thread. `cancelled` is asked
  // while waiting: when it says yes the queue stops and Wait returns false.
  // Throws the first failure.
  bool Wait(const std::function<bool()>& cancelled);
  // Drops the jobs not yet begun, waits for the running one and ends the
  // thread; a failure is forgotten.
  void Stop();

 private:
  void Serve();

  std::mutex m_lock;
  std::condition_variable m_changed;
  std::deque<Job> m_jobs;
  std::thread m_thread;
  bool m_bRunning = false;
  bool m_bStopping = false;
  std::optional<CFileException> m_failure;
};

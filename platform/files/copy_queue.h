#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/files/file.h"

// Runs file copies on two threads of its own, so that whoever posts them
// goes on meanwhile; Wait lends the caller's thread as well. The first
// failure drops what is still queued and is thrown by Post or Wait.
//
// Threads: Post, Wait and Stop are called on one thread; the jobs run on
// the queue's threads and, inside Wait, on the caller's.
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
  // Runs queued jobs here too, until none is left or running, then ends the
  // threads. `cancelled` is asked between jobs and while waiting: when it
  // says yes the queue stops and Wait returns false. Throws the first
  // failure.
  bool Wait(const std::function<bool()>& cancelled);
  // Drops the jobs not yet begun, waits for the running ones and ends the
  // threads; a failure is forgotten.
  void Stop();

 private:
  void Serve();
  // Runs the first queued job with the lock released.
  void RunFirst(std::unique_lock<std::mutex>& lock);

  std::mutex m_lock;
  std::condition_variable m_changed;
  std::deque<Job> m_jobs;
  std::vector<std::thread> m_threads;
  int m_nRunning = 0;
  bool m_bStopping = false;
  std::optional<CFileException> m_failure;
};

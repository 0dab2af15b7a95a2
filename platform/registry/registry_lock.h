#pragma once

#include <string>

// An exclusive advisory lock (flock) on a lock file, held from a successful
// Acquire until destruction. Excludes other processes and, since each holder
// opens the file anew, other threads of this process too.
class RegistryLock {
 public:
  RegistryLock() = default;
  ~RegistryLock();
  RegistryLock(const RegistryLock&) = delete;
  RegistryLock& operator=(const RegistryLock&) = delete;

  // Creates the lock file when needed and blocks until the lock is ours.
  // Returns 0, or the errno of the failure.
  int Acquire(const std::string& lockPath);

 private:
  int m_fd = -1;
};

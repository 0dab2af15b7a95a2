#include "platform/registry/registry_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

RegistryLock::~RegistryLock() {
  if (m_fd >= 0) close(m_fd);  // closing the only descriptor releases the lock
}

int RegistryLock::Acquire(const std::string& lockPath) {
  m_fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (m_fd < 0) return errno;
  while (flock(m_fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    int error = errno;
    close(m_fd);
    m_fd = -1;
    return error;
  }
  return 0;
}

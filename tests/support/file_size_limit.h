#pragma once

#include <sys/resource.h>

namespace testenv {

// While it lives, writes past the limit fail with "File too large", as on a
// full disk. A program started meanwhile inherits the limit.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit m_previous{};
  void (*m_previousHandler)(int) = nullptr;
};

}  // namespace testenv

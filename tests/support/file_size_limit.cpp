#include "tests/support/file_size_limit.h"

#include <signal.h>

namespace testenv {

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
  getrlimit(RLIMIT_FSIZE, &m_previous);
  m_previousHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit limit = m_previous;
  limit.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  setrlimit(RLIMIT_FSIZE, &m_previous);
  signal(SIGXFSZ, m_previousHandler);
}

}  // namespace testenv

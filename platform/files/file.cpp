#include "platform/files/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files/scratch_files.h"

namespace {

std::string Reason(int error) { return std::strerror(error); }

int OpenFlagsFor(unsigned flags) {
  int oflags = O_CLOEXEC;
  if (flags & CFile::modeReadWrite)
    oflags |= O_RDWR;
  else if (flags & CFile::modeWrite)
    oflags |= O_WRONLY;
  else
    oflags |= O_RDONLY;
  if (flags & CFile::modeCreate) {
    oflags |= O_CREAT;
    if (!(flags & CFile::modeNoTruncate)) oflags |= O_TRUNC;
  }
  return oflags;
}

// Where the search for a free temporary name starts: different for
// processes and calls that run at the same moment.
unsigned FirstTempNumber() {
  static std::atomic<unsigned> calls{0};
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  unsigned seed = static_cast<unsigned>(now.tv_nsec) ^ static_cast<unsigned>(getpid()) * 2654435761u ^
                  calls.fetch_add(1) * 40503u;
  return seed % 0xFFFF;
}

}  // namespace

CFile::~CFile() { Abort(); }

bool CFile::Open(const std::string& name, unsigned flags, std::string* error) {
  Abort();
  int fd;
  do {
    fd = open(name.c_str(), OpenFlagsFor(flags), 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (error) *error = Reason(errno);
    return false;
  }
  m_fd = fd;
  m_strName = name;
  return true;
}

size_t CFile::Read(void* buffer, size_t count) {
  char* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < count) {
    ssize_t n = read(m_fd, out + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw CFileException(m_strName, Reason(errno));
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void CFile::Write(const void* data, size_t count) {
  const char* in = static_cast<const char*>(data);
  size_t done = 0;
  while (done < count) {
    ssize_t n = write(m_fd, in + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw CFileException(m_strName, Reason(errno));
    // A zero-length write of a non-empty buffer makes no progress; treat it as a full disk.
    if (n == 0) throw CFileException(m_strName, Reason(ENOSPC));
    done += static_cast<size_t>(n);
  }
}

void CFile::Seek(int64_t offset) {
  if (lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0) throw CFileException(m_strName, Reason(errno));
}

int64_t CFile::GetLength() const {
  struct stat st;
  if (fstat(m_fd, &st) != 0) throw CFileException(m_strName, Reason(errno));
  return static_cast<int64_t>(st.st_size);
}

void CFile::Flush() {}

void CFile::Sync() {
  if (fsync(m_fd) != 0) throw CFileException(m_strName, Reason(errno));
}

void CFile::Close() {
  if (m_fd < 0) return;
  int fd = m_fd;
  m_fd = -1;
  // The descriptor is gone after close() even when it reports an error, so
  // it is never retried.
  if (close(fd) != 0 && errno != EINTR) throw CFileException(m_strName, Reason(errno));
}

void CFile::Abort() {
  if (m_fd < 0) return;
  close(m_fd);
  m_fd = -1;
}

void CFile::Remove(const std::string& name) {
  if (unlink(name.c_str()) != 0) throw CFileException(name, Reason(errno));
  ScratchFiles::Forget(name);
}

bool CFile::Exists(const std::string& name) {
  struct stat st;
  return stat(name.c_str(), &st) == 0;
}

std::string GetTempFileName(const std::string& dir, const std::string& prefix) {
  std::string folder = dir.empty() ? std::string(".") : dir;
  if (folder.back() != '/') folder += '/';
  std::string stem = prefix.substr(0, 3);
  unsigned first = FirstTempNumber();
  for (unsigned attempt = 0; attempt < 0xFFFF; ++attempt) {
    char number[8];
    std::snprintf(number, sizeof number, "%04X", (first + attempt) % 0xFFFF + 1);
    std::string path = folder + stem + number + ".TMP";
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ScratchFiles::NoteLocked(path, fd);
      return path;
    }
    if (errno != EEXIST && errno != EINTR) return "";
  }
  return "";
}

std::string FolderOfFile(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

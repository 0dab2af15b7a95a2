#include "platform/files/file_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/files/file.h"

namespace {

constexpr size_t kBufferSize = 65536;
constexpr int64_t kKernelChunk = int64_t{1} << 30;
// Writeback is started for every this many appended bytes.
constexpr int64_t kWritebackStep = int64_t{64} << 20;

std::string Reason(int error) { return std::strerror(error); }

// Errors after which a plain read and write may still succeed.
bool KernelCopyUnsupported(int error) {
  return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == EBADF;
}

int OpenForWriting(const std::string& name, int flags) {
  int fd;
  do {
    fd = open(name.c_str(), O_WRONLY | O_CLOEXEC | flags, 0644);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : m_fd(fd) {}
  ~Descriptor() {
    if (m_fd >= 0) close(m_fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return m_fd; }

 private:
  int m_fd;
};

}  // namespace

CFileJoiner::~CFileJoiner() { Abort(); }

bool CFileJoiner::Open(const std::string& destination, std::string* error) {
  Abort();
  int fd = OpenForWriting(destination, O_CREAT | O_EXCL);
  m_bCreated = fd >= 0;
  if (fd < 0 && errno == EEXIST) fd = OpenForWriting(destination, O_CREAT | O_TRUNC);
  if (fd < 0) {
    if (error) *error = Reason(errno);
    return false;
  }
  m_fd = fd;
  m_strName = destination;
  m_nLength = 0;
  m_nWrittenBack = 0;
  return true;
}

bool CFileJoiner::MoveIn(const std::string& source, int64_t count) {
  if (!m_bCreated || m_nLength != 0 || count <= 0) return false;
  const int fd = OpenForWriting(source, 0);
  if (fd < 0) return false;
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size != count ||
      rename(source.c_str(), m_strName.c_str()) != 0) {
    close(fd);
    return false;
  }
  close(m_fd);
  m_fd = fd;
  m_bCreated = false;
  m_nLength = count;
  StartWriteback();
  return true;
}

void CFileJoiner::Append(const std::string& source, int64_t offset, int64_t count) {
  Descriptor from(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (from.Get() < 0) throw CFileException(source, Reason(errno));
  if (m_bKernelCopy)
    CopyInKernel(from.Get(), source, offset, count);
  else
    CopyThroughBuffer(from.Get(), source, offset, count);
}

void CFileJoiner::CopyInKernel(int from, const std::string& source, int64_t offset, int64_t count) {
  off64_t in = offset;
  while (count > 0) {
    const size_t chunk = static_cast<size_t>(count < kKernelChunk ? count : kKernelChunk);
    off64_t out = m_nLength;
    const ssize_t n = copy_file_range(from, &in, m_fd, &out, chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && KernelCopyUnsupported(errno) && m_nLength == out) {
      m_bKernelCopy = false;
      CopyThroughBuffer(from, source, in, count);
      return;
    }
    if (n < 0) throw CFileException(m_strName, Reason(errno));
    if (n == 0) throw CFileException(source, "shorter than expected");
    m_nLength += n;
    count -= n;
    StartWriteback();
  }
}

void CFileJoiner::CopyThroughBuffer(int from, const std::string& source, int64_t offset, int64_t count) {
  std::vector<char> buffer(kBufferSize);
  while (count > 0) {
    const size_t want = static_cast<size_t>(count < static_cast<int64_t>(kBufferSize) ? count : kBufferSize);
    const ssize_t got = pread(from, buffer.data(), want, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw CFileException(source, Reason(errno));
    if (got == 0) throw CFileException(source, "shorter than expected");
    size_t done = 0;
    while (done < static_cast<size_t>(got)) {
      const ssize_t n = pwrite(m_fd, buffer.data() + done, static_cast<size_t>(got) - done, m_nLength);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw CFileException(m_strName, Reason(n < 0 ? errno : ENOSPC));
      done += static_cast<size_t>(n);
      m_nLength += n;
    }
    offset += got;
    count -= got;
    StartWriteback();
  }
}

void CFileJoiner::StartWriteback() {
  if (m_nLength - m_nWrittenBack < kWritebackStep) return;
  // Only a hint: a failure here shows again in Sync.
  sync_file_range(m_fd, m_nWrittenBack, m_nLength - m_nWrittenBack, SYNC_FILE_RANGE_WRITE);
  m_nWrittenBack = m_nLength;
}

// A device or pipe chosen as the destination has nothing to sync, and
// fsync would refuse it.
void CFileJoiner::Sync() {
  struct stat status;
  if (fstat(m_fd, &status) == 0 && !S_ISREG(status.st_mode)) return;
  if (fsync(m_fd) != 0) throw CFileException(m_strName, Reason(errno));
}

void CFileJoiner::Close() {
  const int fd = m_fd;
  m_fd = -1;
  if (fd >= 0 && close(fd) != 0 && errno != EINTR) throw CFileException(m_strName, Reason(errno));
}

void CFileJoiner::Abort() {
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
}

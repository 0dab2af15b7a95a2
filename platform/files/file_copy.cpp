#include "platform/files/file_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/files/file.h"
#include "platform/files/orphan_pieces.h"
#include "platform/files/scratch_files.h"

namespace {

constexpr size_t kBufferSize = 65536;
// Small enough that a cancel is noticed within a fraction of a second;
// writeback is started for each.
constexpr int64_t kChunk = int64_t{16} << 20;
constexpr unsigned kPartNameAttempts = 256;
constexpr char kPartSuffix[] = ".partXXXX";
constexpr size_t kDefaultNameLimit = 255;
constexpr char kNotARegularFile[] = "Not a regular file";

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

// Where the search for a free part name starts: different for processes and
// calls that run at the same moment.
unsigned FirstPartNumber() {
  static std::atomic<unsigned> calls{0};
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<unsigned>(now.tv_nsec) ^ static_cast<unsigned>(getpid()) * 2654435761u ^
         calls.fetch_add(1) * 40503u;
}

// The file a destination names: a symbolic link's target (which need not
// exist yet), so that the link stays a link.
std::string FileBehind(const std::string& destination) {
  constexpr int kMaxLinks = 40;
  std::filesystem::path path = destination;
  std::error_code error;
  for (int depth = 0; depth < kMaxLinks && std::filesystem::is_symlink(path, error); ++depth) {
    const std::filesystem::path target = std::filesystem::read_symlink(path, error);
    if (error) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path.string();
}

// The longest file name the folder takes.
size_t NameLimit(const std::string& folder) {
  const long limit = pathconf(folder.c_str(), _PC_NAME_MAX);
  return limit > 0 ? static_cast<size_t>(limit) : kDefaultNameLimit;
}

}  // namespace

// A long name is legal; the files named after it only have to be unique in
// the folder.
std::string StemWithRoomFor(const std::string& target, size_t suffixLength) {
  const size_t slash = target.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t room = NameLimit(FolderOfFile(target)) - suffixLength;
  size_t keep = target.size() - nameStart;
  if (keep <= room) return target;
  keep = room;
  while (keep > 0 && (static_cast<unsigned char>(target[nameStart + keep]) & 0xC0) == 0x80) --keep;
  return target.substr(0, nameStart + keep);
}

namespace {

// So that the rename itself survives a crash; only a hint where it fails.
void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  // A file system that cannot promise it: the name was free a moment ago.
  return errno == EINVAL && rename(from.c_str(), to.c_str()) == 0;
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
  m_strName = destination;
  m_strTarget = FileBehind(destination);
  m_nLength = 0;
  m_bAdopted = false;
  struct stat existing;
  const bool exists = stat(m_strTarget.c_str(), &existing) == 0;
  // Only a regular file can be replaced whole; opening a pipe or a device
  // to write into it may block for good.
  if (exists && !S_ISREG(existing.st_mode)) {
    if (error) *error = S_ISDIR(existing.st_mode) ? Reason(EISDIR) : kNotARegularFile;
    return false;
  }
  if (!CreateBeside(m_strTarget, error)) return false;
  if (exists) fchmod(m_fd, existing.st_mode & 07777);
  struct stat created;
  m_nMode = fstat(m_fd, &created) == 0 ? created.st_mode & 07777 : 0644;
  return true;
}

bool CFileJoiner::Reopen(const std::string& destination, const std::string& partName) {
  Abort();
  m_strName = destination;
  m_strTarget = FileBehind(destination);
  m_bAdopted = false;
  const std::string part = FolderOfFile(m_strTarget) + "/" + partName;
  const int fd = OpenForWriting(part, 0);
  struct stat status;
  if (fd < 0) return false;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return false;
  }
  m_fd = fd;
  m_strPart = part;
  m_nLength = status.st_size;
  m_nMode = status.st_mode & 07777;
  ScratchFiles::NoteLocked(part, fcntl(fd, F_DUPFD_CLOEXEC, 0));
  return true;
}

void CFileJoiner::RemoveUnheldNewFiles(const std::string& destination) {
  const std::string stem = StemWithRoomFor(FileBehind(destination), sizeof kPartSuffix - 1);
  const std::string prefix = stem.substr(stem.rfind('/') + 1) + ".part";
  RemoveUnheldFiles(FolderOfFile(stem), [&prefix](const std::string& name) { return IsNumbered(name, prefix, ""); });
}

std::string CFileJoiner::NewFileBaseName() const { return m_strPart.substr(m_strPart.rfind('/') + 1); }

void CFileJoiner::SyncThen(std::function<void()> recorded) {
  m_copies.Post([this, recorded = std::move(recorded)] {
    if (fdatasync(m_fd) != 0) throw CFileException(m_strName, Reason(errno));
    recorded();
  });
}

void CFileJoiner::Keep() {
  m_cancelled = nullptr;
  // A copy that failed left its range out of what was recorded: the bytes
  // recorded before it are still good.
  try {
    m_copies.Wait([] { return false; });
    m_writeback.Wait([] { return false; });
  } catch (const CFileException&) {
  }
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
  ScratchFiles::Forget(m_strPart);
  m_strPart.clear();
}

bool CFileJoiner::CreateBeside(const std::string& target, std::string* error) {
  const unsigned first = FirstPartNumber();
  const std::string stem = StemWithRoomFor(target, sizeof kPartSuffix - 1);
  for (unsigned attempt = 0; attempt < kPartNameAttempts; ++attempt) {
    char suffix[sizeof kPartSuffix];
    std::snprintf(suffix, sizeof suffix, ".part%04X", (first + attempt) & 0xFFFF);
    const std::string name = stem + suffix;
    const int fd = OpenForWriting(name, O_CREAT | O_EXCL);
    if (fd >= 0) {
      m_fd = fd;
      m_strPart = name;
      ScratchFiles::NoteLocked(name, fcntl(fd, F_DUPFD_CLOEXEC, 0));
      return true;
    }
    if (errno != EEXIST) break;
  }
  if (error) *error = Reason(errno);
  return false;
}

bool CFileJoiner::MoveIn(const std::string& source, int64_t count) {
  if (count <= 0 || !Adopt(source, count)) return false;
  m_nLength = count;
  WriteBack(0, count);
  return true;
}

bool CFileJoiner::AdoptGrowing(const std::string& source) { return Adopt(source, -1); }

bool CFileJoiner::Adopt(const std::string& source, int64_t size) {
  if (m_strPart.empty() || m_nLength != 0 || m_bAdopted) return false;
  const int fd = OpenForWriting(source, 0);
  if (fd < 0) return false;
  struct stat status, part;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || (size >= 0 && status.st_size != size) ||
      fstat(m_fd, &part) != 0 || part.st_dev != status.st_dev) {
    close(fd);
    return false;
  }
  // Renaming over the empty part would have some file systems (ext4) write
  // the whole source out first, on this thread: the part's name is given up
  // and taken back by the rename instead.
  if (unlink(m_strPart.c_str()) != 0) {
    close(fd);
    return false;
  }
  ScratchFiles::Forget(m_strPart);
  close(m_fd);
  m_fd = -1;
  if (!RenameWithoutReplacing(source, m_strPart)) {
    close(fd);
    m_strPart.clear();
    if (CreateBeside(m_strTarget, nullptr)) fchmod(m_fd, m_nMode);
    return false;
  }
  ScratchFiles::Forget(source);
  ScratchFiles::NoteLocked(m_strPart, fcntl(fd, F_DUPFD_CLOEXEC, 0));
  m_fd = fd;
  fchmod(m_fd, m_nMode);
  m_bAdopted = true;
  return true;
}

void CFileJoiner::WriteBack(int64_t from, int64_t count) {
  m_writeback.Post([this, from, count] { StartWriteback(from, count); });
}

void CFileJoiner::CheckCancelled() const {
  if (m_cancelled && m_cancelled()) throw CFileException(m_strName, "cancelled");
}

void CFileJoiner::CopyAt(const std::string& source, int64_t offset, int64_t count, int64_t at) {
  Descriptor from(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (from.Get() < 0) throw CFileException(source, Reason(errno));
  while (count > 0) {
    CheckCancelled();
    const int64_t chunk = count < kChunk ? count : kChunk;
    CopyRange(from.Get(), source, offset, chunk, at);
    StartWriteback(at, chunk);
    offset += chunk;
    at += chunk;
    count -= chunk;
    if (at > m_nLength) m_nLength = at;
  }
}

// A source of TakeIn, open while its chunks are copied; for writing too
// where it may be, so that its bytes can be freed.
class CFileJoiner::Source {
 public:
  explicit Source(const std::string& name) : m_strName(name) {
    m_fd = open(name.c_str(), O_RDWR | O_CLOEXEC);
    if (m_fd < 0) m_fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) throw CFileException(name, Reason(errno));
  }
  ~Source() { close(m_fd); }
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;
  int Fd() const { return m_fd; }
  const std::string& Name() const { return m_strName; }

 private:
  std::string m_strName;
  int m_fd = -1;
};

void CFileJoiner::TakeIn(const std::vector<Range>& ranges) {
  for (const Range& range : ranges) {
    const auto source = std::make_shared<const Source>(range.source);
    for (int64_t done = 0; done < range.count; done += kChunk) {
      const int64_t offset = range.offset + done, at = range.at + done;
      const int64_t count = range.count - done < kChunk ? range.count - done : kChunk;
      m_copies.Post([this, source, offset, count, at] {
        CopyRange(source->Fd(), source->Name(), offset, count, at);
        WriteBack(at, count);
        // The freed pages serve the next chunk: the copy recycles memory
        // instead of taking fresh pages. Only where the file system can.
        fallocate(source->Fd(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset, count);
      });
    }
    if (range.at + range.count > m_nLength) m_nLength = range.at + range.count;
  }
}

void CFileJoiner::WaitForCopies() {
  if (!m_copies.Wait(m_cancelled) || !m_writeback.Wait(m_cancelled)) throw CFileException(m_strName, "cancelled");
}

void CFileJoiner::CopyRange(int from, const std::string& source, int64_t offset, int64_t count, int64_t at) {
  while (count > 0) {
    const int64_t copied = CopyChunk(from, source, offset, count, at);
    offset += copied;
    at += copied;
    count -= copied;
  }
}

int64_t CFileJoiner::CopyChunk(int from, const std::string& source, int64_t offset, int64_t count, int64_t at) {
  while (m_bKernelCopy) {
    off64_t in = offset, out = at;
    const ssize_t n = copy_file_range(from, &in, m_fd, &out, static_cast<size_t>(count), 0);
    if (n > 0) return n;
    if (n == 0) throw CFileException(source, "shorter than expected");
    if (errno == EINTR) continue;
    if (!KernelCopyUnsupported(errno)) throw CFileException(m_strName, Reason(errno));
    m_bKernelCopy = false;
  }
  CopyThroughBuffer(from, source, offset, count, at);
  return count;
}

void CFileJoiner::CopyThroughBuffer(int from, const std::string& source, int64_t offset, int64_t count, int64_t at) {
  std::vector<char> buffer(kBufferSize);
  while (count > 0) {
    const size_t want = static_cast<size_t>(count < static_cast<int64_t>(kBufferSize) ? count : kBufferSize);
    const ssize_t got = pread(from, buffer.data(), want, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw CFileException(source, Reason(errno));
    if (got == 0) throw CFileException(source, "shorter than expected");
    size_t done = 0;
    while (done < static_cast<size_t>(got)) {
      const ssize_t n = pwrite(m_fd, buffer.data() + done, static_cast<size_t>(got) - done, at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw CFileException(m_strName, Reason(n < 0 ? errno : ENOSPC));
      done += static_cast<size_t>(n);
      at += n;
    }
    offset += got;
    count -= got;
  }
}

// Only a hint: a failure here shows again in the sync.
void CFileJoiner::StartWriteback(int64_t from, int64_t count) {
  sync_file_range(m_fd, from, count, SYNC_FILE_RANGE_WRITE);
}

void CFileJoiner::Commit() {
  WaitForCopies();
  const int fd = m_fd;
  m_fd = -1;
  if (fd < 0) throw CFileException(m_strName, Reason(EBADF));
  if (fsync(fd) != 0) {
    const int error = errno;
    close(fd);
    throw CFileException(m_strName, Reason(error));
  }
  if (close(fd) != 0 && errno != EINTR) throw CFileException(m_strName, Reason(errno));
  if (rename(m_strPart.c_str(), m_strTarget.c_str()) != 0) throw CFileException(m_strName, Reason(errno));
  ScratchFiles::Forget(m_strPart);
  m_strPart.clear();
  SyncFolder(FolderOfFile(m_strTarget));
}

void CFileJoiner::Abort() {
  m_copies.Stop();
  m_writeback.Stop();
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
  if (!m_strPart.empty()) {
    unlink(m_strPart.c_str());
    ScratchFiles::Forget(m_strPart);
  }
  m_strPart.clear();
}

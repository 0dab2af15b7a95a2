#include "platform/files/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files/file.h"

namespace {

void WriteAll(int fd, const std::string& contents, const std::string& name) {
  size_t done = 0;
  while (done < contents.size()) {
    const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw CFileException(name, std::strerror(n < 0 ? errno : ENOSPC));
    done += static_cast<size_t>(n);
  }
}

}  // namespace

std::optional<std::string> ReadSmallFile(const std::string& path, size_t maxBytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string contents;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || contents.size() + static_cast<size_t>(n) > maxBytes) {
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    contents.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return contents;
}

void ReplaceSmallFile(const std::string& path, const std::string& contents) {
  const std::string fresh = path + "~";
  const int fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw CFileException(path, std::strerror(errno));
  try {
    WriteAll(fd, contents, path);
    if (fsync(fd) != 0) throw CFileException(path, std::strerror(errno));
  } catch (const CFileException&) {
    close(fd);
    unlink(fresh.c_str());
    throw;
  }
  close(fd);
  if (rename(fresh.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(fresh.c_str());
    throw CFileException(path, std::strerror(error));
  }
  const int folder = open(FolderOfFile(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
}

void RemoveFileIfPresent(const std::string& path) { unlink(path.c_str()); }

int64_t RegularFileLength(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return -1;
  return status.st_size;
}

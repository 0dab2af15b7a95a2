#include "platform/files/orphan_pieces.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <ctime>

namespace {

constexpr time_t kCreationGraceSeconds = 2;


// Removes the file when nobody locks it. The lock is taken on the file
// opened, and the name must still stand for that file when it goes.
void RemoveIfOrphan(int folderFd, const std::string& name) {
  const int fd = openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat opened, named;
  const bool young = fstat(fd, &opened) == 0 && opened.st_size == 0 &&
                     time(nullptr) - opened.st_mtime < kCreationGraceSeconds;
  if (S_ISREG(opened.st_mode) && opened.st_uid == geteuid() && !young && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
      fstatat(folderFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == opened.st_dev &&
      named.st_ino == opened.st_ino)
    unlinkat(folderFd, name.c_str(), 0);
  close(fd);
}

}  // namespace

bool IsNumbered(const std::string& name, const std::string& stem, const std::string& suffix) {
  if (name.size() != stem.size() + 4 + suffix.size() || name.compare(0, stem.size(), stem) != 0) return false;
  for (size_t i = stem.size(); i < stem.size() + 4; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(name[i])) || std::islower(static_cast<unsigned char>(name[i])))
      return false;
  return name.compare(stem.size() + 4, suffix.size(), suffix) == 0;
}

void RemoveUnheldFiles(const std::string& folder, const std::function<bool(const std::string&)>& matches) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (matches(name)) RemoveIfOrphan(dirfd(dir), name);
  }
  closedir(dir);
}

void RemoveOrphanPieces(const std::string& folder, const std::string& prefix) {
  RemoveUnheldFiles(folder, [stem = prefix.substr(0, 3)](const std::string& name) {
    return IsNumbered(name, stem, ".TMP");
  });
}

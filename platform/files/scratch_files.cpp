#include "platform/files/scratch_files.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>

namespace {

struct Identity {
  dev_t device;
  ino_t inode;
  int lock = -1;
};

std::timed_mutex g_lock;
std::map<std::string, Identity>& Noted() {
  static auto* noted = new std::map<std::string, Identity>;  // outlives every thread that uses it
  return *noted;
}

bool IdentityOf(const std::string& path, Identity* identity) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0) return false;
  *identity = {status.st_dev, status.st_ino};
  return true;
}

}  // namespace

void ScratchFiles::Note(const std::string& path) {
  Identity identity;
  if (!IdentityOf(path, &identity)) return;
  std::lock_guard guard(g_lock);
  Identity& noted = Noted()[path];
  if (noted.lock >= 0) close(noted.lock);
  noted = identity;
}

void ScratchFiles::NoteLocked(const std::string& path, int fd) {
  flock(fd, LOCK_EX | LOCK_NB);
  struct stat status;
  if (fstat(fd, &status) != 0) {
    close(fd);
    return;
  }
  std::lock_guard guard(g_lock);
  Identity& noted = Noted()[path];
  if (noted.lock >= 0) close(noted.lock);
  noted = {status.st_dev, status.st_ino, fd};
}

void ScratchFiles::Forget(const std::string& path) {
  std::lock_guard guard(g_lock);
  const auto noted = Noted().find(path);
  if (noted == Noted().end()) return;
  if (noted->second.lock >= 0) close(noted->second.lock);
  Noted().erase(noted);
}

void ScratchFiles::RemoveAll() {
  std::unique_lock guard(g_lock, std::chrono::milliseconds(200));
  if (!guard.owns_lock()) return;
  for (const auto& [path, noted] : Noted()) {
    Identity now;
    if (IdentityOf(path, &now) && now.device == noted.device && now.inode == noted.inode) unlink(path.c_str());
    if (noted.lock >= 0) close(noted.lock);
  }
  Noted().clear();
}

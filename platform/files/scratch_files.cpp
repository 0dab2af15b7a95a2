#include "platform/files/scratch_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>

namespace {

struct Identity {
  dev_t device;
  ino_t inode;
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
  Noted()[path] = identity;
}

void ScratchFiles::Forget(const std::string& path) {
  std::lock_guard guard(g_lock);
  Noted().erase(path);
}

void ScratchFiles::RemoveAll() {
  std::unique_lock guard(g_lock, std::chrono::milliseconds(200));
  if (!guard.owns_lock()) return;
  for (const auto& [path, noted] : Noted()) {
    Identity now;
    if (IdentityOf(path, &now) && now.device == noted.device && now.inode == noted.inode) unlink(path.c_str());
  }
  Noted().clear();
}

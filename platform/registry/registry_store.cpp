#include "platform/registry/registry_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/registry/registry_file_format.h"
#include "platform/registry/registry_lock.h"

namespace {

LONG ErrorFromErrno(int error) {
  if (error == EACCES || error == EPERM || error == EROFS) return ERROR_ACCESS_DENIED;
  return ERROR_CANTWRITE;
}

std::string HomeFolder() {
  const char* home = getenv("HOME");
  if (home && *home) return home;
  if (passwd* pw = getpwuid(getuid())) return pw->pw_dir;
  return ".";
}

// mkdir -p; returns 0 or the errno of the failure.
int MakeFolders(const std::string& folder) {
  for (size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos < folder.size() && folder[pos] != '/') continue;
    std::string part = folder.substr(0, pos);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

// 0, or the errno of the failure.
int ReadWholeFile(const std::string& path, std::string* text) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  text->clear();
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_size > 0) text->reserve(static_cast<size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      close(fd);
      return error;
    }
    if (n == 0) break;
    text->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return 0;
}

int WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    done += static_cast<size_t>(n);
  }
  return 0;
}

// 0, or the errno of the failure; the temporary file is gone on failure.
int ReplaceFile(const std::string& path, const std::string& text) {
  std::string temp = path + ".new";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  int error = WriteAll(fd, text);
  if (!error && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && !error) error = errno;
  if (!error && rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error) unlink(temp.c_str());
  return error;
}

}  // namespace

RegistryStore::RegistryStore(std::string rootName) : m_rootName(std::move(rootName)) {}

std::string RegistryStore::Folder() {
  const char* folder = getenv("KESTRION_REGISTRY");
  if (folder && *folder) return folder;
  const char* config = getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/kestrion/registry";
  return HomeFolder() + "/.config/kestrion/registry";
}

LONG RegistryStore::Read(RegistryTree* tree) const { return ReadFrom(Folder(), tree); }

LONG RegistryStore::Modify(const Change& change) const {
  std::string folder = Folder();
  if (int error = MakeFolders(folder)) return ErrorFromErrno(error);
  RegistryLock lock;
  if (int error = lock.Acquire(folder + "/.lock")) return ErrorFromErrno(error);
  RegistryTree tree;
  if (LONG status = ReadFrom(folder, &tree); status != ERROR_SUCCESS) return status;
  bool changed = false;
  LONG status = change(tree, &changed);
  if (status != ERROR_SUCCESS || !changed) return status;
  return WriteTo(folder, tree);
}

LONG RegistryStore::ReadFrom(const std::string& folder, RegistryTree* tree) const {
  std::string text;
  int error = ReadWholeFile(folder + "/" + m_rootName + ".reg", &text);
  if (error == ENOENT || error == ENOTDIR) {
    *tree = RegistryTree();
    return ERROR_SUCCESS;
  }
  if (error) return ERROR_ACCESS_DENIED;
  *tree = RegistryFileFormat::Parse(text, m_rootName);
  return ERROR_SUCCESS;
}

LONG RegistryStore::WriteTo(const std::string& folder, const RegistryTree& tree) const {
  std::string text = RegistryFileFormat::Write(tree, m_rootName);
  if (int error = ReplaceFile(folder + "/" + m_rootName + ".reg", text)) return ErrorFromErrno(error);
  return ERROR_SUCCESS;
}

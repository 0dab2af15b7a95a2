#include "tests/support/small_disk.h"

#include <cstdlib>
#include <filesystem>

namespace testenv {

SmallDisk::SmallDisk(const std::string& path, const std::string& size) : m_path(path) {
  std::filesystem::create_directories(path);
  m_ok = std::system(("mount -t tmpfs -o size=" + size + " tmpfs '" + path + "' 2>/dev/null").c_str()) == 0;
}

SmallDisk::~SmallDisk() {
  if (m_ok) std::system(("umount '" + m_path + "'").c_str());
}

}  // namespace testenv

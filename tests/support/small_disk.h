#pragma once

#include <string>

namespace testenv {

// A small tmpfs mounted on a folder while it lives: a disk that fills up.
// Mounting needs root; ok() says whether it worked.
class SmallDisk {
 public:
  SmallDisk(const std::string& path, const std::string& size);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool ok() const { return m_ok; }

 private:
  std::string m_path;
  bool m_ok = false;
};

}  // namespace testenv

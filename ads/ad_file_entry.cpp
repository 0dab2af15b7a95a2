#include "ads/ad_file_entry.h"

std::string CADFileEntry::FileName() const {
  const size_t slash = m_strURL.rfind('/');
  return slash == std::string::npos ? std::string() : m_strURL.substr(slash + 1);
}

bool CADFileEntry::IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

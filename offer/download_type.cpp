#include "offer/download_type.h"

#include "platform/registry/registry.h"

namespace {

constexpr char kZipType[] = "application/x-zip-compressed";
constexpr char kProgramType[] = "application/x-msdownload";
constexpr char kMimeDatabaseKey[] = "MIME\\Database\\Content Type\\";

// A type the browser has a viewer for: its MIME-database key holds a CLSID.
bool HasMimeClsid(const std::string& type) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, kMimeDatabaseKey + type, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  const bool found = RegQueryValueEx(key, "CLSID", nullptr, nullptr, &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

}  // namespace

bool MayBeDownloadType(const std::string& type) {
  if (type.empty()) return true;
  if (HasMimeClsid(type)) return false;
  return type == kZipType || type == kProgramType;
}

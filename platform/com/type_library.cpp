#include "platform/com/type_library.h"

#include <initializer_list>
#include <utility>
#include <vector>

#include "platform/base/failure.h"
#include "platform/registry/registry.h"

namespace {

constexpr char kPlatformKey[] = "0\\linux";

std::string VersionText(uint16_t major, uint16_t minor) { return Format("%x.%x", major, minor); }

std::string LibraryKeyPath(const GUID& libid) { return "TypeLib\\" + StringFromGUID(libid); }

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Creates the key (and those above it) and sets the values; "" is the
// default value.
LONG SetKeyStrings(const std::string& path, std::initializer_list<std::pair<const char*, std::string>> values) {
  HKEY key = nullptr;
  LONG error = RegCreateKeyEx(HKEY_CLASSES_ROOT, path, &key);
  if (error != ERROR_SUCCESS) return error;
  for (auto value = values.begin(); error == ERROR_SUCCESS && value != values.end(); ++value)
    error = RegSetString(key, value->first, value->second);
  RegCloseKey(key);
  return error;
}

LONG RegisterInterface(const TypeLibInterface& entry, const std::string& libid, const std::string& version) {
  const std::string path = "Interface\\" + StringFromGUID(entry.iid);
  LONG error = SetKeyStrings(path, {{"", entry.name}});
  if (error != ERROR_SUCCESS) return error;
  return SetKeyStrings(path + "\\TypeLib", {{"", libid}, {"Version", version}});
}

std::vector<std::string> SubKeyNames(HKEY key) {
  std::vector<std::string> names;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD size = sizeof name;
    if (RegEnumKeyEx(key, index, name, &size) != ERROR_SUCCESS) return names;
    names.push_back(name);
  }
}

bool IsEmptyKey(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path, &key) != ERROR_SUCCESS) return false;
  const bool empty = SubKeyNames(key).empty();
  RegCloseKey(key);
  return empty;
}

void RemoveInterfacesOf(const std::string& libid, const std::string& version) {
  HKEY interfaces = nullptr;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, "Interface", &interfaces) != ERROR_SUCCESS) return;
  for (const std::string& iid : SubKeyNames(interfaces)) {
    HKEY typeLib = nullptr;
    if (RegOpenKeyEx(interfaces, iid + "\\TypeLib", &typeLib) != ERROR_SUCCESS) continue;
    std::string owner, ownerVersion;
    const bool ours = RegGetString(typeLib, "", &owner) && owner == libid &&
                      RegGetString(typeLib, "Version", &ownerVersion) && ownerVersion == version;
    RegCloseKey(typeLib);
    if (ours) RegDeleteKey(interfaces, iid);
  }
  RegCloseKey(interfaces);
}

}  // namespace

HRESULT RegisterTypeLib(const TypeLibrary& library, const std::string& path) {
  const std::string libid = StringFromGUID(library.libid);
  const std::string version = VersionText(library.majorVersion, library.minorVersion);
  const std::string versionKey = LibraryKeyPath(library.libid) + "\\" + version;
  LONG error = SetKeyStrings(versionKey, {{"", library.helpString}});
  if (error == ERROR_SUCCESS) error = SetKeyStrings(versionKey + "\\" + kPlatformKey, {{"", path}});
  if (error == ERROR_SUCCESS) error = SetKeyStrings(versionKey + "\\FLAGS", {{"", "0"}});
  if (error == ERROR_SUCCESS) error = SetKeyStrings(versionKey + "\\HELPDIR", {{"", FolderOf(path)}});
  for (size_t i = 0; error == ERROR_SUCCESS && i < library.interfaces.size(); ++i)
    error = RegisterInterface(library.interfaces[i], libid, version);
  return error == ERROR_SUCCESS ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT UnRegisterTypeLib(const GUID& libid, uint16_t majorVersion, uint16_t minorVersion) {
  const std::string version = VersionText(majorVersion, minorVersion);
  const std::string libraryKey = LibraryKeyPath(libid);
  RemoveInterfacesOf(StringFromGUID(libid), version);
  RegDeleteKey(HKEY_CLASSES_ROOT, libraryKey + "\\" + version);
  if (IsEmptyKey(libraryKey)) RegDeleteKey(HKEY_CLASSES_ROOT, libraryKey);
  return S_OK;
}

#include "tools/installation.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "platform/com/guid.h"
#include "platform/com/server_library.h"
#include "platform/com/type_library.h"
#include "platform/net/tls_channel.h"
#include "platform/process/run_and_wait.h"
#include "platform/registry/registry.h"
#include "tools/native_host_manifests.h"
#include "tools/tool_output.h"

namespace {

constexpr char kProgramName[] = "kestrion";
constexpr const char* kLibraryNames[] = {"ksie.so", "ksns.so"};
constexpr char kProgramKey[] = "SOFTWARE\\Morvane\\Kestrion";
constexpr char kBannerFolder[] = "ADFiles";
constexpr char kInstallConfig[] = "Install.CFG";
// The browsers' extension hands their downloads to it.
constexpr char kBrowserHostName[] = "kestrion-browser-host";

struct ContentType {
  const char* extension;
  const char* type;
};
constexpr ContentType kContentTypes[] = {
    {".zip", "application/x-zip-compressed"},
    {".exe", "application/x-msdownload"},
    {".htm", "text/html"},
};

// Keys a browser would have made: the hook is written beneath them.
struct BrowserKey {
  HKEY root;
  const char* path;
};
const BrowserKey kBrowserKeys[] = {
    {HKEY_CLASSES_ROOT, "PROTOCOLS\\Name-Space Handler\\http"},
    {HKEY_CLASSES_ROOT, "PROTOCOLS\\Name-Space Handler\\ftp"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer"},
};
// Made only while https is allowed: kestrion's COMMAND START hooks it then.
const BrowserKey kHttpsBrowserKey = {HKEY_CLASSES_ROOT, "PROTOCOLS\\Name-Space Handler\\https"};

std::string Canonical(const std::string& path) {
  std::error_code error;
  auto canonical = std::filesystem::weakly_canonical(path, error);
  return error ? path : canonical.string();
}

bool CreateKey(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegCreateKeyEx(root, path, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::optional<std::string> ReadString(HKEY root, const std::string& path, const std::string& name) {
  std::string text;
  return RegGetString(root, path, name, &text) ? std::optional(text) : std::nullopt;
}

std::vector<std::string> SubKeyNames(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyEx(root, path, &key) != ERROR_SUCCESS) return names;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD size = sizeof name;
    if (RegEnumKeyEx(key, index, name, &size) != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  RegCloseKey(key);
  return names;
}

bool IsEmptyKey(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(root, path, &key) != ERROR_SUCCESS) return false;
  char name[256];
  DWORD size = sizeof name;
  DWORD valueSize = sizeof name;
  const bool empty = RegEnumKeyEx(key, 0, name, &size) == ERROR_NO_MORE_ITEMS &&
                     RegEnumValue(key, 0, name, &valueSize, nullptr, nullptr, nullptr) == ERROR_NO_MORE_ITEMS;
  RegCloseKey(key);
  return empty;
}

// Deletes the key when it is empty, then each key above it that this
// leaves empty.
void DeleteEmptyKeys(HKEY root, std::string path) {
  while (!path.empty() && IsEmptyKey(root, path)) {
    RegDeleteKey(root, path);
    const size_t slash = path.rfind('\\');
    path = slash == std::string::npos ? std::string() : path.substr(0, slash);
  }
}

void RemoveContentTypes() {
  for (const ContentType& entry : kContentTypes) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, entry.extension, &key) != ERROR_SUCCESS) continue;
    std::string type;
    if (RegGetString(key, "Content Type", &type) && type == entry.type) RegDeleteValue(key, "Content Type");
    RegCloseKey(key);
    DeleteEmptyKeys(HKEY_CLASSES_ROOT, entry.extension);
  }
}

// A class a library serves, found by its registered path.
struct ServedClass {
  std::string clsid;  // "{...}"
  std::vector<std::string> progIds;
  std::optional<std::string> libid;
};

std::vector<ServedClass> ClassesServedBy(const std::string& libraryPath) {
  std::vector<ServedClass> classes;
  for (const std::string& clsid : SubKeyNames(HKEY_CLASSES_ROOT, "CLSID")) {
    const std::string key = "CLSID\\" + clsid;
    auto server = ReadString(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "");
    if (!server || Canonical(*server) != libraryPath) continue;
    ServedClass served{clsid, {}, ReadString(HKEY_CLASSES_ROOT, key + "\\TypeLib", "")};
    for (const char* name : {"ProgID", "VersionIndependentProgID"})
      if (auto progId = ReadString(HKEY_CLASSES_ROOT, key + "\\" + name, "")) served.progIds.push_back(*progId);
    classes.push_back(std::move(served));
  }
  return classes;
}

// What DllRegisterServer wrote, for a library that cannot remove it itself.
void RemoveClassKeys(const ServedClass& served) {
  for (const std::string& progId : served.progIds)
    if (ReadString(HKEY_CLASSES_ROOT, progId + "\\CLSID", "") == served.clsid)
      RegDeleteKey(HKEY_CLASSES_ROOT, progId);
  RegDeleteKey(HKEY_CLASSES_ROOT, "CLSID\\" + served.clsid);
}

// Every version of the type library that was registered from the path.
void RemoveTypeLibraries(const std::string& libid, const std::string& libraryPath) {
  auto guid = GUIDFromString(libid);
  if (!guid) return;
  for (const std::string& version : SubKeyNames(HKEY_CLASSES_ROOT, "TypeLib\\" + libid)) {
    auto path = ReadString(HKEY_CLASSES_ROOT, "TypeLib\\" + libid + "\\" + version + "\\0\\linux", "");
    unsigned major = 0, minor = 0;
    if (!path || Canonical(*path) != libraryPath || std::sscanf(version.c_str(), "%x.%x", &major, &minor) != 2)
      continue;
    UnRegisterTypeLib(*guid, static_cast<uint16_t>(major), static_cast<uint16_t>(minor));
  }
}

void UnregisterLibrary(const std::string& path) {
  const std::string libraryPath = Canonical(path);
  const std::vector<ServedClass> classes = ClassesServedBy(libraryPath);
  std::string error;
  auto library = std::filesystem::exists(libraryPath) ? ServerLibrary::Load(libraryPath, &error) : nullptr;
  if (library && library->Exports("DllUnregisterServer")) {
    library->DllUnregisterServer();
  } else {
    for (const ServedClass& served : classes) RemoveClassKeys(served);
  }
  for (const ServedClass& served : classes)
    if (served.libid) RemoveTypeLibraries(*served.libid, libraryPath);
}

}  // namespace

Installation::Installation(std::string programDir) : m_programDir(std::move(programDir)) {}

std::string Installation::ExeLocationOf(const std::string& programPath) {
  return programPath.find(' ') == std::string::npos ? programPath : "\"" + programPath + "\"";
}

std::string Installation::Scramble(const std::string& text) {
  std::string scrambled = text;
  for (char& c : scrambled) c = static_cast<char>(static_cast<unsigned char>(c) + 2);
  return scrambled;
}

bool Installation::Install(const std::string& adSite, bool https) const {
  for (const char* name : {kProgramName, kLibraryNames[0], kLibraryNames[1]}) {
    if (!std::filesystem::exists(PathOf(name))) {
      std::fprintf(stderr, "kestrion-install: %s is missing\n", PathOf(name).c_str());
      return false;
    }
  }
  https = https && TlsAvailable();
  if (!WriteProgramSettings(adSite, https) || !WriteBannerFiles(adSite)) return false;
  for (const ContentType& entry : kContentTypes) {
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CLASSES_ROOT, entry.extension, &key) != ERROR_SUCCESS) return false;
    RegSetString(key, "Content Type", entry.type);
    RegCloseKey(key);
  }
  for (const BrowserKey& browserKey : kBrowserKeys) CreateKey(browserKey.root, browserKey.path);
  if (https) {
    CreateKey(kHttpsBrowserKey.root, kHttpsBrowserKey.path);
  } else {
    RegDeleteKey(kHttpsBrowserKey.root, std::string(kHttpsBrowserKey.path) + "\\ZKS");
    DeleteEmptyKeys(kHttpsBrowserKey.root, kHttpsBrowserKey.path);
  }
  for (const char* library : kLibraryNames)
    if (!RegisterLibrary(library)) return false;
  return RunRegistrationCommand("START") && WriteBrowserManifests();
}

bool Installation::Remove() const {
  bool done = true;
  if (std::filesystem::exists(PathOf(kProgramName))) done = RunRegistrationCommand("STOP");
  for (const char* library : kLibraryNames) UnregisterLibrary(PathOf(library));
  NativeHostManifests::ForThisUser().Remove(PathOf(kBrowserHostName));
  RemoveContentTypes();
  RegDeleteKey(HKEY_LOCAL_MACHINE, kProgramKey);
  DeleteEmptyKeys(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane");
  for (const BrowserKey& browserKey : kBrowserKeys) DeleteEmptyKeys(browserKey.root, browserKey.path);
  DeleteEmptyKeys(kHttpsBrowserKey.root, kHttpsBrowserKey.path);
  // Registering made these when they were not there.
  for (const char* sharedKey : {"CLSID", "TypeLib", "Interface"}) DeleteEmptyKeys(HKEY_CLASSES_ROOT, sharedKey);
  std::error_code error;
  std::filesystem::remove(PathOf(kInstallConfig), error);
  std::filesystem::remove_all(PathOf(kBannerFolder), error);
  return done;
}

bool Installation::WriteProgramSettings(const std::string& adSite, bool https) const {
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, kProgramKey, &key) != ERROR_SUCCESS) {
    std::fprintf(stderr, "kestrion-install: cannot write the registry key %s\n", kProgramKey);
    return false;
  }
  RegSetString(key, "EXELOCATION", ExeLocationOf(PathOf(kProgramName)));
  RegSetDword(key, "Details", 1);
  // The first run takes AdSite from Install.CFG.
  RegSetDword(key, "FT", 1);
  RegSetDword(key, "LastUpdateTime", 0);
  RegSetDword(key, "AllowUpdate", 1);
  RegSetString(key, "AdSite", Scramble(adSite));
  RegSetDword(key, "AllowHTTPS", https ? 1 : 0);
  RegCloseKey(key);
  return CreateKey(HKEY_LOCAL_MACHINE, std::string(kProgramKey) + "\\ADFiles");
}

bool Installation::WriteBannerFiles(const std::string& adSite) const {
  std::error_code error;
  std::filesystem::create_directories(PathOf(kBannerFolder), error);
  std::ofstream config(PathOf(kInstallConfig), std::ios::trunc);
  config << Scramble(adSite) << '\n';
  config.close();
  if (!error && config) return true;
  std::fprintf(stderr, "kestrion-install: cannot write %s and %s\n", PathOf(kBannerFolder).c_str(),
               PathOf(kInstallConfig).c_str());
  return false;
}

// Only a program folder with the host gets the browsers' manifests.
bool Installation::WriteBrowserManifests() const {
  if (!std::filesystem::exists(PathOf(kBrowserHostName))) return true;
  return NativeHostManifests::ForThisUser().Write(PathOf(kBrowserHostName));
}

bool Installation::RegisterLibrary(const std::string& name) const {
  std::string error;
  auto library = ServerLibrary::Load(PathOf(name), &error);
  if (!library) {
    std::fprintf(stderr, "kestrion-install: %s\n", error.c_str());
    return false;
  }
  const HRESULT hr = library->DllRegisterServer();
  if (FAILED(hr))
    std::fprintf(stderr, "kestrion-install: registering %s failed: %s\n", name.c_str(), StatusText(hr).c_str());
  return SUCCEEDED(hr);
}

bool Installation::RunRegistrationCommand(const char* word) const {
  const int status = RunAndWait(PathOf(kProgramName), {"COMMAND", word});
  if (status != 0) std::fprintf(stderr, "kestrion-install: kestrion COMMAND %s ended with %d\n", word, status);
  return status == 0;
}

#include "tests/support/ad_install.h"

#include <cstdlib>
#include <filesystem>
#include <set>
#include <vector>

#include "ads/ad_messages.h"
#include "engine/engine_messages.h"
#include "platform/registry/registry.h"
#include "tests/support/test_env.h"

namespace testenv {

namespace {

const std::string kADFilesKey = std::string(kProgramKey) + "\\ADFiles";

// Opens (creating) a key; closed when it goes.
class Key {
 public:
  explicit Key(const std::string& path) { RegCreateKeyEx(HKEY_LOCAL_MACHINE, path, &m_key); }
  ~Key() {
    if (m_key) RegCloseKey(m_key);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY Get() const { return m_key; }

 private:
  HKEY m_key = nullptr;
};

}  // namespace

AdInstall::AdInstall(const std::string& root) : m_root(root) {
  std::filesystem::create_directories(ADFilesDir());
  std::filesystem::create_directories(RegistryDir());
  setenv("KESTRION_REGISTRY", RegistryDir().c_str(), 1);
  SetString("EXELOCATION", ProgramDir() + "/kestrion");
  SetNumber("LastUpdateTime", 0);
  SetNumber("FT", 0);
  Key files(kADFilesKey);
}

AdInstall::~AdInstall() { unsetenv("KESTRION_REGISTRY"); }

void AdInstall::SetString(const std::string& name, const std::string& text) {
  RegSetString(Key(kProgramKey).Get(), name, text);
}

void AdInstall::SetNumber(const std::string& name, unsigned value) {
  RegSetDword(Key(kProgramKey).Get(), name, value);
}

void AdInstall::Remove(const std::string& name) { RegDeleteValue(Key(kProgramKey).Get(), name); }

std::string AdInstall::Value(const std::string& name) const {
  Key key(kProgramKey);
  std::string text;
  if (RegGetString(key.Get(), name, &text)) return text;
  DWORD number = 0;
  if (RegGetDword(key.Get(), name, &number)) return std::to_string(number);
  return "";
}

void AdInstall::RemoveProgramKey() { RegDeleteKey(HKEY_LOCAL_MACHINE, kProgramKey); }

void AdInstall::SetAdSite(const std::string& url) { SetString("AdSite", ScrambleAdSite(url)); }

void AdInstall::WriteInstallConfig(const std::string& text) { WriteFile(ProgramDir() + "/Install.CFG", text); }

void AdInstall::Register(const std::string& path, const std::string& link) {
  RegSetString(Key(kADFilesKey).Get(), path, link);
}

std::map<std::string, std::string> AdInstall::Registered() const {
  std::map<std::string, std::string> registered;
  Key files(kADFilesKey);
  for (DWORD index = 0;; ++index) {
    char name[1024];
    DWORD nameSize = sizeof name;
    uint8_t data[1024];
    DWORD dataSize = sizeof data;
    if (RegEnumValue(files.Get(), index, name, &nameSize, nullptr, data, &dataSize) != ERROR_SUCCESS) break;
    registered[std::string(name, nameSize)] = std::string(reinterpret_cast<const char*>(data));
  }
  return registered;
}

std::string ScrambleAdSite(const std::string& url) {
  std::string scrambled = url;
  for (char& c : scrambled) c = static_cast<char>(static_cast<unsigned char>(c) + 2);
  return scrambled;
}

std::vector<std::string> DownloadMessages(const std::string& logPath) {
  using namespace ad_messages;
  const std::set<std::string> updaters = {kThreadNotCreated,   kMainKeyNotOpened,      kExeLocationNotRead,
                                          kExeLocationEmpty,   kExeLocationInvalid,    kAdSiteNotRead,
                                          kAdSiteEmpty,        kLastUpdateTimeNotRead, kMissingInstallConfig,
                                          kADFilesKeyNotOpened};
  std::vector<std::string> messages;
  for (const std::string& line : LogLinesOfKind(logPath, "message")) {
    std::string text = JsonString(line, "text");
    if (!updaters.count(text)) messages.push_back(std::move(text));
  }
  return messages;
}

}  // namespace testenv

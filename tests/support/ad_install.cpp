#include "tests/support/ad_install.h"

#include <cstdlib>
#include <filesystem>
#include <set>

#include "ads/ad_messages.h"
#include "engine/engine_messages.h"
#include "platform/registry/registry.h"
#include "tests/support/test_env.h"

namespace testenv {

namespace {

const std::string kADFilesKey = std::string(kProgramKey) + "\\ADFiles";

// The key at this path, created when missing, open while the object lives.
class Key {
 public:
  explicit Key(const std::string& path) { RegCreateKeyEx(HKEY_LOCAL_MACHINE, path, &m_key); }
  ~Key() { RegCloseKey(m_key); }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  operator HKEY() const { return m_key; }

 private:
  HKEY m_key = nullptr;
};

}  // namespace

AdInstall::AdInstall(const std::string& root) : m_root(root) {
  if (const char* saved = getenv("KESTRION_REGISTRY")) m_savedRegistry = saved;
  setenv("KESTRION_REGISTRY", RegistryDir().c_str(), 1);
  std::filesystem::create_directories(ADFilesDir());
  SetString("EXELOCATION", ProgramDir() + "/kestrion");
  SetNumber("LastUpdateTime", 0);
  SetNumber("FT", 0);
  Key files(kADFilesKey);
}

AdInstall::~AdInstall() {
  if (m_savedRegistry.empty())
    unsetenv("KESTRION_REGISTRY");
  else
    setenv("KESTRION_REGISTRY", m_savedRegistry.c_str(), 1);
}

void AdInstall::SetString(const std::string& name, const std::string& text) {
  RegSetString(Key(kProgramKey), name, text);
}

void AdInstall::SetNumber(const std::string& name, unsigned value) { RegSetDword(Key(kProgramKey), name, value); }

void AdInstall::Remove(const std::string& name) { RegDeleteValue(Key(kProgramKey), name); }

std::string AdInstall::Value(const std::string& name) const {
  Key key(kProgramKey);
  std::string text;
  DWORD number = 0;
  if (RegGetDword(key, name, &number)) return std::to_string(number);
  return RegGetString(key, name, &text) ? text : "";
}

void AdInstall::RemoveProgramKey() { RegDeleteKey(HKEY_LOCAL_MACHINE, kProgramKey); }

void AdInstall::SetAdSite(const std::string& url) { SetString("AdSite", ScrambleAdSite(url)); }

void AdInstall::WriteInstallConfig(const std::string& text) { WriteFile(ProgramDir() + "/Install.CFG", text); }

void AdInstall::Register(const std::string& path, const std::string& link) {
  RegSetString(Key(kADFilesKey), path, link);
}

std::map<std::string, std::string> AdInstall::Registered() const {
  std::map<std::string, std::string> registered;
  Key files(kADFilesKey);
  char name[1024];
  uint8_t data[1024];
  for (DWORD index = 0;; ++index) {
    DWORD nameSize = sizeof name, dataSize = sizeof data;
    if (RegEnumValue(files, index, name, &nameSize, nullptr, data, &dataSize) != ERROR_SUCCESS) break;
    registered[std::string(name, nameSize)] = reinterpret_cast<const char*>(data);
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
  const std::set<std::string> updaters = {
      kThreadNotCreated, kMainKeyNotOpened,      kExeLocationNotRead,   kExeLocationEmpty,   kExeLocationInvalid,
      kAdSiteNotRead,    kLastUpdateTimeNotRead, kMissingInstallConfig, kADFilesKeyNotOpened, kAdSiteEmpty};
  std::vector<std::string> messages;
  for (const std::string& line : LogLinesOfKind(logPath, "message")) {
    std::string text = JsonString(line, "text");
    if (!updaters.count(text)) messages.push_back(std::move(text));
  }
  return messages;
}

}  // namespace testenv

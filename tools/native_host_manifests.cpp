#include "tools/native_host_manifests.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "browser/json_object.h"

namespace {

// The name the extension asks for; each manifest's file is named after it.
constexpr char kHostName[] = "com.morvane.kestrion";
constexpr char kDescription[] = "Kestrion takes over the browser's downloads";
// The extension's ID in Chromium, fixed by the key in its manifest, and its
// add-on id in Firefox.
constexpr char kChromiumOrigin[] = "chrome-extension://ajeoiaellgfnnpfdikhcbfepppcmnbjl/";
constexpr char kFirefoxId[] = "kestrion@morvane.com";

std::string Manifest(const std::string& hostPath, const char* allowedKey, const std::string& allowed) {
  return "{\n  \"name\": " + JsonQuoted(kHostName) + ",\n  \"description\": " + JsonQuoted(kDescription) +
         ",\n  \"path\": " + JsonQuoted(hostPath) + ",\n  \"type\": \"stdio\",\n  \"" + allowedKey + "\": [" +
         JsonQuoted(allowed) + "]\n}\n";
}

std::string EnvironmentOrEmpty(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string ReadAll(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

NativeHostManifests::NativeHostManifests(std::string home, const std::string& configHome)
    : m_home(std::move(home)), m_configHome(configHome.empty() ? m_home + "/.config" : configHome) {}

NativeHostManifests NativeHostManifests::ForThisUser() {
  return NativeHostManifests(EnvironmentOrEmpty("HOME"), EnvironmentOrEmpty("XDG_CONFIG_HOME"));
}

std::vector<std::pair<std::string, std::string>> NativeHostManifests::Files(const std::string& hostPath) const {
  const std::string file = std::string("/") + kHostName + ".json";
  const std::string chromium = Manifest(hostPath, "allowed_origins", kChromiumOrigin);
  return {{m_configHome + "/chromium/NativeMessagingHosts" + file, chromium},
          {m_configHome + "/google-chrome/NativeMessagingHosts" + file, chromium},
          {m_home + "/.mozilla/native-messaging-hosts" + file, Manifest(hostPath, "allowed_extensions", kFirefoxId)}};
}

bool NativeHostManifests::Write(const std::string& hostPath) const {
  if (m_home.empty()) {
    std::fprintf(stderr, "kestrion-install: HOME is not set, so no browser can be told of the host\n");
    return false;
  }
  for (const auto& [path, text] : Files(hostPath)) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    std::ofstream file(path, std::ios::trunc);
    file << text;
    file.close();
    if (error || !file) {
      std::fprintf(stderr, "kestrion-install: cannot write %s\n", path.c_str());
      return false;
    }
  }
  return true;
}

void NativeHostManifests::Remove(const std::string& hostPath) const {
  if (m_home.empty()) return;
  for (const auto& [path, text] : Files(hostPath)) {
    if (ReadAll(path) != text) continue;
    std::error_code error;
    std::filesystem::remove(path, error);
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (std::filesystem::is_empty(folder, error) && !error) std::filesystem::remove(folder, error);
  }
}

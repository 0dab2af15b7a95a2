#include "tests/support/registry_values.h"

#include <cstdlib>
#include <stdexcept>

namespace testenv {

void SetRegistryString(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
  HKEY key = nullptr;
  if (RegCreateKeyEx(root, path, &key) != ERROR_SUCCESS) throw std::runtime_error("cannot create " + path);
  RegSetString(key, name, text);
  RegCloseKey(key);
}

std::optional<std::string> RegistryString(HKEY root, const std::string& path, const std::string& name) {
  std::string text;
  return RegGetString(root, path, name, &text) ? std::optional(text) : std::nullopt;
}

bool RegistryKeyExists(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(root, path, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::string BuildFolder() {
  const char* bin = getenv("KESTRION_BIN");
  if (!bin) throw std::runtime_error("KESTRION_BIN is not set");
  const std::string path = bin;
  return path.substr(0, path.rfind('/'));
}

}  // namespace testenv

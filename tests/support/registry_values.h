#pragma once

#include <optional>
#include <string>

#include "platform/registry/registry.h"

// Registry shortcuts for tests; paths are below a root.
namespace testenv {

// Creates the key as needed.
void SetRegistryString(HKEY root, const std::string& path, const std::string& name, const std::string& text);
std::optional<std::string> RegistryString(HKEY root, const std::string& path, const std::string& name);
bool RegistryKeyExists(HKEY root, const std::string& path);

// The folder that holds the built kestrion, its libraries and tools.
std::string BuildFolder();

}  // namespace testenv

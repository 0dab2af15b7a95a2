#include "platform/ui/qt_plugin.h"

#include <dlfcn.h>

#include <cstdlib>

#include "platform/process/process.h"
#include "platform/ui/display_probe.h"

namespace {

std::string PluginPath() {
  const char* configured = getenv("KESTRION_QT_PLUGIN");
  if (configured && *configured) return configured;
  const std::string program = GetModuleFileName();
  return program.substr(0, program.rfind('/') + 1) + "kestrion-qt.so";
}

}  // namespace

bool QtPluginBuilt() {
#ifdef KESTRION_HAVE_QT
  return true;
#else
  return false;
#endif
}

std::unique_ptr<UIBackend> LoadQtBackend(std::string* failure) {
  if (!QtPluginBuilt()) {
    *failure = "this build has no Qt";
    return nullptr;
  }
  std::string platform;
  if (!FindDisplay(&platform, failure)) return nullptr;
  const std::string path = PluginPath();
  // Never closed: the backend's code must stay while anything may call it.
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = dlerror();
    *failure = why ? why : "cannot load " + path;
    return nullptr;
  }
  auto entry = reinterpret_cast<QtPluginEntry>(dlsym(library, kQtPluginEntry));
  if (!entry) {
    *failure = path + " has no " + kQtPluginEntry;
    return nullptr;
  }
  return std::unique_ptr<UIBackend>(entry(platform, failure));
}

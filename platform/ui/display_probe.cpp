#include "platform/ui/display_probe.h"

#include <dlfcn.h>

#include <cstdlib>

namespace {

bool IsSet(const char* name) {
  const char* value = getenv(name);
  return value && *value;
}

// A library loaded for one look and let go again; null when missing.
class Library {
 public:
  explicit Library(const char* name) : m_handle(dlopen(name, RTLD_NOW | RTLD_LOCAL)) {}
  ~Library() {
    if (m_handle) dlclose(m_handle);
  }
  template <typename Function>
  Function Get(const char* name) const {
    return m_handle ? reinterpret_cast<Function>(dlsym(m_handle, name)) : nullptr;
  }

 private:
  void* m_handle;
};

bool XDisplayAnswers() {
  Library xcb("libxcb.so.1");
  auto connect = xcb.Get<void* (*)(const char*, int*)>("xcb_connect");
  auto hasError = xcb.Get<int (*)(void*)>("xcb_connection_has_error");
  auto disconnect = xcb.Get<void (*)(void*)>("xcb_disconnect");
  if (!connect || !hasError || !disconnect) return false;
  void* connection = connect(nullptr, nullptr);
  const bool answered = connection && hasError(connection) == 0;
  if (connection) disconnect(connection);
  return answered;
}

bool WaylandDisplayAnswers() {
  Library wayland("libwayland-client.so.0");
  auto connect = wayland.Get<void* (*)(const char*)>("wl_display_connect");
  auto disconnect = wayland.Get<void (*)(void*)>("wl_display_disconnect");
  if (!connect || !disconnect) return false;
  void* display = connect(nullptr);
  if (display) disconnect(display);
  return display != nullptr;
}

}  // namespace

bool FindDisplay(std::string* qtPlatform, std::string* failure) {
  qtPlatform->clear();
  if (IsSet("QT_QPA_PLATFORM")) return true;
  if (IsSet("DISPLAY") && XDisplayAnswers()) {
    *qtPlatform = "xcb";
    return true;
  }
  if (IsSet("WAYLAND_DISPLAY") && WaylandDisplayAnswers()) {
    *qtPlatform = "wayland";
    return true;
  }
  *failure = IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") ? "the display does not answer" : "no display is set";
  return false;
}

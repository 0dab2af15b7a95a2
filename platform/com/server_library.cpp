#include "platform/com/server_library.h"

#include <dlfcn.h>

#include <filesystem>

namespace {

using GetClassObjectEntry = HRESULT (*)(REFCLSID, REFIID, void**);
using PlainEntry = HRESULT (*)();

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::weakly_canonical(path, error);
  return error ? path : absolute.string();
}

}  // namespace

std::unique_ptr<ServerLibrary> ServerLibrary::Load(const std::string& path, std::string* error) {
  // An absolute path keeps dlopen from searching the library folders.
  std::string absolute = AbsolutePath(path);
  void* handle = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = dlerror();
    *error = reason ? reason : "cannot load " + absolute;
    return nullptr;
  }
  return std::unique_ptr<ServerLibrary>(new ServerLibrary(handle, std::move(absolute)));
}

ServerLibrary::~ServerLibrary() { dlclose(m_handle); }

bool ServerLibrary::Exports(const char* name) const { return dlsym(m_handle, name) != nullptr; }

HRESULT ServerLibrary::DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) const {
  auto entry = reinterpret_cast<GetClassObjectEntry>(dlsym(m_handle, "DllGetClassObject"));
  return entry ? entry(rclsid, riid, ppv) : CO_E_ERRORINDLL;
}

HRESULT ServerLibrary::DllCanUnloadNow() const { return CallWithoutArguments("DllCanUnloadNow"); }

HRESULT ServerLibrary::DllRegisterServer() const { return CallWithoutArguments("DllRegisterServer"); }

HRESULT ServerLibrary::DllUnregisterServer() const { return CallWithoutArguments("DllUnregisterServer"); }

HRESULT ServerLibrary::CallWithoutArguments(const char* name) const {
  auto entry = reinterpret_cast<PlainEntry>(dlsym(m_handle, name));
  return entry ? entry() : CO_E_ERRORINDLL;
}

std::string ModulePathOf(const void* address) {
  Dl_info info;
  if (!dladdr(address, &info) || !info.dli_fname) return "";
  return AbsolutePath(info.dli_fname);
}

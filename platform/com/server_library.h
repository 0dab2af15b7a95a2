#pragma once

// An in-process server library loaded into this process, and the entry
// points it exports by name. The only place that loads libraries.

#include <memory>
#include <string>

#include "platform/com/unknown.h"

class ServerLibrary {
 public:
  // Loads the library (a relative path is taken from the working folder);
  // null with *error set when it cannot be loaded.
  static std::unique_ptr<ServerLibrary> Load(const std::string& path, std::string* error);
  // Unloads it: nothing of it may be in use any more.
  ~ServerLibrary();
  ServerLibrary(const ServerLibrary&) = delete;
  ServerLibrary& operator=(const ServerLibrary&) = delete;

  // The full path it was loaded from.
  const std::string& Path() const { return m_path; }
  bool Exports(const char* name) const;

  // Each returns the entry point's result, or CO_E_ERRORINDLL when the
  // library does not export it.
  HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) const;
  HRESULT DllCanUnloadNow() const;
  HRESULT DllRegisterServer() const;
  HRESULT DllUnregisterServer() const;

 private:
  ServerLibrary(void* handle, std::string path) : m_handle(handle), m_path(std::move(path)) {}
  HRESULT CallWithoutArguments(const char* name) const;

  void* m_handle;
  std::string m_path;
};

// Full path of the library (or program) that holds the address.
std::string ModulePathOf(const void* address);

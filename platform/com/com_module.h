#pragma once

// The server side of a library: its object map (one row per creatable
// class), the lock count that says whether it may be unloaded, the class
// factories it hands out, and its self-registration. A library holds one
// ComModule for its whole life; its exported entry points call into it.

#include <atomic>
#include <mutex>
#include <span>
#include <string>

#include "platform/com/unknown.h"

struct TypeLibrary;

// Makes an instance for riid; outer is the controlling unknown when the
// instance is aggregated (then riid is IID_IUnknown).
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

struct ObjectMapEntry {
  const CLSID* clsid;
  // Writes (registering) or removes the class's registry entries.
  HRESULT (*updateRegistry)(bool registering);
  InstanceCreator createInstance;
  // The class factory, created on first request and kept until Term. While
  // only this cache holds it, it does not count as a lock.
  IUnknown* factory = nullptr;
};

class ComModule {
 public:
  explicit ComModule(std::span<ObjectMapEntry> objectMap) : m_objectMap(objectMap) {}
  // The library is being unloaded.
  ~ComModule() { Term(); }
  ComModule(const ComModule&) = delete;
  ComModule& operator=(const ComModule&) = delete;

  // Live objects, unbalanced LockServer(TRUE) calls and clients holding a
  // class factory each count once. Any thread.
  void Lock() { ++m_lockCount; }
  void Unlock() { --m_lockCount; }

  // S_OK when nothing holds the library.
  HRESULT CanUnloadNow() const { return m_lockCount == 0 ? S_OK : S_FALSE; }
  // The class factory of a mapped class, for riid; CLASS_E_CLASSNOTAVAILABLE
  // for any other class.
  HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
  // Runs every class's registry update, then registers the type library
  // when one is given. Returns the first failure.
  HRESULT RegisterServer(const TypeLibrary* typeLibrary);
  // Runs every class's registry update in removal mode; the type library
  // stays registered.
  HRESULT UnregisterServer();
  // Runs a registry script with %MODULE% standing for this library's path.
  HRESULT UpdateRegistryFromScript(const std::string& script, bool registering) const;
  // Full path of the library this module lives in.
  std::string ModulePath() const;
  // Releases the cached class factories.
  void Term();

 private:
  std::atomic<long> m_lockCount{0};
  std::span<ObjectMapEntry> m_objectMap;
  std::mutex m_factoryLock;  // guards the factory caches
};

// The class factory of one class. Its count is atomic; see ObjectMapEntry
// for how it counts in the module's locks.
class ClassFactory final : public IClassFactory {
 public:
  ClassFactory(ComModule& module, InstanceCreator creator) : m_module(module), m_creator(creator) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // E_POINTER without ppv; CLASS_E_NOAGGREGATION when an outer unknown asks
  // for anything but IID_IUnknown.
  HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
  HRESULT LockServer(BOOL fLock) override;

 private:
  ComModule& m_module;
  InstanceCreator m_creator;
  std::atomic<ULONG> m_refCount{0};
};

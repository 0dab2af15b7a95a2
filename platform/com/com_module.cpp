#include "platform/com/com_module.h"

#include <new>

#include "platform/com/registrar.h"
#include "platform/com/server_library.h"
#include "platform/com/type_library.h"

HRESULT ComModule::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (ObjectMapEntry& entry : m_objectMap) {
    if (*entry.clsid != rclsid) continue;
    std::lock_guard guard(m_factoryLock);
    if (!entry.factory) {
      auto* factory = new (std::nothrow) ClassFactory(*this, entry.createInstance);
      if (!factory) return E_OUTOFMEMORY;
      factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&entry.factory));
    }
    return entry.factory->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ComModule::RegisterServer(const TypeLibrary* typeLibrary) {
  for (ObjectMapEntry& entry : m_objectMap) {
    const HRESULT hr = entry.updateRegistry(true);
    if (FAILED(hr)) return hr;
  }
  return typeLibrary ? RegisterTypeLib(*typeLibrary, ModulePath()) : S_OK;
}

HRESULT ComModule::UnregisterServer() {
  for (ObjectMapEntry& entry : m_objectMap) {
    const HRESULT hr = entry.updateRegistry(false);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT ComModule::UpdateRegistryFromScript(const std::string& script, bool registering) const {
  Registrar registrar;
  registrar.AddReplacement("MODULE", ModulePath());
  return registering ? registrar.RegisterScript(script) : registrar.UnregisterScript(script);
}

std::string ComModule::ModulePath() const { return ModulePathOf(this); }

void ComModule::Term() {
  std::lock_guard guard(m_factoryLock);
  for (ObjectMapEntry& entry : m_objectMap) {
    if (entry.factory) entry.factory->Release();
    entry.factory = nullptr;
  }
}

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
  *ppv = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

ULONG ClassFactory::AddRef() {
  const ULONG count = ++m_refCount;
  if (count == 2) m_module.Lock();
  return count;
}

ULONG ClassFactory::Release() {
  const ULONG count = --m_refCount;
  if (count == 1) m_module.Unlock();
  if (count == 0) delete this;
  return count;
}

HRESULT ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  return m_creator(pUnkOuter, riid, ppv);
}

HRESULT ClassFactory::LockServer(BOOL fLock) {
  if (fLock)
    m_module.Lock();
  else
    m_module.Unlock();
  return S_OK;
}

#pragma once

// Building blocks for objects that live in a server library: a table-driven
// QueryInterface, the reference-counted object around a class (on its own
// or aggregated into an outer object), and its creation.
//
// A class T derives from the interfaces it implements, leaves the three
// IUnknown operations to these templates, and lists its interfaces in
//   static const InterfaceEntry<T> kInterfaces[];
// whose first row also answers IID_IUnknown (the object's identity).
// Reference counts are atomic; each object holds a lock on its module while
// it lives, so the library is not unloaded under it.

#include <atomic>
#include <new>

#include "platform/com/com_module.h"
#include "platform/com/unknown.h"

template <typename T>
struct InterfaceEntry {
  const IID* iid;
  IUnknown* (*cast)(T* object);
};

// The cast of a table row: `&InterfaceOf<CFoo, IBar>`.
template <typename T, typename I>
IUnknown* InterfaceOf(T* object) {
  return static_cast<I*>(object);
}

// The interface of the object for riid without a reference taken, or null.
template <typename T>
IUnknown* FindInterface(T* object, REFIID riid) {
  if (riid == IID_IUnknown) return T::kInterfaces[0].cast(object);
  for (const InterfaceEntry<T>& entry : T::kInterfaces)
    if (*entry.iid == riid) return entry.cast(object);
  return nullptr;
}

// Sets *ppv from the found interface and takes a reference through it.
inline HRESULT HandOut(IUnknown* found, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = found;
  if (!found) return E_NOINTERFACE;
  found->AddRef();
  return S_OK;
}

// T standing alone: its own count; deleted by the last Release.
template <typename T>
class ComObject final : public T {
 public:
  explicit ComObject(ComModule& module) : m_module(module) { m_module.Lock(); }
  ~ComObject() { m_module.Unlock(); }

  HRESULT QueryInterface(REFIID riid, void** ppv) override { return HandOut(FindInterface<T>(this, riid), ppv); }
  ULONG AddRef() override { return ++m_refCount; }
  ULONG Release() override {
    const ULONG count = --m_refCount;
    if (count == 0) delete this;
    return count;
  }

 private:
  ComModule& m_module;
  std::atomic<ULONG> m_refCount{0};
};

// T inside an aggregate: every IUnknown call goes to the outer object.
template <typename T>
class ComContainedObject final : public T {
 public:
  explicit ComContainedObject(IUnknown* outer) : m_outer(outer) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override { return m_outer->QueryInterface(riid, ppv); }
  ULONG AddRef() override { return m_outer->AddRef(); }
  ULONG Release() override { return m_outer->Release(); }

 private:
  IUnknown* m_outer;
};

// The inner unknown an outer object holds: answers IID_IUnknown with itself
// and every other interface from T's table (those forward to the outer).
template <typename T>
class ComAggObject final : public IUnknown {
 public:
  ComAggObject(ComModule& module, IUnknown* outer) : m_module(module), m_contained(outer) { m_module.Lock(); }
  ~ComAggObject() { m_module.Unlock(); }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown) return HandOut(this, ppv);
    return HandOut(FindInterface<T>(&m_contained, riid), ppv);
  }
  ULONG AddRef() override { return ++m_refCount; }
  ULONG Release() override {
    const ULONG count = --m_refCount;
    if (count == 0) delete this;
    return count;
  }

 private:
  ComModule& m_module;
  std::atomic<ULONG> m_refCount{0};
  ComContainedObject<T> m_contained;
};

// Creates a T for an object map's creator. The new object is queried for
// riid; when that fails it is gone again and the failure returned. With an
// outer unknown only IID_IUnknown may be asked (the class factory checks).
template <typename T>
HRESULT CreateComObject(ComModule& module, IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  IUnknown* object = nullptr;
  if (outer)
    object = new (std::nothrow) ComAggObject<T>(module, outer);
  else if (auto* standalone = new (std::nothrow) ComObject<T>(module))
    object = FindInterface<T>(standalone, IID_IUnknown);
  if (!object) return E_OUTOFMEMORY;
  // Held while queried, so a failed query deletes it.
  object->AddRef();
  const HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

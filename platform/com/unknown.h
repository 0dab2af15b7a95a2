#pragma once

// The base interfaces of the component model. An interface is a class of
// pure virtual operations; an object hands out pointers to the interfaces
// it implements and counts the references taken on it. Nobody deletes an
// object through an interface: the last Release does.

#include <cstdint>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

using ULONG = uint32_t;
using BOOL = int;
constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

// The platform's own interfaces share all but the first part of their ids.
constexpr IID PlatformIID(uint32_t first) { return {first, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}; }
inline constexpr IID IID_IUnknown = PlatformIID(0x00000000);
inline constexpr IID IID_IClassFactory = PlatformIID(0x00000001);
inline constexpr IID IID_ISupportErrorInfo{0xDF0B3D60, 0x548F, 0x101B,
                                           {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

class IUnknown {
 public:
  // Sets *ppv to the interface and takes a reference, or to null with
  // E_NOINTERFACE. Asked for IID_IUnknown, every interface of one object
  // gives the same pointer: the object's identity.
  virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

class IClassFactory : public IUnknown {
 public:
  // pUnkOuter: the controlling unknown when the new object is aggregated.
  virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) = 0;
  // Keeps the server's library loaded while fLock calls are unbalanced.
  virtual HRESULT LockServer(BOOL fLock) = 0;

 protected:
  ~IClassFactory() = default;
};

class ISupportErrorInfo : public IUnknown {
 public:
  // S_OK when the interface reports rich error information.
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;

 protected:
  ~ISupportErrorInfo() = default;
};

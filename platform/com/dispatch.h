#pragma once

// Late binding: a client finds an operation's number by its name and
// invokes it with arguments carried as VARIANTs. Only the argument kinds
// this program passes exist: empty, 2- and 4-byte integers, strings.

#include <cstdint>
#include <string>

#include "platform/com/unknown.h"

using DISPID = int32_t;
using LCID = uint32_t;
using UINT = unsigned;
using WORD = uint16_t;
using VARTYPE = uint16_t;

constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_BSTR = 8;

constexpr WORD DISPATCH_METHOD = 0x1;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

inline constexpr IID IID_IDispatch = PlatformIID(0x00020400);

// A string is UTF-16, as the platform's automation strings are.
struct VARIANT {
  VARTYPE vt = VT_EMPTY;
  int16_t iVal = 0;
  int32_t lVal = 0;
  std::u16string bstrVal;
};

VARIANT VariantFromString(std::u16string text);
VARIANT VariantFromShort(int16_t value);

// Positional arguments, the last one first (rgvarg[0] is the last).
struct DISPPARAMS {
  VARIANT* rgvarg = nullptr;
  DISPID* rgdispidNamedArgs = nullptr;
  UINT cArgs = 0;
  UINT cNamedArgs = 0;
};

// Type information is not offered by any object here.
class ITypeInfo;
struct EXCEPINFO;

class IDispatch : public IUnknown {
 public:
  virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  // One name per call here: rgszNames[0] is the operation; names of its
  // parameters, when given, are not known (DISP_E_UNKNOWNNAME).
  virtual HRESULT GetIDsOfNames(REFIID riid, const char16_t** rgszNames, UINT cNames, LCID lcid,
                                DISPID* rgDispId) = 0;
  // pVarResult may be null when the caller wants no result; puArgErr gets
  // the index (in rgvarg) of an argument of the wrong kind.
  virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                         VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;

 protected:
  ~IDispatch() = default;
};

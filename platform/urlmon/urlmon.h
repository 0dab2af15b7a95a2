#pragma once

// The browser URL layer's pluggable-protocol interfaces: a protocol handler
// (IInternetProtocolRoot, IInternetProtocol, IInternetProtocolInfo) is
// created for a URL and started with the sink (IInternetProtocolSink)
// through which it reports back to the layer. Strings are wide (UTF-16).

#include <cstdint>

#include "platform/com/unknown.h"
#include "platform/registry/registry.h"

using HANDLE_PTR = uintptr_t;

// The URL layer's interfaces share all but the first part of their ids.
constexpr IID UrlLayerIID(uint32_t first) {
  return {first, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
}
inline constexpr IID IID_IInternet = UrlLayerIID(0x79EAC9E0);
inline constexpr IID IID_IInternetBindInfo = UrlLayerIID(0x79EAC9E1);
inline constexpr IID IID_IInternetProtocolRoot = UrlLayerIID(0x79EAC9E3);
inline constexpr IID IID_IInternetProtocol = UrlLayerIID(0x79EAC9E4);
inline constexpr IID IID_IInternetProtocolSink = UrlLayerIID(0x79EAC9E5);
inline constexpr IID IID_IInternetProtocolInfo = UrlLayerIID(0x79EAC9EC);

// Start's answer when the layer should use its own handler for the URL.
constexpr HRESULT INET_E_USE_DEFAULT_PROTOCOLHANDLER = MakeHResult(0x800C0011);
// ParseUrl's answer when the layer should parse the URL itself.
constexpr HRESULT INET_E_DEFAULT_ACTION = MakeHResult(0x800C0011);
constexpr HRESULT INET_E_QUERYOPTION_UNKNOWN = MakeHResult(0x800C0013);

struct PROTOCOLDATA {
  DWORD grfFlags;
  DWORD dwState;
  void* pData;
  ULONG cbData;
};

using PARSEACTION = int;
using QUERYOPTION = int;

// What the layer knows of the bind. No handler here reads it; the layer's
// stand-in passes none.
class IInternetBindInfo;

class IInternetProtocolSink : public IUnknown {
 public:
  virtual HRESULT Switch(PROTOCOLDATA* pProtocolData) = 0;
  virtual HRESULT ReportProgress(ULONG ulStatusCode, const char16_t* szStatusText) = 0;
  virtual HRESULT ReportData(DWORD grfBSCF, ULONG ulProgress, ULONG ulProgressMax) = 0;
  // The bind has ended with hrResult.
  virtual HRESULT ReportResult(HRESULT hrResult, DWORD dwError, const char16_t* szResult) = 0;

 protected:
  ~IInternetProtocolSink() = default;
};

class IInternetProtocolRoot : public IUnknown {
 public:
  virtual HRESULT Start(const char16_t* szUrl, IInternetProtocolSink* pOIProtSink, IInternetBindInfo* pOIBindInfo,
                        DWORD grfPI, HANDLE_PTR dwReserved) = 0;
  virtual HRESULT Continue(PROTOCOLDATA* pProtocolData) = 0;
  virtual HRESULT Abort(HRESULT hrReason, DWORD dwOptions) = 0;
  virtual HRESULT Terminate(DWORD dwOptions) = 0;
  virtual HRESULT Suspend() = 0;
  virtual HRESULT Resume() = 0;

 protected:
  ~IInternetProtocolRoot() = default;
};

class IInternetProtocol : public IInternetProtocolRoot {
 public:
  virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
  virtual HRESULT Seek(int64_t dlibMove, DWORD dwOrigin, uint64_t* plibNewPosition) = 0;
  virtual HRESULT LockRequest(DWORD dwOptions) = 0;
  virtual HRESULT UnlockRequest() = 0;

 protected:
  ~IInternetProtocol() = default;
};

// Marks a handler as one of the URL layer's; it has no operations.
class IInternet : public IUnknown {
 protected:
  ~IInternet() = default;
};

class IInternetProtocolInfo : public IUnknown {
 public:
  virtual HRESULT ParseUrl(const char16_t* pwzUrl, PARSEACTION ParseAction, DWORD dwParseFlags, char16_t* pwzResult,
                           DWORD cchResult, DWORD* pcchResult, DWORD dwReserved) = 0;
  virtual HRESULT CombineUrl(const char16_t* pwzBaseUrl, const char16_t* pwzRelativeUrl, DWORD dwCombineFlags,
                             char16_t* pwzResult, DWORD cchResult, DWORD* pcchResult, DWORD dwReserved) = 0;
  virtual HRESULT CompareUrl(const char16_t* pwzUrl1, const char16_t* pwzUrl2, DWORD dwCompareFlags) = 0;
  virtual HRESULT QueryInfo(const char16_t* pwzUrl, QUERYOPTION OueryOption, DWORD dwQueryFlags, void* pBuffer,
                            DWORD cbBuffer, DWORD* pcbBuf, DWORD dwReserved) = 0;

 protected:
  ~IInternetProtocolInfo() = default;
};

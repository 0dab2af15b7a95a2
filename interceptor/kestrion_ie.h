#pragma once

// The browser's protocol handler for http and ftp: for each URL the browser
// is about to fetch, Start decides whether kestrion should take the download
// over and, when it should, offers it to the user. One object per bind; it
// never reads or delivers data itself. Created, called and released on one
// thread of the browser.

#include "offer/download_offer.h"
#include "platform/com/com_object.h"
#include "platform/urlmon/urlmon.h"

class CKestrionIE : public IInternetProtocol,
                    public ISupportErrorInfo,
                    public IInternet,
                    public IInternetProtocolInfo {
 public:
  // First row answers IUnknown too: the object's identity is its IInternet.
  static const InterfaceEntry<CKestrionIE> kInterfaces[5];

  // INET_E_USE_DEFAULT_PROTOCOLHANDLER: the browser keeps the URL (also
  // after "Regular Download"); S_OK: taken over, the sink told the bind is
  // complete; S_FALSE: the user cancelled.
  HRESULT Start(const char16_t* szUrl, IInternetProtocolSink* pOIProtSink, IInternetBindInfo* pOIBindInfo,
                DWORD grfPI, HANDLE_PTR dwReserved) override;
  HRESULT Continue(PROTOCOLDATA*) override { return S_OK; }
  HRESULT Abort(HRESULT, DWORD) override { return S_OK; }
  HRESULT Terminate(DWORD) override { return S_OK; }
  HRESULT Suspend() override { return S_OK; }
  HRESULT Resume() override { return S_OK; }

  // There is never data to read.
  HRESULT Read(void*, ULONG, ULONG*) override { return S_FALSE; }
  HRESULT Seek(int64_t, DWORD, uint64_t*) override { return S_OK; }
  HRESULT LockRequest(DWORD) override { return S_OK; }
  HRESULT UnlockRequest() override { return S_OK; }

  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

  HRESULT ParseUrl(const char16_t*, PARSEACTION, DWORD, char16_t*, DWORD, DWORD*, DWORD) override {
    return INET_E_DEFAULT_ACTION;
  }
  HRESULT CombineUrl(const char16_t*, const char16_t*, DWORD, char16_t*, DWORD, DWORD*, DWORD) override {
    return S_OK;
  }
  HRESULT CompareUrl(const char16_t*, const char16_t*, DWORD) override { return S_OK; }
  HRESULT QueryInfo(const char16_t*, QUERYOPTION, DWORD, void*, DWORD, DWORD*, DWORD) override {
    return INET_E_QUERYOPTION_UNKNOWN;
  }

 private:
  // The MIME test: false when the suggested type is one the browser shows
  // itself or is not a download.
  bool MayBeDownload() const;
  HRESULT Offer();

  DownloadOffer m_offer{HostGuard::kOff};
  // Kept without a reference, used only before Start returns.
  IInternetProtocolSink* m_pSink = nullptr;
};

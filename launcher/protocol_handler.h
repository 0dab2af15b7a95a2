#pragma once

// The scriptable launcher "KSNS.Protocol.1": an automation client binds its
// two methods by name. "Initialize"(anything, URL) offers the URL and
// answers 1 when the user chose to save it; "Open"(anything) then asks where
// and starts kestrion. Called on the client's thread; dialogs block it.

#include "offer/download_offer.h"
#include "platform/com/com_object.h"
#include "platform/com/dispatch.h"

class CProtocolHandler : public IDispatch {
 public:
  static const InterfaceEntry<CProtocolHandler> kInterfaces[1];

  HRESULT GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override;
  // Names are matched without regard to case.
  HRESULT GetIDsOfNames(REFIID riid, const char16_t** rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
  HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                 VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  // 1 when the URL was offered and the user chose to save it, else 0.
  int16_t Initialize(const std::string& unused, const std::string& url);
  // Save-as and start kestrion for the URL of the last Initialize.
  void Open(const std::string& unused);

 private:
  DownloadOffer m_offer{HostGuard::kOn};
};

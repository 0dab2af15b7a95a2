#pragma once

#include <optional>

#include "platform/urlmon/urlmon.h"

// The URL layer's side of one bind: what a protocol handler reports back.
// Lives on the binding thread's stack, so counting references never frees
// it; it must outlive the handler's use of it.
class BindSink final : public IInternetProtocolSink {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override { return ++m_refCount; }
  ULONG Release() override { return --m_refCount; }

  HRESULT Switch(PROTOCOLDATA*) override { return S_OK; }
  HRESULT ReportProgress(ULONG, const char16_t*) override { return S_OK; }
  HRESULT ReportData(DWORD, ULONG, ULONG) override { return S_OK; }
  HRESULT ReportResult(HRESULT hrResult, DWORD, const char16_t*) override;

  // The result of the first ReportResult, if any came.
  const std::optional<HRESULT>& Result() const { return m_result; }

 private:
  ULONG m_refCount = 1;
  std::optional<HRESULT> m_result;
};

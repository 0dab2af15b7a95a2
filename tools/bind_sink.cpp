#include "tools/bind_sink.h"

HRESULT BindSink::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IInternetProtocolSink) return E_NOINTERFACE;
  *ppv = static_cast<IInternetProtocolSink*>(this);
  AddRef();
  return S_OK;
}

HRESULT BindSink::ReportResult(HRESULT hrResult, DWORD, const char16_t*) {
  if (!m_result) m_result = hrResult;
  return S_OK;
}

#include "interceptor/kestrion_ie.h"

#include <new>

#include "offer/download_type.h"
#include "platform/com/wide_text.h"
#include "platform/urlmon/find_mime.h"

namespace {

// The narrow URL and MIME type, each with its NUL, must fit these; longer
// ones are left to the browser rather than cut.
constexpr size_t kUrlBufferSize = 4096;
constexpr size_t kMimeBufferSize = 256;

bool Fits(const std::string& text, size_t bufferSize) { return text.size() + 1 <= bufferSize; }

// The type the platform suggests for the URL alone; empty when none.
std::u16string SuggestedMimeType(const std::string& url) {
  char16_t* suggested = nullptr;
  FindMimeFromData(nullptr, WideFromUtf8(url).c_str(), nullptr, 0, nullptr, 0, &suggested, 0);
  if (!suggested) return u"";
  std::u16string type(suggested);
  CoTaskMemFree(suggested);
  return type;
}

}  // namespace

const InterfaceEntry<CKestrionIE> CKestrionIE::kInterfaces[5] = {
    {&IID_IInternet, &InterfaceOf<CKestrionIE, IInternet>},
    {&IID_IInternetProtocol, &InterfaceOf<CKestrionIE, IInternetProtocol>},
    {&IID_IInternetProtocolRoot, &InterfaceOf<CKestrionIE, IInternetProtocol>},
    {&IID_IInternetProtocolInfo, &InterfaceOf<CKestrionIE, IInternetProtocolInfo>},
    {&IID_ISupportErrorInfo, &InterfaceOf<CKestrionIE, ISupportErrorInfo>},
};

HRESULT CKestrionIE::Start(const char16_t* szUrl, IInternetProtocolSink* pOIProtSink, IInternetBindInfo*, DWORD,
                           HANDLE_PTR) {
  try {
    if (!szUrl) return INET_E_USE_DEFAULT_PROTOCOLHANDLER;
    const std::string url = Utf8FromWide(szUrl);
    if (!Fits(url, kUrlBufferSize)) return INET_E_USE_DEFAULT_PROTOCOLHANDLER;
    m_offer.SetUrl(url);
    m_pSink = pOIProtSink;
    if (!m_offer.SplitUrl() || !MayBeDownload() || !m_offer.HasOfferedScheme())
      return INET_E_USE_DEFAULT_PROTOCOLHANDLER;
    return Offer();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CKestrionIE::InterfaceSupportsErrorInfo(REFIID riid) {
  return riid == IID_IInternetProtocolRoot ? S_OK : S_FALSE;
}

bool CKestrionIE::MayBeDownload() const {
  const std::u16string wideType = SuggestedMimeType(m_offer.m_strUrl);
  if (wideType.empty()) return true;
  const std::string type = Utf8FromWide(wideType);
  return Fits(type, kMimeBufferSize) && MayBeDownloadType(type);
}

HRESULT CKestrionIE::Offer() {
  switch (m_offer.ShowChoice()) {
    case choiceSave:
      // The browser's own download is dropped whatever the save-as step
      // achieved.
      m_offer.SaveAndLaunch();
      if (m_pSink) m_pSink->ReportResult(S_OK, 0, nullptr);
      return S_OK;
    case choiceRegular:
      return INET_E_USE_DEFAULT_PROTOCOLHANDLER;
    default:
      return S_FALSE;
  }
}

#include "launcher/protocol_handler.h"

#include <new>
#include <string>
#include <vector>

#include "platform/com/wide_text.h"

namespace {

constexpr DISPID kInitializeId = 1;
constexpr DISPID kOpenId = 2;

struct DispatchEntry {
  const char16_t* name;
  DISPID id;
  UINT parameterCount;
};

constexpr DispatchEntry kDispatchMap[] = {
    {u"Initialize", kInitializeId, 2},
    {u"Open", kOpenId, 1},
};

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameNameIgnoringCase(const char16_t* a, const char16_t* b) {
  for (; *a && *b; ++a, ++b)
    if (LowerAscii(*a) != LowerAscii(*b)) return false;
  return *a == *b;
}

const DispatchEntry* EntryOf(DISPID id) {
  for (const DispatchEntry& entry : kDispatchMap)
    if (entry.id == id) return &entry;
  return nullptr;
}

// The arguments as narrow strings, first argument first (they arrive last
// first). An argument that is not a string is named by its index.
HRESULT StringArguments(const DISPPARAMS& params, std::vector<std::string>* arguments, UINT* puArgErr) {
  for (UINT i = params.cArgs; i-- > 0;) {
    if (params.rgvarg[i].vt != VT_BSTR) {
      if (puArgErr) *puArgErr = i;
      return DISP_E_TYPEMISMATCH;
    }
    arguments->push_back(Utf8FromWide(params.rgvarg[i].bstrVal));
  }
  return S_OK;
}

}  // namespace

const InterfaceEntry<CProtocolHandler> CProtocolHandler::kInterfaces[1] = {
    {&IID_IDispatch, &InterfaceOf<CProtocolHandler, IDispatch>},
};

HRESULT CProtocolHandler::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

HRESULT CProtocolHandler::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT CProtocolHandler::GetIDsOfNames(REFIID, const char16_t** rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
  if (!rgszNames || !rgDispId || cNames == 0) return E_INVALIDARG;
  HRESULT hr = DISP_E_UNKNOWNNAME;
  rgDispId[0] = DISPID_UNKNOWN;
  for (const DispatchEntry& entry : kDispatchMap) {
    if (rgszNames[0] && SameNameIgnoringCase(rgszNames[0], entry.name)) {
      rgDispId[0] = entry.id;
      hr = S_OK;
    }
  }
  // The methods' parameters have no names a client could bind.
  for (UINT i = 1; i < cNames; ++i) {
    rgDispId[i] = DISPID_UNKNOWN;
    hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT CProtocolHandler::Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                 VARIANT* pVarResult, EXCEPINFO*, UINT* puArgErr) {
  const DispatchEntry* entry = EntryOf(dispIdMember);
  if (!entry || !(wFlags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (!pDispParams) return E_INVALIDARG;
  if (pDispParams->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (pDispParams->cArgs != entry->parameterCount) return DISP_E_BADPARAMCOUNT;
  try {
    std::vector<std::string> arguments;
    const HRESULT hr = StringArguments(*pDispParams, &arguments, puArgErr);
    if (FAILED(hr)) return hr;
    if (dispIdMember == kInitializeId) {
      const int16_t result = Initialize(arguments[0], arguments[1]);
      if (pVarResult) *pVarResult = VariantFromShort(result);
    } else {
      Open(arguments[0]);
      if (pVarResult) *pVarResult = VARIANT();
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

int16_t CProtocolHandler::Initialize(const std::string&, const std::string& url) {
  m_offer.SetUrl(url);
  if (!m_offer.SplitUrl() || !m_offer.HasOfferedScheme()) return 0;
  return m_offer.ShowChoice() == choiceSave ? 1 : 0;
}

void CProtocolHandler::Open(const std::string&) { m_offer.SaveAndLaunch(); }

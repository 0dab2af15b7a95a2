#include "platform/urlmon/find_mime.h"

#include "platform/com/wide_text.h"

namespace {

// ".zip" for http://host/dir/file.zip?x=1, empty when the last segment has
// no dot.
std::string ExtensionOf(std::string url) {
  url = url.substr(0, url.find_first_of("?#"));
  const size_t slash = url.find_last_of("/\\");
  const size_t dot = url.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return url.substr(dot);
}

}  // namespace

HRESULT FindMimeFromData(IBindCtx*, const char16_t* pwzUrl, void*, DWORD, const char16_t*, DWORD,
                         char16_t** ppwzMimeOut, DWORD) {
  if (!ppwzMimeOut || !pwzUrl) return E_INVALIDARG;
  *ppwzMimeOut = nullptr;
  const std::string extension = ExtensionOf(Utf8FromWide(pwzUrl));
  if (extension.size() < 2) return E_FAIL;
  std::string type;
  if (!RegGetString(HKEY_CLASSES_ROOT, extension, "Content Type", &type) || type.empty()) return E_FAIL;
  *ppwzMimeOut = CoTaskMemDupString(WideFromUtf8(type));
  return *ppwzMimeOut ? S_OK : E_OUTOFMEMORY;
}

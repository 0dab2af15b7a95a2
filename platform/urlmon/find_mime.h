#pragma once

// The URL layer's MIME sniffer, answering from the registry: the type of a
// URL is the "Content Type" of HKEY_CLASSES_ROOT\.EXT for the extension of
// the URL's last path segment (query and fragment left out). Data is not
// examined.

#include "platform/com/unknown.h"
#include "platform/registry/registry.h"

class IBindCtx;

// *ppwzMimeOut receives the type, allocated with CoTaskMemAlloc (the caller
// frees it with CoTaskMemFree), or stays null with E_FAIL when the URL has
// no extension with a registered type. E_INVALIDARG without a URL or an
// out pointer.
HRESULT FindMimeFromData(IBindCtx* pBC, const char16_t* pwzUrl, void* pBuffer, DWORD cbSize,
                         const char16_t* pwzMimeProposed, DWORD dwMimeFlags, char16_t** ppwzMimeOut,
                         DWORD dwReserved);

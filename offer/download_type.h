#pragma once

// The interceptor's MIME test, shared with the browser host: whether a
// download of the given type may be offered at all.

#include <string>

// True when no type is known (empty), or when the type is exactly
// "application/x-zip-compressed" or "application/x-msdownload" and the
// browser has no viewer for it (no "CLSID" value under
// HKEY_CLASSES_ROOT\MIME\Database\Content Type\<type>).
bool MayBeDownloadType(const std::string& type);

// A URL as the command line, a redirect or a background download gives it:
// unescaped by the program's one rule, then split into its parts.
#include <cstdint>
#include <string>

#include "app/unescape_url.h"
#include "engine/url_parts.h"
#include "fuzz/fuzz_check.h"

namespace {

void Split(const std::string& url) {
  UrlParts parts;
  if (!ParseURLEx(url, &parts)) return;
  FuzzCheck(!parts.server.empty(), "a URL that splits has a host");
  FuzzCheck(!parts.object.empty() && parts.object[0] == '/', "the object begins with '/'");
  FuzzCheck(parts.serviceType == AFX_INET_SERVICE_UNK || parts.port != 0, "a known scheme has a port");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string unescaped = UnescapeURL(text);
  FuzzCheck(unescaped.size() <= text.size(), "unescaping never lengthens");
  Split(text);
  Split(unescaped);
  return 0;
}

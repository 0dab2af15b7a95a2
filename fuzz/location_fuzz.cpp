// A redirect: the URL that was asked for (the first line) and the Location
// the server answered (the rest). The resolved URL is split and its object
// encoded for the request line, where no raw blank, control or 8-bit byte
// may stand.
#include <cstdint>
#include <string>

#include "engine/url_parts.h"
#include "fuzz/fuzz_check.h"
#include "http/location_resolver.h"
#include "http/request_target.h"

namespace {

void CheckTarget(const std::string& path) {
  const std::string target = EncodeRequestTarget(path);
  FuzzCheck(!target.empty(), "a request target is never empty");
  for (unsigned char c : target) FuzzCheck(c > 0x20 && c < 0x7F, "a request target is printable ASCII");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t lf = text.find('\n');
  const std::string current = text.substr(0, lf);
  const std::string location = lf == std::string::npos ? std::string() : text.substr(lf + 1);
  const std::string resolved = ResolveLocation(current, location);
  UrlParts parts;
  if (ParseURLEx(resolved, &parts)) CheckTarget(parts.object);
  CheckTarget(location);
  return 0;
}

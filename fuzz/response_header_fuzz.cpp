// What a server sends before the body, as the connection hands it over:
// header after header while they are interim (1xx), and after a redirect
// the header of the next server, its Location resolved against the URL that
// was redirected. Only the header's public parse is used.
#include <cstdint>
#include <string>

#include "http/http_response_header.h"
#include "http/location_resolver.h"

namespace {

// Redirects followed in one run; the download itself has its own limit.
constexpr int kMaxResponses = 50;

// The end of the header that starts at `from`: the earlier of LF CR LF and
// LF LF, as the connection looks for them. Sets *next past the empty line.
size_t HeaderEnd(const std::string& text, size_t from, size_t* next) {
  const size_t crlf = text.find("\n\r\n", from);
  const size_t lf = text.find("\n\n", from);
  if (lf < crlf) {
    *next = lf + 2;
    return lf;
  }
  *next = crlf == std::string::npos ? text.size() : crlf + 3;
  return crlf == std::string::npos ? text.size() : crlf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string url = "http://127.0.0.1:8080/dir/file.zip";
  size_t at = 0;
  for (int i = 0; i < kMaxResponses && at < text.size(); ++i) {
    size_t next = 0;
    const size_t end = HeaderEnd(text, at, &next);
    CHTTPResponseHeader header;
    const HeaderResult result = header.Parse(text.substr(at, end - at));
    at = next;
    if (result == HDR_REDIRECT) {
      url = ResolveLocation(url, header.GetLocation());
    } else if (result != HDR_INTERIM) {
      header.GetFileTotal();
      header.IsRangeSupported();
      break;
    }
  }
  return 0;
}

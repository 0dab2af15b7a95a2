// A URL the browser or a script hands to the download offer, split into
// scheme, host, file name and extension with the host guard off and on.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "offer/download_offer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string url(reinterpret_cast<const char*>(data), size);
  for (HostGuard guard : {HostGuard::kOff, HostGuard::kOn}) {
    DownloadOffer offer(guard);
    offer.SetUrl(url);
    if (!offer.SplitUrl()) continue;
    FuzzCheck(FindLastSeparator(offer.m_strFileName) < 0, "the file name holds no separator");
    offer.HasOfferedScheme();
    const std::string line = LaunchCommandLine("/opt/kestrion/kestrion", url, "/home/user/" + offer.m_strFileName);
    FuzzCheck(line.find(' ', 23) >= 23 + url.size(), "the URL is one word of the command line");
  }
  return 0;
}

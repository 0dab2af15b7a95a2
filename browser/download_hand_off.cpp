#include "browser/download_hand_off.h"

#include <algorithm>
#include <cctype>

#include "offer/download_type.h"
#include "platform/ui/ui.h"

namespace {

struct TypeName {
  const char* browsers;     // as browsers and servers name it
  const char* interceptor;  // as the interceptor's test knows it; empty: unknown
};

// Servers name the two download types otherwise than the interceptor's
// platform did, and many send every binary file as an octet stream, which
// says no more of the file than no type at all.
constexpr TypeName kTypeNames[] = {
    {"application/zip", "application/x-zip-compressed"},
    {"application/x-zip", "application/x-zip-compressed"},
    {"application/x-msdos-program", "application/x-msdownload"},
    {"application/x-dosexec", "application/x-msdownload"},
    {"application/x-ms-dos-executable", "application/x-msdownload"},
    {"application/vnd.microsoft.portable-executable", "application/x-msdownload"},
    {"application/octet-stream", ""},
    {"binary/octet-stream", ""},
    // The interceptor's platform named no type for .arj files.
    {"application/x-arj", ""},
    {"application/arj", ""},
};

// The type without parameters or blanks, in lower case, under the name the
// interceptor's test knows it by.
std::string InterceptorMimeType(const std::string& browserType) {
  std::string type = browserType.substr(0, browserType.find(';'));
  type.erase(std::remove_if(type.begin(), type.end(), [](unsigned char c) { return std::isspace(c); }), type.end());
  std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const TypeName& name : kTypeNames)
    if (type == name.browsers) return name.interceptor;
  return type;
}

HostAnswer AnswerToSave(HRESULT launch) {
  if (launch == E_PENDING) return HostAnswer::kTaken;
  // The save-as dialog was cancelled.
  if (launch == S_FALSE) return HostAnswer::kCancelled;
  return HostAnswer::kBrowser;
}

}  // namespace

HostAnswer DownloadHandOff::Offer(const DownloadRequest& request) {
  if (!IsOffered(request)) return HostAnswer::kBrowser;
  // A choice nobody can see would come back cancelled, and the browser
  // would drop the user's download.
  if (!CurrentUIBackend().CanAsk()) return HostAnswer::kBrowser;
  // Without kestrion to start there is nothing to offer.
  std::string exeLocation;
  if (!DownloadOffer::GetExeLocation(&exeLocation)) return HostAnswer::kBrowser;
  switch (m_offer.ShowChoice()) {
    case choiceSave:
      return AnswerToSave(m_offer.SaveAndLaunch());
    case choiceRegular:
      return HostAnswer::kBrowser;
    default:
      return HostAnswer::kCancelled;
  }
}

bool DownloadHandOff::IsOffered(const DownloadRequest& request) {
  m_offer.SetUrl(request.url);
  return m_offer.SplitUrl() && MayBeDownloadType(InterceptorMimeType(request.mime)) && m_offer.HasOfferedScheme();
}

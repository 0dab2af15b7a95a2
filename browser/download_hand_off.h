#pragma once

// The browser host's offer of one download the browser has started.

#include "browser/download_request.h"
#include "offer/download_offer.h"

enum class HostAnswer {
  kTaken,      // kestrion was started for it: the browser drops its copy
  kCancelled,  // the user said no to the choice or to the save-as dialog
  kBrowser,    // the browser keeps it
};

// Offers the URL as a script host does through "KSNS.Protocol.1" (the same
// guard and scheme test, the choice, then save-as and the start of
// kestrion), after the interceptor's MIME test of the browser's type for it.
// Whatever leaves kestrion unstarted without the user having said no leaves
// the download to the browser. Dialogs are shown on the calling thread.
class DownloadHandOff {
 public:
  HostAnswer Offer(const DownloadRequest& request);

 private:
  bool IsOffered(const DownloadRequest& request);

  DownloadOffer m_offer{HostGuard::kOn};
};

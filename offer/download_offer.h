#pragma once

// The download offer that both browser-side libraries make: a URL is split
// into scheme, host, file name and extension; the user is asked whether to
// save the file with Kestrion; when they are, the save-as dialog asks where,
// and kestrion is started with the URL and that path. Everything runs on
// the caller's thread and blocks it while a dialog is open.

#include <string>

#include "offer/download_choice_dlg.h"
#include "platform/com/hresult.h"

// Upper-cased text before the first ':', or empty.
std::string SchemeOf(const std::string& url);
// From 3 characters after the first ':' up to the next '\' or '/'; empty when
// there is no ':' or no separator after the host.
std::string HostOf(const std::string& url);
// The last position of any of ",;:=?\/" in the text, or -1.
int FindLastSeparator(const std::string& text);
// The save-as dialog's proposal: the name in the download folder.
std::string DefaultSavePath(const std::string& folder, const std::string& fileName);
// "PROGRAM URL PATH". kestrion splits its line at the first blank and
// unescapes both halves, so a blank in the URL is written as %20 and every
// '%' of the path as %%; the URL's own escapes are left for kestrion.
std::string LaunchCommandLine(const std::string& exeLocation, const std::string& url, const std::string& path);

// The URL and what SplitUrl takes from it; all empty at first.
struct UrlParts {
  std::string m_strUrl;       // as received, not decoded
  std::string m_strScheme;    // upper-cased
  std::string m_strHost;
  std::string m_strFileName;  // decoded
  std::string m_strExt;       // decoded, upper-cased
};

// Whether SplitUrl first requires a path after the URL's "//host".
enum class HostGuard { kOff, kOn };

class DownloadOffer : public UrlParts {
 public:
  explicit DownloadOffer(HostGuard guard) : m_guard(guard) {}

  // Sets the URL and its scheme.
  void SetUrl(const std::string& url);
  // True when the URL ends in a name with an extension; then host, file
  // name and extension are set. Otherwise they are emptied, except that the
  // host guard returns false first and leaves them as they were.
  bool SplitUrl();
  // Whether the scheme and extension make an offer: HTTP only for ZIP, EXE
  // and ARJ, FTP for any extension, nothing else. HTTPS counts as HTTP
  // while the https switch is on.
  bool HasOfferedScheme() const;
  // Asks the user; see ChoiceResult.
  ChoiceResult ShowChoice() const;
  // Save-as in the remembered download folder, remember the chosen folder,
  // start kestrion (EXELOCATION). E_PENDING when it was started; S_FALSE
  // when the dialog was cancelled or EXELOCATION is missing; E_FAIL when
  // kestrion could not be started.
  HRESULT SaveAndLaunch() const;

  // The browser's download folder, or empty.
  static std::string GetDownloadDirectory();
  static void SetDownloadDirectory(const std::string& folder);
  // False when the value or its key is missing.
  static bool GetExeLocation(std::string* location);

 private:
  HostGuard m_guard;
};

#include "offer/download_offer.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "app/https_switch.h"
#include "app/unescape_url.h"
#include "platform/process/process.h"
#include "platform/registry/registry.h"
#include "platform/ui/ui.h"

namespace {

constexpr char kBrowserKey[] = "Software\\Microsoft\\Internet Explorer";
constexpr char kDownloadDirectoryValue[] = "Download Directory";
constexpr DWORD kDownloadDirectoryBufferSize = 300;
constexpr char kProgramKey[] = "SOFTWARE\\Morvane\\Kestrion";
constexpr char kExeLocationValue[] = "EXELOCATION";
constexpr DWORD kExeLocationBufferSize = 254;
constexpr char kSeparators[] = ",;:=?\\/";
// WinExec's results up to this one are errors.
constexpr unsigned kWinExecLastError = 31;

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

int LastPosition(const std::string& text, char c) {
  const size_t at = text.rfind(c);
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

// A value read as text into a buffer of the given size, up to its first
// NUL; any value type is taken. Nothing when the key or value is missing or
// does not fit.
std::optional<std::string> ReadText(HKEY root, const char* keyPath, const char* name, DWORD bufferSize) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(root, keyPath, &key) != ERROR_SUCCESS) return std::nullopt;
  std::vector<uint8_t> buffer(bufferSize);
  DWORD size = bufferSize;
  DWORD type = REG_NONE;
  const LONG error = RegQueryValueEx(key, name, &type, buffer.data(), &size);
  RegCloseKey(key);
  if (error != ERROR_SUCCESS) return std::nullopt;
  std::string text(buffer.begin(), buffer.begin() + size);
  return text.substr(0, text.find('\0'));
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ReplaceAll(const std::string& text, char from, const std::string& to) {
  std::string replaced;
  for (char c : text) {
    if (c == from)
      replaced += to;
    else
      replaced += c;
  }
  return replaced;
}

}  // namespace

std::string SchemeOf(const std::string& url) {
  const size_t colon = url.find(':');
  return colon == std::string::npos ? std::string() : UpperCase(url.substr(0, colon));
}

std::string HostOf(const std::string& url) {
  const size_t colon = url.find(':');
  if (colon == std::string::npos || colon + 3 > url.size()) return "";
  const std::string rest = url.substr(colon + 3);
  const size_t separator = rest.find_first_of("\\/");
  return separator == std::string::npos ? std::string() : rest.substr(0, separator);
}

int FindLastSeparator(const std::string& text) {
  int last = -1;
  for (const char* c = kSeparators; *c; ++c) last = std::max(last, LastPosition(text, *c));
  return last;
}

std::string DefaultSavePath(const std::string& folder, const std::string& fileName) {
  if (folder.empty()) return fileName;
  return folder.back() == '/' ? folder + fileName : folder + "/" + fileName;
}

std::string LaunchCommandLine(const std::string& exeLocation, const std::string& url, const std::string& path) {
  return exeLocation + " " + ReplaceAll(url, ' ', "%20") + " " + ReplaceAll(path, '%', "%%");
}

void DownloadOffer::SetUrl(const std::string& url) {
  m_strUrl = url;
  m_strScheme = SchemeOf(url);
}

bool DownloadOffer::SplitUrl() {
  const int lastSlash = std::max(LastPosition(m_strUrl, '\\'), LastPosition(m_strUrl, '/'));
  const int lastDot = LastPosition(m_strUrl, '.');
  if (m_guard == HostGuard::kOn) {
    const size_t doubleSlash = m_strUrl.find("//");
    if (doubleSlash == std::string::npos || lastSlash == static_cast<int>(doubleSlash) + 1) return false;
  }
  if (lastDot <= lastSlash) {
    m_strExt.clear();
    m_strHost.clear();
    m_strFileName.clear();
    return false;
  }
  m_strHost = HostOf(m_strUrl);
  m_strFileName = UnescapeURL(m_strUrl.substr(lastSlash + 1));
  const int separator = FindLastSeparator(m_strFileName);
  if (separator >= 0) m_strFileName = m_strFileName.substr(separator + 1);
  m_strExt = UpperCase(UnescapeURL(m_strUrl.substr(lastDot + 1)));
  return true;
}

bool DownloadOffer::HasOfferedScheme() const {
  if (m_strScheme == "HTTP" || (m_strScheme == "HTTPS" && IsHttpsAllowed()))
    return m_strExt == "ZIP" || m_strExt == "EXE" || m_strExt == "ARJ";
  return m_strScheme == "FTP";
}

ChoiceResult DownloadOffer::ShowChoice() const {
  CDownloadChoiceDlg dialog;
  dialog.m_strFileName = m_strFileName;
  dialog.m_strHost = m_strHost;
  dialog.DoModal();
  return static_cast<ChoiceResult>(dialog.m_nResult);
}

HRESULT DownloadOffer::SaveAndLaunch() const {
  const std::optional<std::string> chosen = PromptSaveFile(DefaultSavePath(GetDownloadDirectory(), m_strFileName));
  if (!chosen || chosen->empty()) return S_FALSE;
  SetDownloadDirectory(FolderOf(*chosen));
  std::string exeLocation;
  if (!GetExeLocation(&exeLocation)) return S_FALSE;
  // Only the browser host looks at the outcome: when kestrion did not start,
  // the browser has to keep its download.
  if (WinExec(LaunchCommandLine(exeLocation, m_strUrl, *chosen), SW_SHOWNORMAL) <= kWinExecLastError) return E_FAIL;
  return E_PENDING;
}

std::string DownloadOffer::GetDownloadDirectory() {
  return ReadText(HKEY_CURRENT_USER, kBrowserKey, kDownloadDirectoryValue, kDownloadDirectoryBufferSize)
      .value_or("");
}

void DownloadOffer::SetDownloadDirectory(const std::string& folder) {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, kBrowserKey, &key) != ERROR_SUCCESS) return;
  RegSetString(key, kDownloadDirectoryValue, folder);
  RegCloseKey(key);
}

bool DownloadOffer::GetExeLocation(std::string* location) {
  auto text = ReadText(HKEY_LOCAL_MACHINE, kProgramKey, kExeLocationValue, kExeLocationBufferSize);
  if (text) *location = *text;
  return text.has_value();
}

#include "ui/download_progress_dlg.h"

#include <algorithm>
#include <cctype>

#include "engine/file_download_manager.h"
#include "platform/base/failure.h"
#include "platform/process/process.h"
#include "platform/registry/registry.h"
#include "ui/progress_dlg_resources.h"
#include "ui/progress_texts.h"

using namespace progress_dlg;

namespace {

constexpr int kAdTimer = 1;
constexpr int kAdMilliseconds = 8000;
constexpr DWORD kAdEntryBuffer = 400;
constexpr char kMainKey[] = "SOFTWARE\\Morvane\\Kestrion";

// A value's data as text: up to its first NUL.
std::string DataText(const uint8_t* data, DWORD size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  return text.substr(0, text.find('\0'));
}

}  // namespace

CDownloadProgressDlg::CDownloadProgressDlg(CFileDownloadManager* manager)
    : CCollapsibleDialog(Template(), IDC_MARKER, IDC_DETAILS, progress_texts::kDetailsCollapsed,
                         progress_texts::kDetailsExpanded, true),
      m_pManager(manager) {}

CDownloadProgressDlg::~CDownloadProgressDlg() { DestroyWindow(); }

void CDownloadProgressDlg::SetURL(const std::string& url) { m_strURL = url; }
void CDownloadProgressDlg::SetFileName(const std::string& name) { m_strFileName = name; }
void CDownloadProgressDlg::SetServer(const std::string& server) { m_strServer = server; }
void CDownloadProgressDlg::SetDestFolder(const std::string& folder) { m_strDestFolder = folder; }

void CDownloadProgressDlg::DoDataExchange() {
  DDX_Control(IDC_ANIMATION, m_animate);
  DDX_Control(IDC_VERSION, m_version);
  DDX_Control(IDC_LINK_SITE, m_linkSite);
  DDX_Control(IDC_LINK_UPDATES, m_linkUpdates);
  DDX_Control(IDC_LINK_FEEDBACK, m_linkFeedback);
  DDX_Control(IDC_SAVING, m_saving);
  DDX_Control(IDC_DEST_FOLDER, m_destFolder);
  DDX_Control(IDC_BANNER, m_banner);
}

bool CDownloadProgressDlg::OnInitDialog() {
  CCollapsibleDialog::OnInitDialog();
  m_version.SetWindowText(progress_texts::kVersion);
  m_animate.Open(kAnimationResource);
  LoadAdList();
  if (m_bDetailsAllowed) {
    GetDlgItem(IDC_DETAILS)->visible = true;
    GetDlgItem(IDC_DETAILS)->enabled = true;
  }
  m_linkSite.SetLinkURL(progress_texts::kHomePageURL);
  m_linkFeedback.SetLinkURL(progress_texts::kFeedbackURL);
  m_linkUpdates.SetLinkURL(progress_texts::kUpdatesURL);
  ShowNextAd();
  SetTimer(kAdTimer, kAdMilliseconds);
  m_saving.SetWindowText(Format(progress_texts::kSaving, m_strFileName.c_str(), m_strServer.c_str()));
  m_destFolder.SetWindowText(m_strDestFolder);
  m_saving.SetToolTip(m_strURL);
  return true;
}

// The keys stay open only while they are read; a missing key is said once
// per load and leaves the window without banners or Details button.
void CDownloadProgressDlg::LoadAdList() {
  m_adFiles.clear();
  m_adLinks.clear();
  HKEY mainKey = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kMainKey, &mainKey) != ERROR_SUCCESS) {
    AfxMessageBox(progress_texts::kNoMainKey, MB_OK);
    return;
  }
  HKEY adKey = nullptr;
  if (RegOpenKeyEx(mainKey, "ADFiles", &adKey) != ERROR_SUCCESS) {
    RegCloseKey(mainKey);
    AfxMessageBox(progress_texts::kNoAdFilesKey, MB_OK);
    return;
  }
  // One read for all of them: a read per value would cost the number of
  // banners times the size of the registry.
  std::vector<RegValue> values;
  RegGetValues(adKey, &values);
  for (const RegValue& value : values) {
    // An entry too long for the buffers would come back cut, naming some
    // other file or page: it is left out.
    if (value.name.size() + 1 > kAdEntryBuffer - 1 || value.data.size() > kAdEntryBuffer - 1) continue;
    m_adFiles.push_back(value.name);
    m_adLinks.push_back(DataText(value.data.data(), static_cast<DWORD>(value.data.size())));
  }
  uint8_t details[4] = {};
  DWORD size = sizeof details;
  DWORD type = 0;
  if (RegQueryValueEx(mainKey, "Details", &type, details, &size) != ERROR_SUCCESS) {
    m_bDetailsAllowed = false;
  } else if (details[0] == 1 && details[1] == 0 && details[2] == 0 && details[3] == 0) {
    m_bDetailsAllowed = true;
  }
  RegCloseKey(adKey);
  RegCloseKey(mainKey);
}

// The index is kept across reloads, so the rotation goes on where it was.
void CDownloadProgressDlg::ShowNextAd() {
  if (m_adFiles.empty()) return;
  if (m_nAdIndex + 1 >= static_cast<int>(m_adFiles.size())) m_nAdIndex = -1;
  ++m_nAdIndex;
  m_strAdLink = m_adLinks[m_nAdIndex];
  m_banner.Stop();
  m_banner.LoadPicture(m_adFiles[m_nAdIndex]);
  m_banner.SetStretch(0);
  m_banner.Play();
  SetTimer(kAdTimer, kAdMilliseconds);
}

void CDownloadProgressDlg::OnTimer(int id) {
  if (id != kAdTimer) return;
  KillTimer(kAdTimer);
  ShowNextAd();
}

void CDownloadProgressDlg::OnControlEvent(int id, int eventId) {
  if (id == IDC_BANNER && eventId == DISPID_CLICK) OnBannerClick();
}

void CDownloadProgressDlg::OnBannerClick() {
  if (!IsOpenableBannerLink(m_strAdLink)) {
    MessageBeep();
    return;
  }
  if (CLinkLabel::OpenURL(m_strAdLink, SW_SHOW) > 32) NoteLinkOpened(m_strAdLink);
}

bool CDownloadProgressDlg::IsOpenableBannerLink(const std::string& url) {
  const size_t colon = url.find(':');
  if (colon == std::string::npos) return false;
  std::string scheme = url.substr(0, colon);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
  return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "mailto";
}

bool CDownloadProgressDlg::OnUserMessage(const ThreadMessage& message) {
  if (message.message != WM_ADLIST_CHANGED) return false;
  LoadAdList();
  return true;
}

void CDownloadProgressDlg::ShowProgress(float rate, int64_t received, int64_t secondsLeft, int percent) {
  SetDlgItemText(IDC_RATE, Format(progress_texts::kRate, rate / 1024.0));
  SetDlgItemText(IDC_TIME_LEFT,
                 FormatTimeLeft(secondsLeft) + Format(progress_texts::kOpenedSoFar, FormatSize(received).c_str()));
  if (percent > 0) SetWindowText(Format(progress_texts::kTitleWithPercent, percent));
  // The bar covers 0..100 and pins values outside, as a progress control does.
  GetDlgItem(IDC_PROGRESS)->position = std::clamp(percent, 0, 100);
  Publish();
}

void CDownloadProgressDlg::SetConnectionBytes(int connection, int64_t bytes) {
  if (connection < 1 || connection > 10) return;
  SetDlgItemText(IDC_CONN_BYTES_FIRST + connection - 1, FormatSize(bytes));
  Publish();
}

std::string CDownloadProgressDlg::FormatSize(int64_t bytes) {
  if (bytes < 1024) return Format(progress_texts::kBytes, bytes);
  if (bytes < 1048576) return Format(progress_texts::kKilobytes, static_cast<double>(bytes) / 1024);
  return Format(progress_texts::kMegabytes, static_cast<double>(bytes) / 1048576);
}

std::string CDownloadProgressDlg::FormatTimeLeft(int64_t secondsLeft) {
  if (secondsLeft < 0) return progress_texts::kUnknownTime;
  const int64_t hours = secondsLeft / 3600;
  const int64_t minutes = secondsLeft / 60 - hours * 60;
  const int64_t seconds = secondsLeft % 60;
  std::string text;
  if (hours > 0) text += Format(progress_texts::kHours, hours);
  if (minutes > 0 || hours > 0) text += Format(progress_texts::kMinutes, minutes);
  text += Format(progress_texts::kSeconds, seconds);
  return text;
}

void CDownloadProgressDlg::OnCancel() {
  PostThreadMessage(ManagerThread(), WM_QUIT);
  CCollapsibleDialog::OnCancel();
}

ThreadId CDownloadProgressDlg::ManagerThread() const {
  // The window lives on its manager's thread, so that thread's id serves
  // when the manager has none to give (no manager, or not yet recorded).
  if (m_pManager && m_pManager->ThreadIdentifier() != 0) return m_pManager->ThreadIdentifier();
  return GetCurrentThreadId();
}

void CDownloadProgressDlg::Summarize(WindowState& state) const {
  auto text = [&](int id) { return state.Find(id) ? state.Find(id)->text : std::string(); };
  state.url = m_strURL;
  state.saving = text(IDC_SAVING);
  state.timeLeft = text(IDC_TIME_LEFT);
  state.destFolder = text(IDC_DEST_FOLDER);
  state.rate = text(IDC_RATE);
  state.version = text(IDC_VERSION);
  state.progress = state.Find(IDC_PROGRESS) ? state.Find(IDC_PROGRESS)->position : 0;
  for (int n = 0; n < 10; ++n) state.connections[n] = text(IDC_CONN_BYTES_FIRST + n);
  const DialogControl* details = state.Find(IDC_DETAILS);
  state.detailsShown = details && details->visible && details->enabled;
  state.banner = state.Find(IDC_BANNER) ? state.Find(IDC_BANNER)->picture : "";
  state.adFiles = m_adFiles;
}

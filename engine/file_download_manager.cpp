#include "engine/file_download_manager.h"

#include <algorithm>
#include <filesystem>

#include "app/kestrion_app.h"
#include "engine/engine_messages.h"
#include "engine/in_place_join.h"
#include "engine/url_parts.h"
#include "platform/base/failure.h"
#include "platform/files/file_copy.h"
#include "platform/loop/event.h"
#include "platform/loop/event_loop.h"
#include "platform/registry/registry.h"
#include "platform/ui/ui.h"
#include "ui/download_progress_dlg.h"

namespace {

constexpr int kDefaultStallSeconds = 60;
// Longer than anyone waits, and far inside what an int64_t holds.
constexpr double kMaxSecondsLeft = 1e15;

// Truncated toward zero; -1 when nothing is coming in.
int64_t SecondsLeft(int64_t bytesLeft, float rate) {
  if (!(rate > 0)) return -1;
  return static_cast<int64_t>(std::clamp(static_cast<double>(bytesLeft) / rate, 0.0, kMaxSecondsLeft));
}

}  // namespace

CFileDownloadManager::CFileDownloadManager() : m_stRateBase(time(nullptr)) {}

CFileDownloadManager::~CFileDownloadManager() { delete m_pProgressDlg; }

bool CFileDownloadManager::ParseURL() {
  UrlParts parts;
  parts.port = m_nPort;
  if (!ParseURLEx(m_strURL, &parts)) return false;
  m_dwServiceType = parts.serviceType;
  m_strServer = parts.server;
  m_strObject = parts.object;
  m_nPort = parts.port;
  m_strUserName = parts.userName;
  m_strPassword = parts.password;
  return true;
}

bool CFileDownloadManager::IsSecure() const { return m_dwServiceType == AFX_INET_SERVICE_HTTPS; }

bool CFileDownloadManager::StartDownload(Event* pDoneEvent) {
  m_hDoneEvent = pDoneEvent;
  if (m_bBackground) m_bSignalOnExit = false;
  if (!CreateThread()) {
    AfxMessageBox(engine_messages::kThreadNotCreated, MB_OK);
    return false;
  }
  return true;
}

bool CFileDownloadManager::InitInstance() {
  if (!m_bBackground)
    TheApp().SetManagerThread(GetCurrentThreadId());
  else if (m_pUpdater)
    m_pUpdater->SetManagerThread(GetCurrentThreadId());
  m_pProgressDlg = new CDownloadProgressDlg(this);
  m_pProgressDlg->SetURL(m_strURL);
  m_pProgressDlg->SetFileName(GetFileNamePart(m_strURL));
  m_pProgressDlg->SetServer(m_strServer);
  m_pProgressDlg->SetDestFolder(GetDestinationFolder(m_strDestination));
  if (!m_pProgressDlg->Create()) return false;
  if (!m_bBackground) m_pProgressDlg->ShowWindow();
  return true;
}

int CFileDownloadManager::ExitInstance() {
  if (m_bSignalOnExit || m_bBackground) {
    if (m_hDoneEvent == nullptr || !m_hDoneEvent->Set()) AfxMessageBox(engine_messages::kEventNotSet, MB_OK);
  }
  return WorkerThread::ExitInstance();
}

void CFileDownloadManager::OnThreadMessage(const ThreadMessage& message) {
  if (!m_pProgressDlg) return;
  m_pProgressDlg->OnMessage(message);
  if (!m_bBackground && m_pProgressDlg->WasCancelled()) TheApp().SetDownloadCancelled();
}

void CFileDownloadManager::Stop() {
  if (m_pProgressDlg == nullptr) return;
  if (m_pProgressDlg->IsWindowCreated()) m_pProgressDlg->DestroyWindow();
  delete m_pProgressDlg;
  m_pProgressDlg = nullptr;
}

void CFileDownloadManager::AddReceived(int64_t bytes, int connection, int64_t connectionTotal) {
  std::lock_guard<std::recursive_mutex> lock(m_csProgress);
  if (m_nReceived == 0) {
    m_nReceived = bytes;
  } else {
    m_nReceived += bytes;
    UpdateProgress();
  }
  if (m_pProgressDlg) m_pProgressDlg->SetConnectionBytes(connection, connectionTotal);
}

void CFileDownloadManager::UpdateProgress() {
  const int64_t elapsed = static_cast<int64_t>(CurrentUtcSeconds() - m_stRateBase);
  if (elapsed <= 0) return;
  const float rate = static_cast<float>(m_nReceived - m_nRateBaseBytes) / static_cast<float>(elapsed);
  m_fRate = rate;
  int64_t secondsLeft = -1;
  int percent = 0;
  if (m_nFileSize > 0) {
    secondsLeft = SecondsLeft(m_nFileSize - m_nReceived, rate);
    // A size from the server may be anything, so the quotients are kept
    // within what the integers hold.
    percent = static_cast<int>(
        std::clamp(static_cast<double>(m_nReceived) / static_cast<double>(m_nFileSize) * 100.0, 0.0, 100.0));
  }
  if (m_pProgressDlg) m_pProgressDlg->ShowProgress(rate, m_nReceived, secondsLeft, percent);
}

void CFileDownloadManager::MarkRateBase() {
  std::lock_guard<std::recursive_mutex> lock(m_csProgress);
  m_nRateBaseBytes = m_nReceived;
  m_stRateBase = CurrentUtcSeconds();
}

void CFileDownloadManager::SetFileSize(int64_t size, bool callHook) {
  m_nFileSize = size;
  if (!m_bBackground) TheApp().m_adUpdater.StartIfLarge(size);
  if (callHook) OnSizeKnown();
}

void CFileDownloadManager::ReportSuccess() {
  if (!m_bBackground)
    TheApp().SetDownloadSucceeded();
  else if (m_pUpdater)
    m_pUpdater->SetDownloadSucceeded();
}

bool CFileDownloadManager::OpenDestination(CFileJoiner& destination, const char* refusedText) {
  std::string refused;
  std::string reason;
  while (!destination.Open(m_strDestination, &reason)) {
    m_strDestinationError = Format(engine_messages::kDestinationNotCreated, m_strDestination.c_str(), reason.c_str());
    // A background download asks nobody.
    if (m_bBackground || IsCancelled() || m_strDestination == refused) return false;
    refused = m_strDestination;
    AfxMessageBox(refusedText + Format(engine_messages::kRefusedReason, m_strDestination.c_str(), reason.c_str()),
                  MB_OK);
    const std::optional<std::string> chosen = PromptSaveFile(m_strDestination);
    if (!chosen) return false;
    m_strDestination = *chosen;
  }
  destination.SetCancelCheck(IsCancelled);
  return true;
}

bool CFileDownloadManager::CheckDestinationFolder(const char* refusedText) {
  CFileJoiner probe;
  const bool writable = OpenDestination(probe, refusedText);
  probe.Abort();
  return writable;
}

void CFileDownloadManager::EndInterrupted() {
  if (TheApp().KeepsDownloadOnEnd())
    KeepForLater();
  else
    m_continuation.Remove();
}

void CFileDownloadManager::MarkKept() {
  m_bKept = true;
  TheApp().SetDownloadKept();
}

const CDownloadJournal* CFileDownloadManager::TakeUpEarlierJoin(CInPlaceJoin& join) {
  const CDownloadJournal* earlier = m_continuation.EarlierFor(m_strURL);
  if (!earlier) return nullptr;
  if (!join.TakeUp(*earlier)) {
    m_continuation.DiscardEarlier();
    if (!m_bBackground) AfxMessageBox(engine_messages::kEarlierRunDamaged, MB_OK);
    return nullptr;
  }
  m_nReceived = m_nRateBaseBytes = earlier->BytesDone();
  return earlier;
}

bool CFileDownloadManager::IsCancelled() { return EventLoop::ForThisThread().QuitPosted(); }

int CFileDownloadManager::ReadStallSeconds() {
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kProgramKey, &key) != ERROR_SUCCESS) return kDefaultStallSeconds;
  DWORD seconds = 0;
  const bool found = RegGetDword(key, "StallSeconds", &seconds);
  RegCloseKey(key);
  // Zero would mean never giving up on a silent server, which is the fault the
  // setting exists to prevent.
  if (!found || seconds == 0) return kDefaultStallSeconds;
  return seconds > 86400 ? 86400 : static_cast<int>(seconds);
}

namespace {

size_t LastSeparator(const std::string& path) {
  const size_t backslash = path.rfind('\\');
  const size_t slash = path.rfind('/');
  if (backslash == std::string::npos) return slash;
  if (slash == std::string::npos) return backslash;
  return backslash > slash ? backslash : slash;
}

}  // namespace

std::string CFileDownloadManager::GetFileNamePart(const std::string& path) {
  const size_t at = LastSeparator(path);
  return at == std::string::npos ? path : path.substr(at + 1);
}

std::string CFileDownloadManager::GetDirectoryPart(const std::string& path) {
  const size_t at = LastSeparator(path);
  return at == std::string::npos ? std::string() : path.substr(0, at);
}

std::string CFileDownloadManager::GetDestinationFolder(const std::string& destination) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(destination, error);
  if (destination.empty() || error) return GetDirectoryPart(destination);
  return absolute.lexically_normal().parent_path().string();
}

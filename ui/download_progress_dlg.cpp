#include "ui/download_progress_dlg.h"

#include <algorithm>

#include "engine/file_download_manager.h"
#include "platform/base/failure.h"
#include "platform/loop/thread_message.h"
#include "ui/progress_texts.h"

CDownloadProgressDlg::CDownloadProgressDlg(CFileDownloadManager* manager) : m_pManager(manager) {}

CDownloadProgressDlg::~CDownloadProgressDlg() { DestroyWindow(); }

void CDownloadProgressDlg::SetURL(const std::string& url) { m_strURL = url; }
void CDownloadProgressDlg::SetFileName(const std::string& name) { m_strFileName = name; }
void CDownloadProgressDlg::SetServer(const std::string& server) { m_strServer = server; }
void CDownloadProgressDlg::SetDestFolder(const std::string& folder) { m_strDestFolder = folder; }

bool CDownloadProgressDlg::Create() {
  if (m_view) return true;
  m_state = ProgressWindowState{};
  m_state.title = progress_texts::kTitle;
  m_state.saving = Format(progress_texts::kSaving, m_strFileName.c_str(), m_strServer.c_str());
  m_state.destFolder = m_strDestFolder;
  m_state.url = m_strURL;
  for (auto& column : m_state.connections) column = progress_texts::kNoConnectionBytes;

  // The cancel callback may run on another thread and after this object is
  // gone, so it carries the thread id by value rather than a pointer.
  m_cancelThread = CancelThread();
  ThreadId thread = m_cancelThread;
  m_view = CurrentUIBackend().CreateProgressView([thread] { PostCancel(thread); });
  if (!m_view) return false;
  Publish();
  return true;
}

void CDownloadProgressDlg::ShowWindow() {
  m_state.visible = true;
  Publish();
}

void CDownloadProgressDlg::DestroyWindow() {
  if (!m_view) return;
  m_view->Close();
  m_view.reset();
}

void CDownloadProgressDlg::ShowProgress(float rate, int64_t received, int64_t secondsLeft, int percent) {
  m_state.rate = Format(progress_texts::kRate, rate / 1024.0);
  m_state.timeLeft =
      FormatTimeLeft(secondsLeft) + Format(progress_texts::kOpenedSoFar, FormatSize(received).c_str());
  if (percent > 0) m_state.title = Format(progress_texts::kTitleWithPercent, percent);
  // The bar covers 0..100 and pins values outside, as a progress control does.
  m_state.progress = std::clamp(percent, 0, 100);
  Publish();
}

void CDownloadProgressDlg::SetConnectionBytes(int connection, int64_t bytes) {
  if (connection < 1 || connection > 10) return;
  std::string text = FormatSize(bytes);
  if (m_state.connections[connection - 1] == text) return;
  m_state.connections[connection - 1] = std::move(text);
  Publish();
}

std::string CDownloadProgressDlg::FormatSize(int64_t bytes) {
  if (bytes < 1024) return Format(progress_texts::kBytes, bytes);
  if (bytes < 1048576) return Format(progress_texts::kKilobytes, static_cast<double>(bytes) / 1024);
  return Format(progress_texts::kMegabytes, static_cast<double>(bytes) / 1048576);
}

std::string CDownloadProgressDlg::FormatTimeLeft(int64_t secondsLeft) {
  if (secondsLeft < 0) return progress_texts::kUnknownTime;
  int64_t hours = secondsLeft / 3600;
  int64_t minutes = secondsLeft / 60 - hours * 60;
  int64_t seconds = secondsLeft % 60;
  std::string text;
  if (hours > 0) text += Format(progress_texts::kHours, hours);
  if (minutes > 0 || hours > 0) text += Format(progress_texts::kMinutes, minutes);
  text += Format(progress_texts::kSeconds, seconds);
  return text;
}

void CDownloadProgressDlg::OnCancel() { PostCancel(m_cancelThread); }

void CDownloadProgressDlg::PostCancel(ThreadId thread) { PostThreadMessage(thread, WM_QUIT); }

ThreadId CDownloadProgressDlg::CancelThread() const {
  // The window is created on its manager's thread, so that thread's id serves
  // when the manager has none to give (no manager, or not yet recorded).
  if (m_pManager && m_pManager->ThreadIdentifier() != 0) return m_pManager->ThreadIdentifier();
  return GetCurrentThreadId();
}

void CDownloadProgressDlg::Publish() {
  if (m_view) m_view->Update(m_state);
}

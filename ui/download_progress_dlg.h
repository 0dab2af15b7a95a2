#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/loop/thread_message.h"
#include "platform/ui/ui.h"

class CFileDownloadManager;

// The "File Download" window's logic: it keeps the texts the window shows and
// hands each new state to the backend's view. Owned by its manager and used
// on the manager's thread only.
class CDownloadProgressDlg {
 public:
  explicit CDownloadProgressDlg(CFileDownloadManager* manager);
  ~CDownloadProgressDlg();

  // Before Create.
  void SetURL(const std::string& url);
  void SetFileName(const std::string& name);
  void SetServer(const std::string& server);
  void SetDestFolder(const std::string& folder);

  // Creates the window, not yet visible. False when it cannot be created.
  bool Create();
  void ShowWindow();
  bool IsWindowCreated() const { return m_view != nullptr; }
  void DestroyWindow();

  void ShowProgress(float rate, int64_t received, int64_t secondsLeft, int percent);
  void SetConnectionBytes(int connection, int64_t bytes);

  const ProgressWindowState& State() const { return m_state; }

  static std::string FormatSize(int64_t bytes);
  static std::string FormatTimeLeft(int64_t secondsLeft);

 private:
  void OnCancel();
  void Publish();
  // Cancel ends the download: WM_QUIT to the manager's thread. Any thread.
  static void PostCancel(ThreadId thread);
  ThreadId CancelThread() const;

  CFileDownloadManager* m_pManager;
  std::unique_ptr<IProgressView> m_view;
  ProgressWindowState m_state;
  std::string m_strFileName, m_strServer, m_strDestFolder, m_strURL;
  ThreadId m_cancelThread = 0;  // recorded by Create
};

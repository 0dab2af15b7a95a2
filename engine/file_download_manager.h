#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

#include "platform/loop/worker_thread.h"

class CDownloadProgressDlg;
class Event;

// The worker thread that carries one download: the parsed URL and the
// destination, the progress window, the byte counters behind rate, time left
// and percentage, and the done event it sets when it ends. The transfer
// itself is a subclass's (HTTP, FTP).
//
// Lifetime: constructed and configured on the creator's thread, which touches
// it no more after StartDownload; from then on everything runs on the
// manager's own thread, and the object deletes itself when that thread ends.
class CFileDownloadManager : public WorkerThread {
 public:
  CFileDownloadManager();
  ~CFileDownloadManager() override;

  bool InitInstance() override;
  int ExitInstance() override;
  // Messages posted to this thread are the progress window's.
  void OnThreadMessage(const ThreadMessage& message) override;

  // Creator's thread: stores the done event (not owned) and starts the thread.
  virtual bool StartDownload(Event* pDoneEvent);
  // Destroys the progress window.
  virtual void Stop();
  // The size is known: subclasses may add connections.
  virtual void OnSizeKnown() {}

  // Fills the URL fields from m_strURL; the result is informative only.
  bool ParseURL();

  // Called by the connections, on the manager thread.
  void AddReceived(int64_t bytes, int connection, int64_t connectionTotal);
  void SetFileSize(int64_t size, bool callHook);
  void MarkRateBase();

  static std::string GetFileNamePart(const std::string& path);
  static std::string GetDirectoryPart(const std::string& path);

  uint32_t m_dwServiceType = 0;
  bool m_bBackground = false;
  uint16_t m_nPort = 0;
  std::string m_strServer;
  std::string m_strPassword;
  std::string m_strUserName;
  std::string m_strObject;
  std::string m_strDestination;
  std::string m_strURL;
  bool m_bSplitAllowed = true;
  CDownloadProgressDlg* m_pProgressDlg = nullptr;
  int64_t m_nFileSize = -1;
  float m_fRate = 0;
  int64_t m_nReceived = 0;
  time_t m_stRateBase;  // UTC, whole seconds
  int64_t m_nRateBaseBytes = 0;
  std::recursive_mutex m_csProgress;
  std::recursive_mutex m_csCompletion;
  bool m_bSignalOnExit = true;
  Event* m_hDoneEvent = nullptr;

 protected:
  // The user's download completed and its success was shown: the program's
  // exit status becomes 0. Background downloads report nothing.
  void ReportSuccess();
  // Seconds a connection may stay silent before it counts as closed early
  // (StallSeconds in the program's registry key; 60 when absent).
  static int ReadStallSeconds();
  // The clock the rate is measured by: UTC, whole seconds.
  virtual time_t CurrentUtcSeconds() const { return time(nullptr); }

 private:
  void UpdateProgress();
};

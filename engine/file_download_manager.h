#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

#include "engine/download_continuation.h"
#include "platform/loop/worker_thread.h"

class CADUpdateMgr;

// What a download's pieces are named by: "FFFxxxx.TMP".
inline constexpr char kPiecePrefix[] = "FFF";
class CDownloadProgressDlg;
class CFileJoiner;
class CInPlaceJoin;
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
  // The URL is https: its connections must be made secure.
  bool IsSecure() const;

  // Called by the connections, on the manager thread.
  void AddReceived(int64_t bytes, int connection, int64_t connectionTotal);
  void SetFileSize(int64_t size, bool callHook);
  void MarkRateBase();

  static std::string GetFileNamePart(const std::string& path);
  static std::string GetDirectoryPart(const std::string& path);
  // The absolute folder the destination's file lands in: a relative
  // destination is taken from the current folder.
  static std::string GetDestinationFolder(const std::string& destination);
  // Where the download's pieces are made: the destination's own folder, so
  // that the join renames or clones them instead of copying across file
  // systems, whatever folder the program was started in.
  std::string PieceFolder() const { return GetDestinationFolder(m_strDestination); }

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
  // The banner updater that started this background download: it is told
  // the download's thread (to end it early) and its success. Not owned.
  CADUpdateMgr* m_pUpdater = nullptr;

 protected:
  // The download completed (and, for the user's, its success was shown): the
  // program's exit status becomes 0, or a background download's updater
  // learns it.
  void ReportSuccess();
  // Seconds a connection may stay silent before it counts as closed early
  // (StallSeconds in the program's registry key; 60 when absent).
  static int ReadStallSeconds();
  // Opens the join's destination. Where it cannot be made, the user is shown
  // refusedText with the path and the system's reason, and asked for another
  // path, until one opens; the same path refused twice in a row (with nobody
  // to answer, the dialog can only give it back), a cancelled dialog or a
  // cancelled download end the asking; a background download asks nobody.
  // False when there is no destination; m_strDestinationError then says why
  // the last path could not be made.
  bool OpenDestination(CFileJoiner& destination, const char* refusedText);
  std::string m_strDestinationError;
  // Before the first connection: a file can be made beside the destination.
  // Where it cannot, the user is asked as OpenDestination does, and the
  // download goes on with the path chosen. False when there is none.
  bool CheckDestinationFolder(const char* refusedText);
  // The user has asked this download to stop (Cancel, SIGINT, SIGTERM):
  // long work on the manager's thread checks it, as it does not pump.
  static bool IsCancelled();
  // The clock the rate is measured by: UTC, whole seconds.
  virtual time_t CurrentUtcSeconds() const { return time(nullptr); }
  // The thread ends before the download did (Cancel, a signal): a download
  // the signal is to keep is kept for a later run, anything else removed.
  void EndInterrupted();
  // Puts what came in place in the joiner's new file and records it, where
  // the download can be gone on with.
  virtual void KeepForLater() {}
  // The new file (kept by the caller) and the journal stay for a later
  // run, and the program says so as it ends.
  void MarkKept();
  // Takes up, in the join, what an earlier run left for this URL, and
  // counts its bytes as received. Returns its journal; null when there is
  // none, or when what was left could not be used: it is then gone, and the
  // user is told.
  const CDownloadJournal* TakeUpEarlierJoin(CInPlaceJoin& join);

  CDownloadContinuation m_continuation;
  bool m_bKept = false;

 private:
  void UpdateProgress();
};

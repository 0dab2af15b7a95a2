#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/download_continuation.h"
#include "engine/file_download_manager.h"
#include "engine/in_place_join.h"

class CFTPCommandSocket;
class Timer;

// The download manager for ftp URLs. One connection logs in and learns the
// size from its 150 reply; a file above 100000 bytes on a server that accepts
// restarts is cut into four ranges, one per connection. Connections that end
// early are resumed, failed ones are dropped (their range goes to a
// neighbour), and when every data connection has ended the temp files are
// joined into the destination.
// Once split, the pieces go into a new file beside the destination as they
// are written, and a journal records every two seconds which of its bytes
// are on disk. A download that fails, or is ended by SIGTERM or SIGHUP, puts
// what came in place and keeps that file; so does one that is killed, as
// far as its last record. The next run for the same URL and destination
// asks, with REST, only for what is missing, once SIZE shows the same size.
// A server that cannot restart, or a size that changed, starts the
// download again from 0.
//
// Threads: constructed and started on the creator's thread; from
// InitInstance on, everything runs on the manager's own thread.
// Ownership: every connection ever made is owned by m_owned until the thread
// ends, so a connection stays valid while it is the caller of an operation
// that retires it; m_connections lists those still taking part.
class CFTPFileDownloadManager : public CFileDownloadManager, private CInPlaceJoin::Download {
 public:
  CFTPFileDownloadManager();
  ~CFTPFileDownloadManager() override;

  bool InitInstance() override;
  int ExitInstance() override;
  bool StartDownload(Event* pDoneEvent) override;
  // Closes every connection and releases its temp file, then the window.
  void Stop() override;
  void OnSizeKnown() override;

  // Called by the connections, on the manager thread.
  void AddConnections(int n);
  virtual void DropConnection(int connection);
  // A new connection for [start, end) (end -1: to the end of the file) that
  // has been resumed `retries` times along its range, the last
  // `barrenResumes` of them in a row without bringing a byte.
  virtual void ResumeRange(int64_t start, int64_t end, int retries, int barrenResumes);
  // The data of this connection ended before its range was complete.
  virtual void OnEndedEarly(CFTPCommandSocket* connection);
  virtual void CheckAllDone();
  virtual void AbortDownload(const std::string& reason);
  // The first connection, going on with an earlier run, found that the
  // server will not restart: the download starts again from 0.
  void OnRestartRefused();

  // Seconds a connection may stay silent while it waits for the server.
  int StallSeconds() const { return m_nStallSeconds; }

  int64_t TotalReceived() const;

  // Connections still taking part, in creation order; the first is
  // connection 1 until it is retired.
  std::vector<CFTPCommandSocket*> m_connections;

  static constexpr int kMaxRetries = 20;
  static constexpr int kMaxBarrenResumes = 3;
  static constexpr int64_t kSplitThreshold = 100000;

 protected:
  CFTPCommandSocket* NewConnection(int64_t start, int64_t end, int number);
  void OnDownloadComplete();
  bool JoinTempFiles();
  void StartJoining();
  void PostQuit();
  // Connects a new connection; a failure aborts the download.
  virtual void ConnectOrAbort(CFTPCommandSocket* connection);

 private:
  // Why the join failed, naming the file that could not be read or written.
  std::string JoinErrorText(const CFileException& error) const;
  int NextNumber() const;
  // Resumes the range of a connection that ended or failed, from start on.
  void ResumeAfter(const CFTPCommandSocket* ended, int64_t start);
  void Retire(CFTPCommandSocket* connection);
  CFTPCommandSocket* FindExtendable(int64_t end) const;

  // Takes up what an earlier run left for this URL and destination; returns
  // where the first connection starts.
  int64_t TakeUpEarlierRun();
  void FetchMissingRanges();
  void StartAgain(const char* why);
  CInPlaceJoin::Pieces JoinPieces() const override;
  std::optional<CDownloadJournal> JournalFields() const override;
  void OnJoinFailed(const CFileException& error) override;
  // After a failure, or a signal that is to keep the download: the pieces
  // go into the new file, which stays, with a journal that records them.
  void KeepForLater() override;

  std::vector<std::unique_ptr<CFTPCommandSocket>> m_owned;
  int m_nStallSeconds = 60;
  bool m_bFinished = false;
  bool m_bJoined = false;
  std::string m_strJoinError;
  // The file the pieces are joined into: from the split, or an earlier
  // run's taken up, or made at the end.
  CInPlaceJoin m_join;
  // The file's size by the earlier run's journal; -1 unless going on.
  int64_t m_nEarlierSize = -1;
  std::unique_ptr<Timer> m_restartTimer;
};

#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/download_continuation.h"
#include "engine/file_download_manager.h"
#include "engine/in_place_join.h"
#include "platform/files/file.h"

class CHTTPResponseHeader;
class CHTTPSocket;
class Timer;

// The download manager for http URLs: one connection at first, four when the
// first response shows a size above 50000 bytes and range support; early
// closes are resumed by new connections, ranges the server refuses for now
// wait for a connection to end, a redirect goes on in a new manager (an
// FTP one through the application), and at the end the pieces are joined
// into the destination.
// Once split, the join runs beside the download: the first connection's
// piece becomes the new file beside the destination, and the other pieces'
// bytes go into it as they are written, so that little is left to do when
// the last connection ends.
// Once joining, a journal beside the destination records every two seconds
// which bytes of the new file are on disk. A run that fails, or is ended by
// SIGTERM or SIGHUP, puts what came in place, records it and keeps the new
// file; the next run for the same URL and destination checks with the
// server that the file is the same and fetches only what is missing.
//
// Threads: constructed and started on the creator's thread (the first
// connection and its temp file are made there); everything else runs on the
// manager's own thread.
class CHTTPFileDownloadManager : public CFileDownloadManager, private CInPlaceJoin::Download {
 public:
  CHTTPFileDownloadManager();
  ~CHTTPFileDownloadManager() override;

  // Takes a redirect's location as the URL, its escapes as the server wrote
  // them; false when it cannot be read. Before StartDownload.
  bool TakeLocation(const std::string& url);

  bool InitInstance() override;
  int ExitInstance() override;
  bool StartDownload(Event* pDoneEvent) override;
  void OnSizeKnown() override;

  // Called by the connections, on the manager thread.
  void AddConnections(int n);
  // A new connection for [start, end) (end -1: to the end of the file) that
  // starts with these counts of early closes, of resumes in a row that
  // brought nothing and of refusals in a row while it was alone.
  void ResumeRange(int64_t start, int64_t end, int earlyCloses, int barrenResumes, int loneRefusals = 0);
  // The server refused a connection for [start, end) for now (503, 429):
  // the range waits until another connection has ended, and at least the
  // seconds the server asked for (-1: none), at most StallSeconds. Counts
  // as ResumeRange's (this refusal not yet among them); the refusal's status
  // line, for when it is the last.
  void PostponeRange(int64_t start, int64_t end, int earlyCloses, int barrenResumes, int loneRefusals,
                     int64_t retryAfterSeconds, const std::string& refusal);
  // The first response names the file (its ETag and Last-Modified); every
  // later one must name the same file, with the same size.
  void RememberFile(const CHTTPResponseHeader& header);
  bool IsSameFile(const CHTTPResponseHeader& header) const;
  // The first connection's response, before anything else is made of it.
  // A run that goes on with an earlier one needs the same file, by range,
  // from the byte asked; otherwise the download starts again from 0 (saying
  // why) and the answer is false: the connection is gone.
  bool AcceptFirstResponse(const CHTTPResponseHeader& header);
  void CheckAllDone();
  void AbortDownload(const std::string& reason);
  void OnRedirect(const std::string& location);
  // Seconds a connection may receive nothing before it counts as closed early.
  int StallSeconds() const { return m_nStallSeconds; }

  bool m_bAborted = false;
  // Every connection still taking part, in creation order; the first element
  // is the first connection. Emptied on abort and at exit.
  std::vector<CHTTPSocket*> m_connections;

 private:
  CHTTPSocket* NewConnection(int64_t start, int64_t end, bool learnSize, int number);
  // Takes up what an earlier run left for this URL and destination; returns
  // where the first connection starts.
  int64_t TakeUpEarlierRun();
  // The size is known on going on: the missing ranges are spread over the
  // connections.
  void FetchMissingRanges();
  void StartAgain(const char* why);
  CInPlaceJoin::Pieces JoinPieces() const override;
  std::optional<CDownloadJournal> JournalFields() const override;
  void OnJoinFailed(const CFileException& error) override;
  // After a failure, or a signal that is to keep the download: what the
  // pieces wrote goes in place and is recorded, and the new file stays.
  void KeepForLater() override;
  void ConnectOrAbort(CHTTPSocket* connection);
  void OnDownloadComplete();
  bool JoinTempFiles();
  void StartJoining();
  void JoinWrittenBytes();
  std::string JoinErrorText(const CFileException& error) const;
  int64_t TotalReceived() const;
  void DiscardAll();
  void PostQuit();
  void FollowHere(const std::string& target);
  void HandToApplication(const std::string& target);
  // The download goes on elsewhere: every connection ends, and so does the
  // thread, without a word.
  void EndHandedOn();
  // The URL as the request line has it, for resolving a location against.
  std::string RequestURL() const;
  int RunningConnections() const;
  void StartWaitingRanges();

  // Owns every connection ever created, so that a connection stays alive
  // while it is the caller of an operation that empties m_connections.
  std::vector<std::unique_ptr<CHTTPSocket>> m_owned;
  int m_nStallSeconds = 60;
  // The object as the request line sends it: from a command line every
  // byte is escaped that has to be; from a location its escapes are kept.
  std::optional<std::string> m_requestTarget;
  struct WaitingRange {
    int64_t start, end;
    int earlyCloses, barrenResumes, loneRefusals;
    std::chrono::steady_clock::time_point notBefore;
    int runningWhenRefused;
  };
  // Refused ranges, in the order they were refused.
  std::deque<WaitingRange> m_waiting;
  std::unique_ptr<Timer> m_retryTimer;
  std::string m_strETag;
  std::string m_strLastModified;
  // The file the pieces are joined into; open from the split (or the end)
  // until the join ends.
  CInPlaceJoin m_join;
  // Why the join failed when a file could not be read or written.
  std::string m_strJoinError;
  bool m_bCompleting = false;
  // The download was handed to a new manager; this one ends quietly.
  bool m_bRedirected = false;
  // The file's size by the earlier run's journal; -1 unless going on.
  int64_t m_nEarlierSize = -1;
  std::unique_ptr<Timer> m_restartTimer;
};

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/download_journal.h"
#include "engine/join_piece.h"
#include "platform/files/file_copy.h"

class CDownloadContinuation;
class CFileException;
class Timer;

// Joins a download's pieces into the new file beside the destination while
// they are still being written, and records in the destination's journal
// which bytes of that file are on disk, so that little is left to do when
// the last connection ends and a run that ends early loses at most a few
// seconds of work.
//
// The piece that holds the file's start becomes the new file itself and is
// written in place; the other pieces' bytes are copied in once a piece has
// a megabyte more, or has ended, and a piece is deleted once all its bytes
// are in. What is in place is kept as ranges, so bytes that two pieces
// hold (a range fetched again) go in once, and what an earlier run left
// counts as in place from the start.
//
// Threads: the manager's; the copies, and the records after them, run on
// the joiner's threads.
class CInPlaceJoin {
 public:
  using Pieces = std::vector<CJoinPiece*>;

  // What the join asks of the download it joins, on the manager's thread.
  class Download {
   public:
    virtual Pieces JoinPieces() const = 0;
    // The journal's fields but the ranges and the new file's name; nothing
    // while the download is not to be recorded.
    virtual std::optional<CDownloadJournal> JournalFields() const = 0;
    // A copy or a record made on a timer failed: the download cannot go on.
    virtual void OnJoinFailed(const CFileException& error) = 0;

   protected:
    ~Download() = default;
  };

  // Neither is owned; both outlive the join. cancelled is asked during long
  // copies and waits (see CFileJoiner::SetCancelCheck).
  CInPlaceJoin(Download& download, CDownloadContinuation& continuation, std::function<bool()> cancelled);
  ~CInPlaceJoin();
  CInPlaceJoin(const CInPlaceJoin&) = delete;
  CInPlaceJoin& operator=(const CInPlaceJoin&) = delete;

  // Goes on in the new file an earlier run left, with the ranges the journal
  // says are in it. False, with nothing taken up, when that file is gone or
  // holds fewer bytes than the journal claims.
  bool TakeUp(const CDownloadJournal& earlier);
  // Joins beside the download from now on: makes the new file unless it is
  // open, makes the first piece that file when the piece holds the file's
  // start and nothing is in it yet, and records at once and then every two
  // seconds. False when the new file cannot be made without asking: the
  // join then waits for the end, and Start does nothing more.
  bool Start(const std::string& destination, CJoinPiece* first);
  // A running piece's bytes go in once it has written this many more.
  static constexpr int64_t kJoinStep = 1024 * 1024;
  // Puts in place what the pieces have written: a running piece's once it
  // has `minimum` bytes not yet in. Throws CFileException.
  void PutWritten(int64_t minimum = kJoinStep);
  // Records what is in place once it is on disk, while the download is to
  // be recorded. Throws CFileException.
  void Record();
  // At the end: puts every byte the pieces hold in place. True when the new
  // file then holds a whole file of this size (-1: unknown, whatever runs
  // on from 0). Throws CFileException.
  bool PutRestInPlace(int64_t size);
  // Records what is in place, as far as it can, and keeps the new file for
  // a later run. Never throws.
  void Keep();
  // Stops joining beside the download and removes the new file; the ranges
  // in place are forgotten. Never throws.
  void Abort();

  const std::vector<ByteRange>& InPlace() const { return m_inPlace; }
  bool IsOpen() const { return m_joiner.IsOpen(); }
  // Opened here, or by a caller that asks where to put the file.
  CFileJoiner& Joiner() { return m_joiner; }

 private:
  void StopTimers();
  void RunOrFail(const std::function<void()>& step);
  // The piece's bytes up to `count` that are not in place yet.
  std::vector<ByteRange> NotInPlace(const CJoinPiece& piece, int64_t count) const;
  void NoteInPlace(ByteRange range);
  // Of the ranges in place, the piece's whole one: its file can go.
  bool IsAllInPlace(const CJoinPiece& piece) const;

  Download& m_download;
  CDownloadContinuation& m_continuation;
  std::function<bool()> m_cancelled;
  CFileJoiner m_joiner;
  // The piece that became the new file; written in place.
  CJoinPiece* m_pAdopted = nullptr;
  // Sorted, apart from each other: merged as they grow.
  std::vector<ByteRange> m_inPlace;
  // The new file could not be made early: all waits for the end.
  bool m_bAtTheEnd = false;
  std::unique_ptr<Timer> m_joinTimer;
  std::unique_ptr<Timer> m_journalTimer;
};

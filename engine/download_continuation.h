#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/download_journal.h"

class CFileJoiner;

// The journal of one destination across runs: what an earlier run left
// (read once, at the start), and the records this run makes while its bytes
// go into place, so that a run that ends before the file is whole can be
// gone on with by the next one.
//
// Threads: used on the manager's thread; a record is written on the
// joiner's copy thread, after the bytes it names are on disk.
class CDownloadContinuation {
 public:
  // Reads the journal an earlier run left for the destination, if any.
  // Without one, new files for the destination that no live run holds go.
  void Open(const std::string& destination);
  // The earlier run's journal when it was whole and for this URL.
  const CDownloadJournal* EarlierFor(const std::string& url) const;
  // Something was left that this run cannot go on with: a damaged journal,
  // or one for another URL.
  bool FoundOther(const std::string& url) const { return m_bFound && !EarlierFor(url); }
  // What was left cannot be read at all.
  bool FoundDamaged() const { return m_bFound && !m_earlier; }
  // Takes up the earlier run's new file in the joiner: true when it is
  // there and holds every byte the journal claims.
  bool TakeUp(CFileJoiner& joiner);
  // The earlier run's journal and new file go: this run starts from 0.
  void DiscardEarlier();

  // Records the ranges of the joiner's new file that are in place once they
  // are on disk (see CFileJoiner::SyncThen). The record names that file.
  void Record(CFileJoiner& joiner, CDownloadJournal journal);
  // The download ended for good (complete or cancelled): nothing of it is
  // to be gone on with. Only a journal this run took up or wrote; new files
  // for the destination that no live run holds go with it.
  void Remove();

 private:
  std::string m_strDestination;
  std::string m_strPath;
  bool m_bFound = false;
  bool m_bOwned = false;
  std::optional<CDownloadJournal> m_earlier;
};

#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/files/copy_queue.h"

// The path with its file name cut, on a character boundary, so that the name
// and a suffix of this length still fit the folder's name limit.
std::string StemWithRoomFor(const std::string& target, size_t suffixLength);

// Builds one file out of ranges of others, copying inside the kernel where
// the system can (copy_file_range, which shares the blocks on file systems
// that can), else through one 65536-byte buffer. Ranges may be put in any
// order, each at its own offset. Writeback of what was copied is started as
// the copy goes, so the final sync has little left to wait for. Errors throw
// CFileException naming the file that failed.
//
// The bytes go to a new file beside the destination ("NAME.partXXXX" in the
// destination's own folder) that Commit syncs and then renames into place:
// the destination's name only ever holds a whole file, and a join that fails
// or is cut short leaves the destination as it was. A destination behind a
// symbolic link is the link's target; one that replaces a file takes that
// file's permissions. A destination that exists and is not a regular file (a
// folder, a device, a pipe) is refused. The new file's name is cut short
// where the suffix would pass the folder's name limit. It is noted as a
// scratch file (scratch_files.h) until Commit gives it its name.
//
// Threads: one object is used by one thread at a time; the copies and
// writebacks it starts run on two threads of its own until Commit or Abort.
class CFileJoiner {
 public:
  CFileJoiner() = default;
  ~CFileJoiner();  // as Abort
  CFileJoiner(const CFileJoiner&) = delete;
  CFileJoiner& operator=(const CFileJoiner&) = delete;

  // Makes the new file for the destination. False on failure (no folder, no
  // right to write there, a destination that is not a regular file), with
  // the reason in *error when given.
  bool Open(const std::string& destination, std::string* error = nullptr);
  // Takes up the new file an earlier join for the destination left, by its
  // name in the folder the join writes in; its bytes stay, and ranges go in
  // over them. False when it is not a regular file there.
  bool Reopen(const std::string& destination, const std::string& partName);
  // Removes the new files for the destination (NAME.partXXXX) that no live
  // join holds: what runs that were killed, or that kept theirs, left.
  static void RemoveUnheldNewFiles(const std::string& destination);
  // The name of the new file within its folder.
  std::string NewFileBaseName() const;
  // Once every range taken in so far is in place, forces the new file's
  // bytes to disk, then calls recorded on the joiner's copy thread: what it
  // records is on disk. A failed sync fails the join as a copy would.
  void SyncThen(std::function<void()> recorded);
  // Waits for the copies, whatever the cancel check says, and closes the new
  // file, leaving it on disk for a later Reopen. Never throws.
  void Keep();
  // Asked between the blocks of every copy on the caller's thread and while
  // the caller waits for the joiner's threads; when it answers true, the
  // join stops with a CFileException naming the destination.
  void SetCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }
  bool IsOpen() const { return m_fd >= 0; }
  // The name the bytes go by until Commit.
  const std::string& NewFileName() const { return m_strPart; }
  // Makes the source the new file's first count bytes by renaming it, with
  // no copy, and starts their writeback. Only where nothing is in the new
  // file yet, the source holds exactly count bytes and lies on the
  // destination's file system. True when the source was moved (its name is
  // then gone); false, with nothing changed, when the bytes have to be
  // copied.
  bool MoveIn(const std::string& source, int64_t count);
  // The same for a source that is still being written: its bytes are the
  // new file's first ones, however many it comes to hold (whoever writes it
  // goes on through a descriptor of its own); other ranges go in past them.
  bool AdoptGrowing(const std::string& source);
  // Starts the writeback of a range of the new file, beside the caller.
  void WriteBack(int64_t from, int64_t count);
  // Copies count bytes of the source, from its offset, into the new file at
  // `at`. Throws when the source holds fewer bytes.
  void CopyAt(const std::string& source, int64_t offset, int64_t count, int64_t at);
  // A range of a source file and where it goes in the new file.
  struct Range {
    std::string source;
    int64_t offset = 0;
    int64_t count = 0;
    int64_t at = 0;
  };
  // Starts copying the ranges into place and returns: the copies run on a
  // thread of the joiner's own, and each source's bytes are freed as they
  // are copied. A source may be deleted at once; the copy reads it through
  // a descriptor of its own. Throws when a source cannot be opened, or the
  // failure of an earlier copy.
  void TakeIn(const std::vector<Range>& ranges);
  // Waits until every range taken in is in place and its writeback has
  // started. Throws the first failure, or a cancel (as Commit).
  void WaitForCopies();
  // CopyAt the end of what the new file holds.
  void Append(const std::string& source, int64_t offset, int64_t count) { CopyAt(source, offset, count, m_nLength); }
  // The end of the furthest range copied or moved into the new file (a
  // source adopted while growing is not counted).
  int64_t Length() const { return m_nLength; }
  // Waits for the copies, then for the bytes to reach the disk, then gives
  // them the destination's name. Throws CFileException naming the
  // destination (or the source that could not be read).
  void Commit();
  // Stops the copies, closes and removes what was joined so far. Never
  // throws.
  void Abort();

 private:
  bool CreateBeside(const std::string& target, std::string* error);
  void CheckCancelled() const;
  class Source;
  // Renames the source into place; size -1: whatever it holds.
  bool Adopt(const std::string& source, int64_t size);
  // Copies count bytes.
  void CopyRange(int from, const std::string& source, int64_t offset, int64_t count, int64_t at);
  // Copies up to count bytes, at least one; returns how many.
  int64_t CopyChunk(int from, const std::string& source, int64_t offset, int64_t count, int64_t at);
  void CopyThroughBuffer(int from, const std::string& source, int64_t offset, int64_t count, int64_t at);
  void StartWriteback(int64_t from, int64_t count);

  int m_fd = -1;
  std::string m_strName;    // the destination as given, for messages
  std::string m_strTarget;  // the file the join replaces
  std::string m_strPart;    // the new file beside it
  unsigned m_nMode = 0;     // the new file's permissions
  int64_t m_nLength = 0;
  bool m_bAdopted = false;  // the new file is a source renamed into place
  // Copies on the caller's thread and on the copy thread may find that the
  // kernel cannot copy.
  std::atomic<bool> m_bKernelCopy{true};
  std::function<bool()> m_cancelled;
  // Copying into the file and starting its writeback go side by side: a
  // second copy would only wait for the file's lock.
  CCopyQueue m_copies;
  CCopyQueue m_writeback;
};

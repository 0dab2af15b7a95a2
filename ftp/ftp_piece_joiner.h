#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One piece of the download: `length` bytes of a temp file, from `skip` on,
// that belong at `offset` in the destination.
struct JoinPiece {
  std::string path;
  int64_t skip = 0;
  int64_t offset = 0;
  int64_t length = 0;
};

// Puts the pieces of a download into its destination, which exists already
// (made empty by the caller). The piece at offset 0 becomes the destination
// by a rename where it can (same file system, a plain destination file), so
// its bytes are not copied; the others are copied to their offsets, several
// at a time on threads of their own, and the destination is synced.
//
// Threads: Join runs on the caller's thread and returns when every copy has
// ended; the temp files are the caller's to delete (but see AdoptedFirst).
class CPieceJoiner {
 public:
  CPieceJoiner(std::string destination, std::vector<JoinPiece> pieces);

  // Throws CFileException naming the file that failed.
  void Join();
  // The first piece's file is now the destination, also after a failure.
  bool AdoptedFirst() const { return m_bAdoptedFirst; }

  static constexpr size_t kCopyBlock = 1024 * 1024;
  static constexpr size_t kMaxCopyThreads = 4;

 private:
  bool AdoptFirst();
  void CopyPieces(size_t first);
  void CopyOne(const JoinPiece& piece) const;
  void SyncDestination() const;
  static bool IsPlainFile(const std::string& name);

  std::string m_strDestination;
  std::vector<JoinPiece> m_pieces;
  bool m_bAdoptedFirst = false;
};

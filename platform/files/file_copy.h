#pragma once

#include <cstdint>
#include <string>

// Builds one file out of ranges of others, copying inside the kernel where
// the system can (copy_file_range), else through one 65536-byte buffer.
// Writeback of what was appended is started as the copy goes, so the final
// Sync has little left to wait for. Errors throw CFileException naming the
// file that failed. The destination is written in place, so every name it
// has (hard links) sees the result.
//
// Threads: one object is used by one thread at a time.
class CFileJoiner {
 public:
  CFileJoiner() = default;
  ~CFileJoiner();  // closes without throwing
  CFileJoiner(const CFileJoiner&) = delete;
  CFileJoiner& operator=(const CFileJoiner&) = delete;

  // Creates or truncates the destination. False on failure, with the reason
  // in *error when given.
  bool Open(const std::string& destination, std::string* error = nullptr);
  // Makes the source the destination's first count bytes by renaming it
  // into place, with no copy. Only where that cannot be told from copying:
  // nothing is appended yet, Open created the destination (so no other
  // name, owner or mode of an older file is lost), the source holds exactly
  // count bytes and lies on the destination's file system. True when the
  // source was moved (its name is then gone); false, with nothing changed,
  // when the bytes have to be appended.
  bool MoveIn(const std::string& source, int64_t count);
  // Appends count bytes of the source, starting at its offset. Throws when
  // the source holds fewer bytes.
  void Append(const std::string& source, int64_t offset, int64_t count);
  int64_t Length() const { return m_nLength; }
  // Waits for the bytes to reach the disk; a destination that is not a
  // regular file is left alone.
  void Sync();
  void Close();
  void Abort();

 private:
  void CopyInKernel(int from, const std::string& source, int64_t offset, int64_t count);
  void CopyThroughBuffer(int from, const std::string& source, int64_t offset, int64_t count);
  void StartWriteback();

  int m_fd = -1;
  std::string m_strName;
  int64_t m_nLength = 0;
  int64_t m_nWrittenBack = 0;  // bytes whose writeback has been started
  bool m_bKernelCopy = true;
  bool m_bCreated = false;  // Open made the destination, and it is still empty
};

#pragma once

// Files as the program sees them: open modes, read and write, temporary
// piece names, the joiner and the kernel receiver. A file object is used by
// one thread at a time; the joiner and receiver say which threads they add.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

// A file error: what failed, on which file, and the system's reason.
class CFileException : public std::runtime_error {
 public:
  CFileException(const std::string& fileName, const std::string& reason)
      : std::runtime_error(fileName + ": " + reason), m_strFileName(fileName), m_strReason(reason) {}
  std::string m_strFileName;
  std::string m_strReason;
};

// An unbuffered file. Read, Write, Flush, Sync, Close and Remove throw
// CFileException on failure; Abort closes without ever throwing.
class CFile {
 public:
  enum OpenFlags : unsigned {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    modeCreate = 0x1000,  // create, truncating an existing file
    modeNoTruncate = 0x2000,  // with modeCreate: keep an existing file's bytes
  };

  CFile() = default;
  ~CFile();  // closes without throwing
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // False on failure, with the reason in *error when given.
  bool Open(const std::string& name, unsigned flags, std::string* error = nullptr);
  size_t Read(void* buffer, size_t count);  // 0 at the end of the file
  void Write(const void* data, size_t count);  // all of it, or throws
  void Seek(int64_t offset);
  int64_t GetLength() const;
  void Flush();  // hands buffered data to the system (writes are unbuffered, so nothing to do)
  void Sync();   // forces the data to disk
  void Close();
  void Abort();
  bool IsOpen() const { return m_fd >= 0; }
  const std::string& GetFilePath() const { return m_strName; }

  static void Remove(const std::string& name);
  static bool Exists(const std::string& name);

 private:
  friend class CBlockWriter;
  friend class CFileReceiver;

  int m_fd = -1;
  std::string m_strName;
};

// Creates a new empty file dir/PREFIXxxxx.TMP with a unique name
// (create-exclusive) and returns its name, "dir/NAME"; empty on failure.
// PREFIX is the prefix's first three characters, xxxx four upper-case hex
// digits (never 0000); numbers in use are skipped. The file is noted as a
// scratch file (scratch_files.h) until CFile::Remove takes it away.
// Thread-safe.
std::string GetTempFileName(const std::string& dir, const std::string& prefix);

// The folder a file's path names: "." for a bare name, "/" for one at the
// root.
std::string FolderOfFile(const std::string& path);

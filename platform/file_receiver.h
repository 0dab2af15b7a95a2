#pragma once

#include <cstdint>

class CFile;

// Moves bytes from a connected socket straight into a file at its current
// position, through a kernel pipe, so they never pass through this
// process's memory. Owns the pipe, made on first use.
//
// Thread contract: used on one thread at a time, like the socket it serves.
class CFileReceiver {
 public:
  CFileReceiver() = default;
  ~CFileReceiver();
  CFileReceiver(const CFileReceiver&) = delete;
  CFileReceiver& operator=(const CFileReceiver&) = delete;

  // Up to `length` bytes waiting on socket `fd` are written to `file`.
  // Returns the count moved, 0 at the end of the stream, or -1 with errno
  // set when the socket failed (EAGAIN: nothing waiting). A failed write to
  // the file throws CFileException; the bytes of that block are lost.
  int64_t Receive(int fd, CFile& file, int64_t length);

 private:
  bool OpenPipe();
  void DrainInto(CFile& file, int64_t count);
  void ClosePipe();

  int m_pipe[2] = {-1, -1};
};

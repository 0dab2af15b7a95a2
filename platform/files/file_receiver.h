#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

class CFile;

// Takes bytes from a connected socket into a file, at the file's position,
// without passing them through this process's memory: the socket's data
// moves into a kernel pipe, and a thread of the receiver's own copies the
// pipe into the file. The copy, the costly part, thus runs beside the
// thread that serves the sockets. Bytes taken are in the file once Finish
// has returned.
//
// Threads: Receive and Finish are called on one thread (the socket's); the
// writing thread is the receiver's own and has ended when Finish returns or
// the receiver is destroyed. The file may be closed or deleted at any time:
// the receiver writes through a descriptor of its own.
class CFileReceiver {
 public:
  explicit CFileReceiver(CFile& file);
  ~CFileReceiver();  // finishes; a write error is then dropped
  CFileReceiver(const CFileReceiver&) = delete;
  CFileReceiver& operator=(const CFileReceiver&) = delete;

  // Takes up to `length` bytes waiting on socket `fd`. Returns the count
  // taken, 0 at the end of the stream, or -1 with errno set when the socket
  // failed (EAGAIN: nothing waiting). Waits while the file is behind by a
  // full pipe. Throws CFileException once writing to the file has failed.
  int64_t Receive(int fd, int64_t length);
  // Waits until every byte taken is in the file. Throws CFileException when
  // writing failed; the file then lacks the bytes from the failure on.
  void Finish();
  // Bytes taken that are not yet in the file. Receive's thread.
  int64_t Pending() const { return m_nTaken - m_nWritten; }

 private:
  void Start();
  void WriteUntilEnd();
  void WriteThroughBuffer();
  void DropUntilEnd();
  void ThrowIfFailed() const;

  std::string m_strFileName;
  int m_fileFd = -1;
  int m_pipe[2] = {-1, -1};
  std::thread m_writer;
  // errno of the failed write, 0 while writing goes well.
  std::atomic<int> m_nWriteError{0};
  bool m_bFinished = false;
  int64_t m_nTaken = 0;
  std::atomic<int64_t> m_nWritten{0};
};

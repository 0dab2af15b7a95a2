#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CFile;

// Writes the blocks a connection hands it to a file, at the file's position,
// on a thread of its own, so that the writing runs beside the thread that
// serves the sockets: for bytes this process has to see (decrypted ones),
// as CFileReceiver does for bytes that move inside the system. The caller
// receives into Buffer(); a Write of bytes that lie in that buffer hands the
// buffer over whole, so each byte is copied once, by the receive. A few
// buffers exist; while all of them wait to be written, Buffer and Write wait
// too, so memory stays bounded and a slow disk slows the reading. Bytes
// written are in the file once Finish has returned.
//
// Threads: Buffer, Write and Finish on one thread (the socket's); the
// writing thread is the writer's own and has ended when Finish returns or
// the writer is destroyed. The file may be closed or deleted at any time:
// the writer writes through a descriptor of its own.
class CBlockWriter {
 public:
  static constexpr size_t kBlockSize = 256 * 1024;
  static constexpr size_t kBlocks = 2;

  explicit CBlockWriter(CFile& file);
  ~CBlockWriter();  // finishes; a write error is then dropped
  CBlockWriter(const CBlockWriter&) = delete;
  CBlockWriter& operator=(const CBlockWriter&) = delete;

  // The buffer to receive the next block into, kBlockSize bytes; the same
  // one until a Write takes it. Throws CFileException once writing failed.
  char* Buffer();
  // Queues the bytes for the file. Bytes inside the buffer Buffer gave take
  // that buffer with them: the caller must not touch it again. Any other
  // bytes are copied. Throws CFileException once writing has failed.
  void Write(const char* data, size_t length);
  // Bytes queued that are not yet in the file. Any thread.
  int64_t Pending() const;
  // Waits until every byte queued is in the file. Throws CFileException when
  // writing failed; the file then lacks the bytes from the failure on.
  void Finish();

 private:
  struct Block {
    char* buffer;
    const char* data;
    size_t length;
  };

  // A free buffer, made when fewer than kBlocks exist; waits for one
  // otherwise. Called with the lock held.
  char* TakeFreeBuffer(std::unique_lock<std::mutex>& lock);
  bool InCurrentBuffer(const char* data, size_t length) const;
  void Queue(char* buffer, const char* data, size_t length);
  void WriteUntilEnd();
  bool WriteAll(const char* data, size_t length);
  void ThrowIfFailed() const;

  std::string m_strFileName;
  int m_fd = -1;
  std::vector<std::unique_ptr<char[]>> m_buffers;
  char* m_current = nullptr;  // handed out by Buffer, not yet written to

  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<char*> m_free;
  std::deque<Block> m_queue;
  int64_t m_nPending = 0;  // bytes queued or being written
  bool m_bFinishing = false;
  int m_nWriteError = 0;  // errno of the failed write, 0 while writing goes well
  bool m_bFinished = false;
  std::thread m_writer;
};

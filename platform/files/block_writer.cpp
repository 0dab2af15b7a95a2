#include "platform/files/block_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "platform/files/file.h"

CBlockWriter::CBlockWriter(CFile& file) : m_strFileName(file.GetFilePath()) {
  m_fd = file.m_fd >= 0 ? fcntl(file.m_fd, F_DUPFD_CLOEXEC, 0) : -1;
  if (m_fd < 0) {
    m_nWriteError = file.m_fd >= 0 ? errno : EBADF;
    return;
  }
  try {
    m_writer = std::thread([this] { WriteUntilEnd(); });
  } catch (const std::system_error& error) {
    m_nWriteError = error.code().value() ? error.code().value() : EAGAIN;
  }
}

CBlockWriter::~CBlockWriter() {
  try {
    Finish();
  } catch (const CFileException&) {
  }
}

char* CBlockWriter::Buffer() {
  ThrowIfFailed();
  if (!m_current) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_current = TakeFreeBuffer(lock);
  }
  ThrowIfFailed();
  return m_current;
}

void CBlockWriter::Write(const char* data, size_t length) {
  ThrowIfFailed();
  if (length == 0) return;
  if (InCurrentBuffer(data, length)) {
    char* const buffer = m_current;
    m_current = nullptr;
    Queue(buffer, data, length);
    return;
  }
  while (length > 0) {
    char* buffer = m_current;
    m_current = nullptr;
    if (!buffer) {
      std::unique_lock<std::mutex> lock(m_lock);
      buffer = TakeFreeBuffer(lock);
    }
    ThrowIfFailed();
    const size_t part = length < kBlockSize ? length : kBlockSize;
    std::memcpy(buffer, data, part);
    Queue(buffer, buffer, part);
    data += part;
    length -= part;
  }
}

bool CBlockWriter::InCurrentBuffer(const char* data, size_t length) const {
  if (!m_current) return false;
  const auto first = reinterpret_cast<uintptr_t>(data);
  const auto start = reinterpret_cast<uintptr_t>(m_current);
  return first >= start && first + length <= start + kBlockSize;
}

char* CBlockWriter::TakeFreeBuffer(std::unique_lock<std::mutex>& lock) {
  if (m_free.empty() && m_buffers.size() < kBlocks) {
    m_buffers.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
    return m_buffers.back().get();
  }
  m_changed.wait(lock, [this] { return !m_free.empty() || m_nWriteError != 0; });
  if (m_free.empty()) return nullptr;
  char* const buffer = m_free.back();
  m_free.pop_back();
  return buffer;
}

void CBlockWriter::Queue(char* buffer, const char* data, size_t length) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_queue.push_back({buffer, data, length});
    m_nPending += static_cast<int64_t>(length);
  }
  m_changed.notify_all();
}

int64_t CBlockWriter::Pending() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_nPending;
}

void CBlockWriter::Finish() {
  if (!m_bFinished) {
    m_bFinished = true;
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_bFinishing = true;
    }
    m_changed.notify_all();
    if (m_writer.joinable()) m_writer.join();
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
  }
  ThrowIfFailed();
}

// The writer's thread. After a failed write the blocks still coming are
// dropped; the socket's thread hears of the failure at its next call.
void CBlockWriter::WriteUntilEnd() {
  std::unique_lock<std::mutex> lock(m_lock);
  for (;;) {
    m_changed.wait(lock, [this] { return !m_queue.empty() || m_bFinishing; });
    if (m_queue.empty()) return;
    const Block block = m_queue.front();
    m_queue.pop_front();
    if (m_nWriteError == 0) {
      lock.unlock();
      const bool written = WriteAll(block.data, block.length);
      const int error = errno;
      lock.lock();
      if (!written) m_nWriteError = error != 0 ? error : EIO;
    }
    m_nPending -= static_cast<int64_t>(block.length);
    m_free.push_back(block.buffer);
    m_changed.notify_all();
  }
}

bool CBlockWriter::WriteAll(const char* data, size_t length) {
  while (length > 0) {
    const ssize_t written = write(m_fd, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      return false;
    }
    data += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

void CBlockWriter::ThrowIfFailed() const {
  int error = 0;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    error = m_nWriteError;
  }
  if (error != 0) throw CFileException(m_strFileName, std::strerror(error));
}

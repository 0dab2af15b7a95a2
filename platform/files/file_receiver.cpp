#include "platform/files/file_receiver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/files/file.h"

namespace {

// Large enough for one big block of a fast transfer in a single move.
constexpr int kPipeBytes = 1024 * 1024;

void CloseQuietly(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

CFileReceiver::CFileReceiver(CFile& file) : m_strFileName(file.GetFilePath()) {
  m_fileFd = file.m_fd >= 0 ? fcntl(file.m_fd, F_DUPFD_CLOEXEC, 0) : -1;
  if (m_fileFd < 0) {
    m_nWriteError = file.m_fd >= 0 ? errno : EBADF;
    return;
  }
  Start();
}

CFileReceiver::~CFileReceiver() {
  try {
    Finish();
  } catch (const CFileException&) {
  }
}

// Without a pipe or a thread nothing can be received: that counts as a
// failed write, reported by the first Receive.
void CFileReceiver::Start() {
  if (pipe2(m_pipe, O_CLOEXEC) != 0) {
    m_nWriteError = errno;
    return;
  }
  // A smaller pipe only means more moves; the size is a wish.
  fcntl(m_pipe[1], F_SETPIPE_SZ, kPipeBytes);
  try {
    m_writer = std::thread([this] { WriteUntilEnd(); });
  } catch (const std::system_error& error) {
    m_nWriteError = error.code().value() ? error.code().value() : EAGAIN;
    CloseQuietly(m_pipe[0]);
    CloseQuietly(m_pipe[1]);
  }
}

int64_t CFileReceiver::Receive(int fd, int64_t length) {
  ThrowIfFailed();
  if (m_bFinished) {
    errno = EBADF;
    return -1;
  }
  if (length > kPipeBytes) length = kPipeBytes;
  ssize_t moved;
  do {
    moved = splice(fd, nullptr, m_pipe[1], nullptr, static_cast<size_t>(length), SPLICE_F_MOVE);
  } while (moved < 0 && errno == EINTR);
  if (moved > 0) m_nTaken += moved;
  return moved;
}

void CFileReceiver::Finish() {
  if (!m_bFinished) {
    m_bFinished = true;
    // The end of the pipe tells the writer that nothing more comes.
    CloseQuietly(m_pipe[1]);
    if (m_writer.joinable()) m_writer.join();
    CloseQuietly(m_pipe[0]);
    CloseQuietly(m_fileFd);
  }
  ThrowIfFailed();
}

// The writer's thread.
void CFileReceiver::WriteUntilEnd() {
  for (;;) {
    const ssize_t written = splice(m_pipe[0], nullptr, m_fileFd, nullptr, kPipeBytes, SPLICE_F_MOVE);
    if (written > 0) {
      m_nWritten += written;
      continue;
    }
    if (written == 0) return;
    if (errno == EINTR) continue;
    if (errno == EINVAL) {
      WriteThroughBuffer();
      return;
    }
    m_nWriteError = errno;
    DropUntilEnd();
    return;
  }
}

// For a file that splice cannot write to.
void CFileReceiver::WriteThroughBuffer() {
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(m_pipe[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    for (ssize_t done = 0; done < got;) {
      const ssize_t written = write(m_fileFd, buffer + done, static_cast<size_t>(got - done));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        m_nWriteError = written < 0 ? errno : ENOSPC;
        DropUntilEnd();
        return;
      }
      done += written;
      m_nWritten += written;
    }
  }
}

// After a failed write the bytes still coming are dropped, so that the
// socket's thread never waits on a full pipe.
void CFileReceiver::DropUntilEnd() {
  char sink[65536];
  for (;;) {
    const ssize_t got = read(m_pipe[0], sink, sizeof sink);
    if (got > 0 || (got < 0 && errno == EINTR)) continue;
    return;
  }
}

void CFileReceiver::ThrowIfFailed() const {
  if (const int error = m_nWriteError) throw CFileException(m_strFileName, std::strerror(error));
}

#include "platform/file_receiver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file.h"

namespace {

// Large enough for one big block of a fast transfer in a single move.
constexpr int kPipeBytes = 1024 * 1024;

}  // namespace

CFileReceiver::~CFileReceiver() { ClosePipe(); }

int64_t CFileReceiver::Receive(int fd, CFile& file, int64_t length) {
  if (!OpenPipe()) return -1;
  if (length > kPipeBytes) length = kPipeBytes;
  ssize_t moved;
  do {
    moved = splice(fd, nullptr, m_pipe[1], nullptr, static_cast<size_t>(length), SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
  } while (moved < 0 && errno == EINTR);
  if (moved <= 0) return moved;
  DrainInto(file, moved);
  return moved;
}

bool CFileReceiver::OpenPipe() {
  if (m_pipe[0] >= 0) return true;
  if (pipe2(m_pipe, O_CLOEXEC) != 0) return false;
  // A smaller pipe only means more moves; the size is a wish.
  fcntl(m_pipe[1], F_SETPIPE_SZ, kPipeBytes);
  return true;
}

void CFileReceiver::DrainInto(CFile& file, int64_t count) {
  while (count > 0) {
    ssize_t written;
    do {
      written = splice(m_pipe[0], nullptr, file.m_fd, nullptr, static_cast<size_t>(count), SPLICE_F_MOVE);
    } while (written < 0 && errno == EINTR);
    if (written <= 0) {
      const int error = written < 0 ? errno : EIO;
      // What is left in the pipe belongs to no file now.
      ClosePipe();
      throw CFileException(file.GetFilePath(), std::strerror(error));
    }
    count -= written;
  }
}

void CFileReceiver::ClosePipe() {
  for (int& end : m_pipe) {
    if (end >= 0) close(end);
    end = -1;
  }
}

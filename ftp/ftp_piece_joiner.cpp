#include "ftp/ftp_piece_joiner.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "ftp/ftp_messages.h"
#include "platform/file.h"

namespace {

void OpenOrThrow(CFile& file, const std::string& name, unsigned flags) {
  std::string reason;
  if (!file.Open(name, flags, &reason)) throw CFileException(name, reason);
}

}  // namespace

CPieceJoiner::CPieceJoiner(std::string destination, std::vector<JoinPiece> pieces)
    : m_strDestination(std::move(destination)), m_pieces(std::move(pieces)) {}

void CPieceJoiner::Join() {
  const size_t first = AdoptFirst() ? 1 : 0;
  CopyPieces(first);
  SyncDestination();
}

bool CPieceJoiner::AdoptFirst() {
  if (m_pieces.empty() || m_pieces[0].offset != 0 || m_pieces[0].skip != 0) return false;
  if (!IsPlainFile(m_strDestination)) return false;
  std::error_code error;
  const auto permissions = std::filesystem::status(m_strDestination, error).permissions();
  if (error) return false;
  std::filesystem::rename(m_pieces[0].path, m_strDestination, error);
  if (error) return false;
  m_bAdoptedFirst = true;
  std::filesystem::permissions(m_strDestination, permissions, error);
  if (std::filesystem::file_size(m_strDestination, error) != static_cast<uintmax_t>(m_pieces[0].length) || error) {
    throw CFileException(m_strDestination, kPieceLengthWrong);
  }
  return true;
}

// The pieces go to disjoint ranges of the destination, so each copy has
// its own file objects and needs no lock; a thread that cannot be started
// leaves its share to the others, or to this thread.
void CPieceJoiner::CopyPieces(size_t first) {
  std::atomic<size_t> next{first};
  std::mutex failureLock;
  std::exception_ptr failure;
  auto work = [&] {
    for (size_t at; (at = next.fetch_add(1)) < m_pieces.size();) {
      try {
        CopyOne(m_pieces[at]);
      } catch (...) {
        std::lock_guard<std::mutex> lock(failureLock);
        if (!failure) failure = std::current_exception();
        next = m_pieces.size();
      }
    }
  };
  const size_t copies = m_pieces.size() - first;
  std::vector<std::thread> threads;
  for (size_t i = 1; i < std::min(copies, kMaxCopyThreads); ++i) {
    try {
      threads.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  work();
  for (auto& thread : threads) thread.join();
  if (failure) std::rethrow_exception(failure);
}

void CPieceJoiner::CopyOne(const JoinPiece& piece) const {
  CFile source, destination;
  OpenOrThrow(source, piece.path, CFile::modeRead);
  OpenOrThrow(destination, m_strDestination, CFile::modeWrite | CFile::modeCreate | CFile::modeNoTruncate);
  source.Seek(piece.skip);
  destination.Seek(piece.offset);
  std::vector<char> block(std::min<int64_t>(kCopyBlock, std::max<int64_t>(piece.length, 1)));
  for (int64_t left = piece.length; left > 0;) {
    const size_t count = source.Read(block.data(), static_cast<size_t>(std::min<int64_t>(left, block.size())));
    if (count == 0) throw CFileException(piece.path, kPieceLengthWrong);
    destination.Write(block.data(), count);
    left -= static_cast<int64_t>(count);
  }
  source.Close();
  destination.Close();
}

// Only a regular file can be synced (a destination such as /dev/null cannot).
void CPieceJoiner::SyncDestination() const {
  std::error_code error;
  if (!std::filesystem::is_regular_file(m_strDestination, error)) return;
  CFile destination;
  OpenOrThrow(destination, m_strDestination, CFile::modeWrite | CFile::modeCreate | CFile::modeNoTruncate);
  destination.Sync();
  destination.Close();
}

// A regular file with no other name: replacing it loses nothing.
bool CPieceJoiner::IsPlainFile(const std::string& name) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(name, error);
  if (error || !std::filesystem::is_regular_file(status)) return false;
  return std::filesystem::hard_link_count(name, error) == 1 && !error;
}

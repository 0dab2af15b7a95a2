#include "engine/in_place_join.h"

#include <algorithm>
#include <chrono>

#include "engine/download_continuation.h"
#include "platform/files/file.h"
#include "platform/loop/timer.h"

namespace {

// While the download runs, what the pieces have written is put in place
// this often, once there is kJoinStep more of a piece, so that little is left to
// copy and to write to disk when the last connection ends.
constexpr auto kJoinTick = std::chrono::milliseconds(50);
// At most this much work is lost when the program is killed.
constexpr auto kJournalTick = std::chrono::seconds(2);

int64_t Length(const std::vector<ByteRange>& ranges) {
  int64_t total = 0;
  for (const ByteRange& range : ranges) total += range.end - range.begin;
  return total;
}

}  // namespace

CInPlaceJoin::CInPlaceJoin(Download& download, CDownloadContinuation& continuation, std::function<bool()> cancelled)
    : m_download(download), m_continuation(continuation), m_cancelled(std::move(cancelled)) {}

CInPlaceJoin::~CInPlaceJoin() { StopTimers(); }

bool CInPlaceJoin::TakeUp(const CDownloadJournal& earlier) {
  if (!m_continuation.TakeUp(m_joiner)) return false;
  m_joiner.SetCancelCheck(m_cancelled);
  m_inPlace = earlier.m_done;
  return true;
}

bool CInPlaceJoin::Start(const std::string& destination, CJoinPiece* first) {
  if (m_joinTimer) return true;
  if (!m_joiner.IsOpen()) {
    if (m_bAtTheEnd || !m_joiner.Open(destination)) {
      m_bAtTheEnd = true;
      return false;
    }
    m_joiner.SetCancelCheck(m_cancelled);
    if (first && first->PieceStart() == 0 && !first->PieceFileName().empty() &&
        m_joiner.AdoptGrowing(first->PieceFileName())) {
      first->HandOverPieceFile(m_joiner.NewFileName());
      m_pAdopted = first;
    }
  }
  m_joinTimer = std::make_unique<Timer>([this] { RunOrFail([this] { PutWritten(); }); });
  m_joinTimer->Start(kJoinTick, true);
  // Recorded at once, so that the new file is never left without a journal
  // that names it.
  RunOrFail([this] { Record(); });
  m_journalTimer = std::make_unique<Timer>([this] { RunOrFail([this] { Record(); }); });
  m_journalTimer->Start(kJournalTick, true);
  return true;
}

// A piece only grows, and what it has written stays as it is. Of the piece
// that became the new file only the writeback is started; a lone piece for
// the start of an empty file is renamed into place; the rest are copied on
// the joiner's threads, and a piece whose bytes are all in is deleted at
// once: the copies read it through descriptors of their own.
void CInPlaceJoin::PutWritten(int64_t minimum) {
  if (!m_joiner.IsOpen()) return;
  std::vector<CFileJoiner::Range> copies;
  const Pieces pieces = m_download.JoinPieces();
  for (CJoinPiece* piece : pieces) {
    const std::vector<ByteRange> fresh = NotInPlace(*piece, piece->PieceWritten());
    if (fresh.empty() || (Length(fresh) < minimum && !piece->PieceEnded())) continue;
    const int64_t start = piece->PieceStart();
    for (const ByteRange& range : fresh) {
      if (piece == m_pAdopted) {
        m_joiner.WriteBack(range.begin, range.end - range.begin);
      } else if (range.begin == 0 && start == 0 && m_inPlace.empty() && copies.empty() && piece->PieceEnded() &&
                 range.end == piece->PieceReceived() && m_joiner.MoveIn(piece->PieceFileName(), range.end)) {
        piece->HandOverPieceFile(m_joiner.NewFileName());
      } else {
        copies.push_back({piece->PieceFileName(), range.begin - start, range.end - range.begin, range.begin});
      }
      NoteInPlace(range);
    }
  }
  m_joiner.TakeIn(copies);
  for (CJoinPiece* piece : pieces)
    if (piece->PieceEnded() && IsAllInPlace(*piece)) piece->RemovePieceFile();
}

void CInPlaceJoin::Record() {
  if (!m_joiner.IsOpen()) return;
  std::optional<CDownloadJournal> journal = m_download.JournalFields();
  if (!journal || journal->m_nSize <= 0) return;
  PutWritten(1);
  // A piece may hold a byte past the file's end, to show that the server
  // sent more: it is never part of the file.
  journal->m_done.clear();
  for (const ByteRange& range : m_inPlace)
    if (range.begin < journal->m_nSize) journal->m_done.push_back({range.begin, std::min(range.end, journal->m_nSize)});
  m_continuation.Record(m_joiner, *journal);
}

bool CInPlaceJoin::PutRestInPlace(int64_t size) {
  StopTimers();
  PutWritten(1);
  if (size == 0 || m_inPlace.empty()) return size <= 0;
  if (size == -1) return m_inPlace.size() == 1 && m_inPlace.front().begin == 0;
  return m_inPlace.size() == 1 && m_inPlace.front() == ByteRange{0, size};
}

void CInPlaceJoin::Keep() {
  StopTimers();
  try {
    Record();
  } catch (const CFileException&) {
    // What could not be put in place is not recorded; the record before
    // stays.
  }
  m_joiner.Keep();
}

void CInPlaceJoin::Abort() {
  StopTimers();
  m_joiner.Abort();
  m_inPlace.clear();
  m_pAdopted = nullptr;
}

void CInPlaceJoin::StopTimers() {
  m_joinTimer.reset();
  m_journalTimer.reset();
}

// A timer's step that fails ends the joining beside the download and tells
// the download, which cannot go on.
void CInPlaceJoin::RunOrFail(const std::function<void()>& step) {
  try {
    step();
  } catch (const CFileException& error) {
    StopTimers();
    m_download.OnJoinFailed(error);
  }
}

std::vector<ByteRange> CInPlaceJoin::NotInPlace(const CJoinPiece& piece, int64_t count) const {
  std::vector<ByteRange> left;
  int64_t pos = piece.PieceStart();
  const int64_t end = pos + count;
  for (const ByteRange& range : m_inPlace) {
    if (range.end <= pos) continue;
    if (range.begin >= end) break;
    if (range.begin > pos) left.push_back({pos, range.begin});
    pos = std::max(pos, range.end);
  }
  if (pos < end) left.push_back({pos, end});
  return left;
}

void CInPlaceJoin::NoteInPlace(ByteRange range) {
  m_inPlace.push_back(range);
  m_inPlace = CDownloadJournal::Merge(std::move(m_inPlace));
}

bool CInPlaceJoin::IsAllInPlace(const CJoinPiece& piece) const {
  return NotInPlace(piece, piece.PieceReceived()).empty();
}

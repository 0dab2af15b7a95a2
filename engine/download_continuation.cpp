#include "engine/download_continuation.h"

#include "platform/files/file.h"
#include "platform/files/file_copy.h"
#include "platform/files/small_file.h"

namespace {

// Far more than any journal of a few ranges.
constexpr size_t kMaxJournalBytes = 64 * 1024;

}  // namespace

void CDownloadContinuation::Open(const std::string& destination) {
  m_strDestination = destination;
  m_strPath = CDownloadJournal::PathFor(destination);
  const std::optional<std::string> text = ReadSmallFile(m_strPath, kMaxJournalBytes);
  m_bFound = text.has_value() || RegularFileLength(m_strPath) >= 0;
  m_earlier = text ? CDownloadJournal::Read(*text) : std::nullopt;
  // New files are worth keeping only while a journal names them.
  if (!m_bFound) CFileJoiner::RemoveUnheldNewFiles(destination);
}

const CDownloadJournal* CDownloadContinuation::EarlierFor(const std::string& url) const {
  return m_earlier && m_earlier->m_strURL == url ? &*m_earlier : nullptr;
}

bool CDownloadContinuation::TakeUp(CFileJoiner& joiner) {
  if (!m_earlier || !joiner.Reopen(m_strDestination, m_earlier->m_strPartName)) return false;
  const int64_t claimed = m_earlier->m_done.empty() ? 0 : m_earlier->m_done.back().end;
  m_bOwned = joiner.Length() >= claimed;
  if (m_bOwned) return true;
  joiner.Abort();
  return false;
}

void CDownloadContinuation::DiscardEarlier() {
  if (m_earlier) {
    CFileJoiner part;
    // Abort removes what Reopen took up.
    if (part.Reopen(m_strDestination, m_earlier->m_strPartName)) part.Abort();
  }
  m_earlier.reset();
  m_bFound = false;
  m_bOwned = true;
  Remove();
}

void CDownloadContinuation::Record(CFileJoiner& joiner, CDownloadJournal journal) {
  m_bOwned = true;
  journal.m_strPartName = joiner.NewFileBaseName();
  joiner.SyncThen([path = m_strPath, text = journal.Write()] {
    // A journal that cannot be written leaves the one before it, which
    // claims less: the download itself goes on.
    try {
      ReplaceSmallFile(path, text);
    } catch (const CFileException&) {
    }
  });
}

void CDownloadContinuation::Remove() {
  if (!m_bOwned) return;
  RemoveFileIfPresent(m_strPath);
  RemoveFileIfPresent(m_strPath + "~");
  CFileJoiner::RemoveUnheldNewFiles(m_strDestination);
}

// A download's journal as read back from the disk: what reads writes back
// as the same text, and never claims a byte outside the file.
#include <cstdint>
#include <string>

#include "engine/download_journal.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<CDownloadJournal> journal = CDownloadJournal::Read(text);
  if (!journal) return 0;
  FuzzCheck(journal->Write() == text, "a journal writes back as it was read");
  FuzzCheck(journal->BytesDone() <= journal->m_nSize, "no more bytes done than the file holds");
  FuzzCheck(CDownloadJournal::Merge(journal->m_done) == journal->m_done, "ranges are merged already");
  return 0;
}

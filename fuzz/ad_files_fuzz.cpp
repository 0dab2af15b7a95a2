// The banner updater's two text files: the advertisement list, off the
// network, and Install.CFG. The same bytes are read as each.
#include <cstdint>
#include <sstream>
#include <string>

#include "ads/ad_text_files.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream list(text);
  std::list<CADFileEntry> entries;
  const bool read = ReadAdList(list, &entries);
  FuzzCheck(read == !text.empty(), "a list is read when it has a byte");
  for (const CADFileEntry& entry : entries) {
    FuzzCheck(entry.m_strURL.find_first_of(",\n") == std::string::npos, "a URL ends at the first comma");
    CADFileEntry::IsPlainFileName(entry.FileName());
  }
  std::istringstream config(text);
  FuzzCheck(ReadInstallConfig(config).find('\n') == std::string::npos, "the ad site is one line");
  return 0;
}

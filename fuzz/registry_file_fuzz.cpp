// A registry file as an installer, a person or a damaged disk may leave it,
// read as each of the three roots. What is read and written back must read
// as the same tree: writing that again gives the same text.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/registry/registry_file_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const char* root : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"}) {
    const std::string written = RegistryFileFormat::Write(RegistryFileFormat::Parse(text, root), root);
    const std::string again = RegistryFileFormat::Write(RegistryFileFormat::Parse(written, root), root);
    FuzzCheck(written == again, "a written file reads back as it was written");
  }
  return 0;
}

// GUID text as the registry holds it: what reads as a GUID writes back as
// the same text in upper case, and reads back as the same GUID.
#include <cctype>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/com/guid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<GUID> guid = GUIDFromString(text);
  if (!guid) return 0;
  std::string upper = text;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  FuzzCheck(StringFromGUID(*guid) == upper, "a GUID writes back as it was read");
  FuzzCheck(GUIDFromString(upper) == guid, "a written GUID reads back");
  return 0;
}

#include "tests/support/https_switch_setting.h"

#include <stdexcept>

#include "platform/net/tls_channel.h"
#include "platform/registry/registry.h"

namespace testenv {

void SetHttpsSwitch(std::optional<uint32_t> value) {
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane\\Kestrion", &key) != ERROR_SUCCESS)
    throw std::runtime_error("cannot create the program's key");
  if (value)
    RegSetDword(key, "AllowHTTPS", *value);
  else
    RegDeleteValue(key, "AllowHTTPS");
  RegCloseKey(key);
}

bool HttpsExpected(std::optional<uint32_t> value) { return value && *value != 0 && TlsAvailable(); }

}  // namespace testenv

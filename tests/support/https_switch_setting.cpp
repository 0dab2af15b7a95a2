#include "tests/support/https_switch_setting.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

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

void ForEachHttpsSwitch(const std::function<void(bool allowed)>& body) {
  for (const std::optional<uint32_t> value : {std::optional<uint32_t>(), std::optional<uint32_t>(0),
                                              std::optional<uint32_t>(1)}) {
    SCOPED_TRACE(value ? "AllowHTTPS " + std::to_string(*value) : std::string("no AllowHTTPS"));
    SetHttpsSwitch(value);
    body(HttpsExpected(value));
  }
  SetHttpsSwitch(std::nullopt);
}

}  // namespace testenv

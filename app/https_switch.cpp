#include "app/https_switch.h"

#include "platform/net/tls_channel.h"
#include "platform/registry/registry.h"

namespace {

constexpr char kProgramKey[] = "SOFTWARE\\Morvane\\Kestrion";
constexpr char kSwitchValue[] = "AllowHTTPS";

}  // namespace

bool IsHttpsAllowed() {
  if (!TlsAvailable()) return false;
  HKEY key = nullptr;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kProgramKey, &key) != ERROR_SUCCESS) return false;
  DWORD value = 0;
  const bool present = RegGetDword(key, kSwitchValue, &value);
  RegCloseKey(key);
  return present && value != 0;
}

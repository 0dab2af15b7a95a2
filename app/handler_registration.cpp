#include "app/handler_registration.h"

#include <cstdint>
#include <vector>

#include "app/https_switch.h"
#include "app/registration_messages.h"
#include "platform/base/failure.h"
#include "platform/registry/registry.h"
#include "platform/ui/ui.h"

const char kInterceptorCLSID[] = "{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C}";

namespace {

constexpr char kHandlersKey[] = "PROTOCOLS\\Name-Space Handler";
constexpr char kOwnHandler[] = "ZKS";
constexpr DWORD kNameBufferSize = 261;

// Sub-key names in enumeration order, up to the first failing index.
std::vector<std::string> SubKeyNames(HKEY key) {
  std::vector<std::string> names;
  char name[kNameBufferSize];
  for (DWORD index = 0;; ++index) {
    DWORD size = kNameBufferSize;
    if (RegEnumKeyEx(key, index, name, &size) != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  return names;
}

bool HasOtherHandlers(const std::vector<std::string>& names) {
  return names.size() > 1 || (names.size() == 1 && names[0] != kOwnHandler);
}

std::string JoinOtherHandlers(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) {
    if (name == kOwnHandler) continue;
    if (!joined.empty()) joined += ',';
    joined += name;
  }
  return joined;
}

bool UserAllowsRemoval(const std::vector<std::string>& names, const std::string& protocol) {
  std::string question = Format(registration_messages::kOtherHandlersFound, JoinOtherHandlers(names).c_str(), protocol.c_str());
  return AfxMessageBox(question, MB_YESNO) != IDNO;
}

void WriteOwnHandler(HKEY protocolKey) {
  HKEY own = nullptr;
  if (RegCreateKeyEx(protocolKey, kOwnHandler, &own) != ERROR_SUCCESS) return;
  RegSetValueEx(own, "CLSID", REG_SZ, reinterpret_cast<const uint8_t*>(kInterceptorCLSID),
                sizeof kInterceptorCLSID);
  const uint8_t emptyText[1] = {0};
  RegSetValueEx(own, "Pattern1", REG_SZ, emptyText, sizeof emptyText);
  RegCloseKey(own);
}

}  // namespace

void CHandlerRegistration::RegisterHandlers() {
  RegisterHandler("ftp");
  RegisterHandler("http");
  if (IsHttpsAllowed()) RegisterHandler("https");
}

void CHandlerRegistration::RegisterHandler(const std::string& protocol) {
  HKEY protocolKey = nullptr;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, std::string(kHandlersKey) + "\\" + protocol, &protocolKey) != ERROR_SUCCESS)
    return;
  std::vector<std::string> names = SubKeyNames(protocolKey);
  bool removeListed = true;
  if (HasOtherHandlers(names)) removeListed = UserAllowsRemoval(names, protocol);
  if (removeListed)
    for (const std::string& name : names) RegDeleteKey(protocolKey, name);
  WriteOwnHandler(protocolKey);
  RegCloseKey(protocolKey);
}

void CHandlerRegistration::UnregisterHandlers() {
  HKEY handlers = nullptr;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, kHandlersKey, &handlers) != ERROR_SUCCESS) return;
  RegDeleteKey(handlers, "ftp\\ZKS");
  RegDeleteKey(handlers, "http\\ZKS");
  RegDeleteKey(handlers, "https\\ZKS");
  RegCloseKey(handlers);
}

#pragma once

#include <string>

// The browser hook: the name-space handler keys under
// HKEY_CLASSES_ROOT\PROTOCOLS\Name-Space Handler\{ftp,http}\ZKS, and
// https\ZKS while the https switch is on.
class CHandlerRegistration {
 public:
  static void RegisterHandlers();
  static void RegisterHandler(const std::string& protocol);
  static void UnregisterHandlers();
};

// The interceptor's class id, as written under each handler key.
extern const char kInterceptorCLSID[];

// regsvr [-u] LIBRARY: registers an in-process server library (calls its
// DllRegisterServer) or, with -u, unregisters it (DllUnregisterServer).
// Exit status: 0 done, 1 the entry point reported a failure, 2 the library
// could not be loaded or lacks the entry point, 64 a wrong command line.

#include <cstdio>
#include <string>

#include "platform/com/server_library.h"
#include "tools/tool_output.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitNotLoaded = 2;
constexpr int kExitUsage = 64;

}  // namespace

int main(int argc, char** argv) {
  const bool unregister = argc == 3 && std::string(argv[1]) == "-u";
  if (argc != 2 + (unregister ? 1 : 0) || argv[argc - 1][0] == '-') {
    std::fprintf(stderr, "usage: regsvr [-u] LIBRARY\n");
    return kExitUsage;
  }
  std::string error;
  auto library = ServerLibrary::Load(argv[argc - 1], &error);
  if (!library) {
    std::fprintf(stderr, "regsvr: %s\n", error.c_str());
    return kExitNotLoaded;
  }
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  if (!library->Exports(entry)) {
    std::fprintf(stderr, "regsvr: %s does not export %s\n", library->Path().c_str(), entry);
    return kExitNotLoaded;
  }
  const HRESULT hr = unregister ? library->DllUnregisterServer() : library->DllRegisterServer();
  if (FAILED(hr)) {
    std::fprintf(stderr, "regsvr: %s in %s failed: %s\n", entry, library->Path().c_str(), StatusText(hr).c_str());
    return kExitFailed;
  }
  std::printf("%s in %s succeeded.\n", entry, library->Path().c_str());
  return kExitDone;
}

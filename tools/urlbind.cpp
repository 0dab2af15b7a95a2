// urlbind URL: what a browser's URL layer does before it fetches a URL. It
// asks each name-space handler registered for the URL's scheme
// (HKEY_CLASSES_ROOT\PROTOCOLS\Name-Space Handler\<scheme>\<name>, value
// CLSID) to start the bind, and prints who fetches it; kUsage below says
// what the exit status tells. Taken over means Start said S_OK and the
// handler reported S_OK to the sink; declined, that Start said S_FALSE.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/com/object_creation.h"
#include "platform/com/wide_text.h"
#include "tools/bind_sink.h"
#include "tools/tool_output.h"

namespace {

constexpr int kExitTakenOver = 0;
constexpr int kExitDeclined = 1;
constexpr int kExitDefaultHandler = 2;
constexpr int kExitBindLeftOpen = 3;
constexpr int kExitUsage = 64;

constexpr char kHandlersKey[] = "PROTOCOLS\\Name-Space Handler\\";

constexpr char kUsage[] =
    "Usage: urlbind URL\n"
    "Does what a browser does before it fetches URL: asks each name-space\n"
    "handler registered for the URL's scheme to take it over, and prints who\n"
    "fetches it. A handler may ask questions (KESTRION_UI).\n"
    "\n"
    "Exit status:\n"
    "  0   taken over by a handler\n"
    "  1   declined: nobody fetches it (a download cancelled)\n"
    "  2   the browser's own handler (every handler deferred, or none is registered)\n"
    "  3   a handler said S_OK without completing the bind\n"
    "  64  a wrong command line\n";

struct Handler {
  std::string name;
  CLSID clsid;
};

// The handlers of the scheme in registry order; those without a valid
// CLSID are passed over, as the browser does.
std::vector<Handler> RegisteredHandlers(const std::string& scheme) {
  std::vector<Handler> handlers;
  HKEY schemeKey = nullptr;
  if (scheme.empty() || RegOpenKeyEx(HKEY_CLASSES_ROOT, kHandlersKey + scheme, &schemeKey) != ERROR_SUCCESS)
    return handlers;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD size = sizeof name;
    if (RegEnumKeyEx(schemeKey, index, name, &size) != ERROR_SUCCESS) break;
    std::string text;
    auto clsid = RegGetString(schemeKey, name, "CLSID", &text) ? GUIDFromString(text) : std::nullopt;
    if (clsid) handlers.push_back({name, *clsid});
  }
  RegCloseKey(schemeKey);
  return handlers;
}

// Start's result, or the failure to create the handler.
HRESULT StartHandler(const Handler& handler, const std::u16string& url, BindSink* sink) {
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(handler.clsid, CLSCTX_INPROC_SERVER, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  IInternetProtocolRoot* protocol = nullptr;
  hr = factory->CreateInstance(nullptr, IID_IInternetProtocolRoot, reinterpret_cast<void**>(&protocol));
  factory->Release();
  if (FAILED(hr)) return hr;
  hr = protocol->Start(url.c_str(), sink, nullptr, 0, 0);
  protocol->Release();
  return hr;
}

int Bind(const std::string& url) {
  const size_t colon = url.find(':');
  const std::string scheme = colon == std::string::npos ? std::string() : url.substr(0, colon);
  for (const Handler& handler : RegisteredHandlers(scheme)) {
    const std::string who = handler.name + " " + StringFromGUID(handler.clsid);
    BindSink sink;
    const HRESULT hr = StartHandler(handler, WideFromUtf8(url), &sink);
    if (hr == S_OK && sink.Result() == S_OK) {
      std::printf("taken over by %s\n", who.c_str());
      return kExitTakenOver;
    }
    if (hr == S_OK) {
      std::printf("%s said S_OK but did not complete the bind\n", who.c_str());
      return kExitBindLeftOpen;
    }
    if (hr == S_FALSE) {
      std::printf("declined by %s\n", who.c_str());
      return kExitDeclined;
    }
    if (hr != INET_E_USE_DEFAULT_PROTOCOLHANDLER)
      std::fprintf(stderr, "urlbind: %s failed: %s\n", who.c_str(), StatusText(hr).c_str());
  }
  std::printf("the browser's own handler\n");
  return kExitDefaultHandler;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return kExitTakenOver;
  }
  if (argc != 2) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const int status = Bind(argv[1]);
  CoFreeUnusedLibraries();
  return status;
}

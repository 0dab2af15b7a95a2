// dispcall PROGID METHOD [ARG...] [-- METHOD [ARG...]]...: a minimal script
// host. It creates one object by its ProgID, binds every method by name,
// then invokes them in order on that object with string arguments and
// prints each result; kUsage below says what the exit status tells.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/com/dispatch.h"
#include "platform/com/object_creation.h"
#include "platform/com/wide_text.h"
#include "tools/dispatch_calls.h"
#include "tools/tool_output.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitUnbound = 1;
constexpr int kExitNotCreated = 2;
constexpr int kExitCallFailed = 3;
constexpr int kExitUsage = 64;

constexpr char kUsage[] =
    "Usage: dispcall PROGID METHOD [ARG...] [-- METHOD [ARG...]]...\n"
    "A minimal script host: creates the object registered as PROGID, binds\n"
    "every METHOD by name, then calls them in order on that one object with\n"
    "the ARGs as strings, printing each result.\n"
    "  dispcall KSNS.Protocol.1 Initialize \"\" http://host/setup.zip -- Open \"\"\n"
    "\n"
    "Exit status:\n"
    "  0   every call succeeded\n"
    "  1   a method name is unknown (nothing was called)\n"
    "  2   the object cannot be created\n"
    "  3   a call failed (the later ones are not made)\n"
    "  64  a wrong command line\n";

std::string ResultText(const VARIANT& result) {
  switch (result.vt) {
    case VT_EMPTY: return "(no result)";
    case VT_I2: return std::to_string(result.iVal);
    case VT_I4: return std::to_string(result.lVal);
    case VT_BSTR: return Utf8FromWide(result.bstrVal);
    default: return "(a result of type " + std::to_string(result.vt) + ")";
  }
}

// DISPIDs in call order; false after naming the first name that does not bind.
bool BindNames(IDispatch* object, const std::vector<DispatchCall>& calls, std::vector<DISPID>* ids) {
  for (const DispatchCall& call : calls) {
    const std::u16string name = WideFromUtf8(call.method);
    const char16_t* names[] = {name.c_str()};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
      std::fprintf(stderr, "dispcall: %s: no such method (%s)\n", call.method.c_str(), StatusText(hr).c_str());
      return false;
    }
    ids->push_back(id);
  }
  return true;
}

HRESULT Call(IDispatch* object, DISPID id, const DispatchCall& call) {
  // Arguments travel last first.
  std::vector<VARIANT> arguments;
  for (auto argument = call.arguments.rbegin(); argument != call.arguments.rend(); ++argument)
    arguments.push_back(VariantFromString(WideFromUtf8(*argument)));
  DISPPARAMS params;
  params.rgvarg = arguments.data();
  params.cArgs = static_cast<UINT>(arguments.size());
  VARIANT result;
  UINT badArgument = 0;
  const HRESULT hr = object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr,
                                    &badArgument);
  if (SUCCEEDED(hr)) std::printf("%s: %s\n", call.method.c_str(), ResultText(result).c_str());
  return hr;
}

int CallAll(IDispatch* object, const std::vector<DispatchCall>& calls) {
  std::vector<DISPID> ids;
  if (!BindNames(object, calls, &ids)) return kExitUnbound;
  for (size_t i = 0; i < calls.size(); ++i) {
    const HRESULT hr = Call(object, ids[i], calls[i]);
    if (FAILED(hr)) {
      std::fprintf(stderr, "dispcall: %s failed: %s\n", calls[i].method.c_str(), StatusText(hr).c_str());
      return kExitCallFailed;
    }
  }
  return kExitDone;
}

int Run(const std::string& progId, const std::vector<DispatchCall>& calls) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(progId, &clsid);
  IDispatch* object = nullptr;
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object));
  if (FAILED(hr)) {
    std::fprintf(stderr, "dispcall: cannot create %s: %s\n", progId.c_str(), StatusText(hr).c_str());
    return kExitNotCreated;
  }
  const int status = CallAll(object, calls);
  object->Release();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return kExitDone;
  }
  auto calls = argc >= 3 ? ParseDispatchCalls(std::vector<std::string>(argv + 2, argv + argc)) : std::nullopt;
  if (!calls) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const int status = Run(argv[1], *calls);
  CoFreeUnusedLibraries();
  return status;
}

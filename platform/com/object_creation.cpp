#include "platform/com/object_creation.h"

#include <map>
#include <memory>
#include <mutex>

#include "platform/com/server_library.h"

namespace {

// Loaded libraries by path. Never destroyed: at process exit they are left
// to the system, whatever still uses them.
struct LibraryTable {
  std::mutex lock;
  std::map<std::string, std::unique_ptr<ServerLibrary>> byPath;
};

LibraryTable& Libraries() {
  static auto* table = new LibraryTable;
  return *table;
}

bool ReadDefaultString(const std::string& keyPath, std::string* text) {
  return RegGetString(HKEY_CLASSES_ROOT, keyPath, "", text);
}

}  // namespace

HRESULT CLSIDFromProgID(const std::string& progId, CLSID* clsid) {
  if (!clsid) return E_POINTER;
  std::string text;
  if (progId.empty() || !ReadDefaultString(progId + "\\CLSID", &text)) return CO_E_CLASSSTRING;
  auto parsed = GUIDFromString(text);
  if (!parsed) return CO_E_CLASSSTRING;
  *clsid = *parsed;
  return S_OK;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD clsContext, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!(clsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  std::string path;
  if (!ReadDefaultString("CLSID\\" + StringFromGUID(rclsid) + "\\InprocServer32", &path) || path.empty())
    return REGDB_E_CLASSNOTREG;
  LibraryTable& table = Libraries();
  std::lock_guard guard(table.lock);
  std::unique_ptr<ServerLibrary>& library = table.byPath[path];
  if (!library) {
    std::string error;
    library = ServerLibrary::Load(path, &error);
    if (!library) {
      table.byPath.erase(path);
      return CO_E_DLLNOTFOUND;
    }
  }
  return library->DllGetClassObject(rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD clsContext, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, clsContext, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  return hr;
}

void CoFreeUnusedLibraries() {
  LibraryTable& table = Libraries();
  std::lock_guard guard(table.lock);
  std::erase_if(table.byPath, [](const auto& entry) { return entry.second->DllCanUnloadNow() == S_OK; });
}

int LoadedServerLibraryCount() {
  LibraryTable& table = Libraries();
  std::lock_guard guard(table.lock);
  return static_cast<int>(table.byPath.size());
}

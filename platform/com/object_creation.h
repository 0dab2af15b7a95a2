#pragma once

// Creating objects by class id or ProgID, as a client does: the class's
// library is named in the registry (the default value of
// HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32), loaded once and asked for
// its class factory. Libraries stay loaded until CoFreeUnusedLibraries
// finds them unused. Any thread; DllGetClassObject must not create objects
// of other libraries.

#include <string>

#include "platform/com/unknown.h"
#include "platform/registry/registry.h"

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

// HKEY_CLASSES_ROOT\<progId>\CLSID; CO_E_CLASSSTRING when it is missing or
// holds no class id.
HRESULT CLSIDFromProgID(const std::string& progId, CLSID* clsid);
// REGDB_E_CLASSNOTREG when the class has no in-process server registered;
// CO_E_DLLNOTFOUND when its library cannot be loaded.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD clsContext, REFIID riid, void** ppv);
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD clsContext, REFIID riid, void** ppv);
// Unloads every library whose DllCanUnloadNow says S_OK.
void CoFreeUnusedLibraries();
// How many libraries are loaded now.
int LoadedServerLibraryCount();

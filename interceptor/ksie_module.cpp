// ksie.so: the library's one class, its registration and the four entry
// points it exports (ksie.map keeps every other symbol inside).

#include <new>

#include "interceptor/kestrion_ie.h"
#include "platform/com/type_library.h"

namespace {

constexpr CLSID CLSID_KestrionIE{0x7C3E20B4, 0x41A9, 0x11D2, {0x8F, 0x3C, 0x00, 0x60, 0xB0, 0xE2, 0xA1, 0x7C}};
constexpr GUID LIBID_KSIELib{0x7C3E20A6, 0x41A9, 0x11D2, {0x8F, 0x3C, 0x00, 0x60, 0xB0, 0xE2, 0xA1, 0x7C}};
constexpr IID IID_IKestrionIE{0x7C3E20B3, 0x41A9, 0x11D2, {0x8F, 0x3C, 0x00, 0x60, 0xB0, 0xE2, 0xA1, 0x7C}};

// The class's registry entries. The name-space handler keys that make the
// browser use it are kestrion's to write (COMMAND START), never ours.
constexpr char kRegistryScript[] = R"(HKCR
{
	KSIE.KestrionIE.1 = s 'KestrionIE Class'
	{
		CLSID = s '{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C}'
	}
	KSIE.KestrionIE = s 'KestrionIE Class'
	{
		CLSID = s '{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C}'
		CurVer = s 'KSIE.KestrionIE.1'
	}
	NoRemove CLSID
	{
		ForceRemove {7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C} = s 'KestrionIE Class'
		{
			ProgID = s 'KSIE.KestrionIE.1'
			VersionIndependentProgID = s 'KSIE.KestrionIE'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			'TypeLib' = s '{7C3E20A6-41A9-11D2-8F3C-0060B0E2A17C}'
		}
	}
}
)";

// The type library describes the dual interface IKestrionIE, which has no
// members and which the object does not answer.
const TypeLibrary kTypeLibrary{LIBID_KSIELib, 1, 0, "KSIE 1.0 Type Library", {{IID_IKestrionIE, "IKestrionIE"}}};

HRESULT UpdateRegistry(bool registering);
HRESULT CreateKestrionIE(IUnknown* outer, REFIID riid, void** ppv);

ObjectMapEntry g_objectMap[] = {{&CLSID_KestrionIE, &UpdateRegistry, &CreateKestrionIE}};
ComModule g_module(g_objectMap);

HRESULT UpdateRegistry(bool registering) { return g_module.UpdateRegistryFromScript(kRegistryScript, registering); }

HRESULT CreateKestrionIE(IUnknown* outer, REFIID riid, void** ppv) {
  return CreateComObject<CKestrionIE>(g_module, outer, riid, ppv);
}

}  // namespace

extern "C" {

HRESULT DllCanUnloadNow() { return g_module.CanUnloadNow(); }

HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return g_module.GetClassObject(rclsid, riid, ppv);
}

HRESULT DllRegisterServer() {
  try {
    return g_module.RegisterServer(&kTypeLibrary);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DllUnregisterServer() {
  try {
    return g_module.UnregisterServer();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // extern "C"

// ksns.so: the automation class "KSNS.Protocol.1", its registration and the
// three entry points it exports (ksns.map keeps every other symbol inside).
// There is no DllUnregisterServer: an uninstaller removes the two keys.

#include "launcher/protocol_handler.h"

namespace {

constexpr CLSID CLSID_ProtocolHandler{0xE41D5C72, 0x93B0, 0x11D2, {0xA6, 0xF1, 0x44, 0x45, 0x53, 0x54, 0x00, 0x01}};

// The ProgID is also the class's display name.
constexpr char kRegistryScript[] = R"(HKCR
{
	KSNS.Protocol.1 = s 'KSNS.Protocol.1'
	{
		CLSID = s '{E41D5C72-93B0-11D2-A6F1-444553540001}'
	}
	NoRemove CLSID
	{
		{E41D5C72-93B0-11D2-A6F1-444553540001} = s 'KSNS.Protocol.1'
		{
			ProgID = s 'KSNS.Protocol.1'
			InprocServer32 = s '%MODULE%'
		}
	}
}
)";

HRESULT UpdateRegistry(bool registering);
HRESULT CreateProtocolHandler(IUnknown* outer, REFIID riid, void** ppv);

ObjectMapEntry g_objectMap[] = {{&CLSID_ProtocolHandler, &UpdateRegistry, &CreateProtocolHandler}};
ComModule g_module(g_objectMap);

HRESULT UpdateRegistry(bool registering) { return g_module.UpdateRegistryFromScript(kRegistryScript, registering); }

HRESULT CreateProtocolHandler(IUnknown* outer, REFIID riid, void** ppv) {
  if (outer) return CLASS_E_NOAGGREGATION;
  return CreateComObject<CProtocolHandler>(g_module, nullptr, riid, ppv);
}

}  // namespace

extern "C" {

HRESULT DllCanUnloadNow() { return g_module.CanUnloadNow(); }

HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return g_module.GetClassObject(rclsid, riid, ppv);
}

// S_OK whatever the registry said.
HRESULT DllRegisterServer() {
  try {
    g_module.RegisterServer(nullptr);
  } catch (const std::bad_alloc&) {
  }
  return S_OK;
}

}  // extern "C"

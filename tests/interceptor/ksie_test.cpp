// ksie.so loaded as the browser's URL layer loads it: its class factory,
// its object's interfaces and lifetime, its registration, and Start's
// decision for each kind of URL, with the script UI answering the offer.
#include <gtest/gtest.h>

#include <memory>

#include "platform/com/object_creation.h"
#include "platform/com/server_library.h"
#include "platform/com/wide_text.h"
#include "platform/urlmon/urlmon.h"
#include "tests/support/https_switch_setting.h"
#include "tests/support/registry_values.h"
#include "tests/support/server_library_test.h"

namespace {

using testenv::RegistryKeyExists;
using testenv::RegistryString;
using testenv::SetRegistryString;

constexpr CLSID CLSID_KestrionIE{0x7C3E20B4, 0x41A9, 0x11D2, {0x8F, 0x3C, 0x00, 0x60, 0xB0, 0xE2, 0xA1, 0x7C}};
constexpr IID IID_IKestrionIE{0x7C3E20B3, 0x41A9, 0x11D2, {0x8F, 0x3C, 0x00, 0x60, 0xB0, 0xE2, 0xA1, 0x7C}};
constexpr IID IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const std::string kClassKey = "CLSID\\{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C}";
const std::string kTypeLibKey = "TypeLib\\{7C3E20A6-41A9-11D2-8F3C-0060B0E2A17C}\\1.0";

// The URL layer's side of a bind.
class RecordingSink final : public IInternetProtocolSink {
 public:
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT Switch(PROTOCOLDATA*) override { return S_OK; }
  HRESULT ReportProgress(ULONG, const char16_t*) override { return S_OK; }
  HRESULT ReportData(DWORD, ULONG, ULONG) override { return S_OK; }
  HRESULT ReportResult(HRESULT hrResult, DWORD, const char16_t*) override {
    results.push_back(hrResult);
    return S_OK;
  }
  std::vector<HRESULT> results;
};

// An outer object that counts what its aggregated inner object forwards.
class CountingOuter final : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    ++queries;
    return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++count; }
  ULONG Release() override { return --count; }
  IUnknown* inner = nullptr;
  ULONG count = 1;
  int queries = 0;
};

class KsieTest : public testenv::ServerLibraryTest {
 protected:
  void SetUp() override { LoadServer("ksie.so"); }

  size_t Offers() const { return s_env->Log("download-choice").size(); }

  IClassFactory* Factory() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(S_OK,
              m_library->DllGetClassObject(CLSID_KestrionIE, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    return factory;
  }

  template <typename I>
  I* Create(REFIID riid) {
    IClassFactory* factory = Factory();
    I* object = nullptr;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, riid, reinterpret_cast<void**>(&object)));
    factory->Release();
    return object;
  }

  HRESULT Start(const std::string& url, IInternetProtocolSink* sink) {
    IInternetProtocolRoot* protocol = Create<IInternetProtocolRoot>(IID_IInternetProtocolRoot);
    const HRESULT hr = protocol->Start(WideFromUtf8(url).c_str(), sink, nullptr, 0, 0);
    protocol->Release();
    return hr;
  }
};

TEST_F(KsieTest, QueryInterfaceAnswersItsTableAndOneIdentity) {
  IUnknown* object = Create<IUnknown>(IID_IUnknown);
  ASSERT_TRUE(object);
  auto query = [&](REFIID riid) {
    void* pointer = reinterpret_cast<void*>(1);
    const HRESULT hr = object->QueryInterface(riid, &pointer);
    if (SUCCEEDED(hr)) static_cast<IUnknown*>(pointer)->Release();
    return std::make_pair(hr, pointer);
  };
  EXPECT_EQ(object, query(IID_IInternet).second);
  EXPECT_EQ(query(IID_IInternetProtocol).second, query(IID_IInternetProtocolRoot).second);
  for (const IID* riid : {&IID_IInternetProtocolInfo, &IID_ISupportErrorInfo}) EXPECT_EQ(S_OK, query(*riid).first);
  for (const IID* riid : {&IID_IDispatch, &IID_IKestrionIE, &IID_IClassFactory, &IID_IInternetProtocolSink}) {
    auto [hr, pointer] = query(*riid);
    EXPECT_EQ(E_NOINTERFACE, hr);
    EXPECT_EQ(nullptr, pointer);
  }
  // Every interface leads back to the same identity.
  ISupportErrorInfo* errorInfo = nullptr;
  ASSERT_EQ(S_OK, object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&errorInfo)));
  IUnknown* identity = nullptr;
  ASSERT_EQ(S_OK, errorInfo->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
  EXPECT_EQ(object, identity);
  EXPECT_EQ(S_OK, errorInfo->InterfaceSupportsErrorInfo(IID_IInternetProtocolRoot));
  for (const IID* riid : {&IID_IInternetProtocol, &IID_IInternetProtocolInfo, &IID_IUnknown})
    EXPECT_EQ(S_FALSE, errorInfo->InterfaceSupportsErrorInfo(*riid));
  identity->Release();
  errorInfo->Release();
  object->Release();
}

TEST_F(KsieTest, UnloadsOnlyWhenNothingHoldsIt) {
  EXPECT_EQ(S_OK, m_library->DllCanUnloadNow());
  IClassFactory* factory = Factory();
  EXPECT_EQ(S_FALSE, m_library->DllCanUnloadNow()) << "a client holds the factory";
  IUnknown* object = nullptr;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
  factory->Release();
  EXPECT_EQ(S_FALSE, m_library->DllCanUnloadNow()) << "an object lives";
  object->Release();
  EXPECT_EQ(S_OK, m_library->DllCanUnloadNow());

  factory = Factory();
  factory->LockServer(TRUE);
  factory->Release();
  EXPECT_EQ(S_FALSE, m_library->DllCanUnloadNow()) << "LockServer(TRUE) is unbalanced";
  factory = Factory();
  factory->LockServer(FALSE);
  factory->Release();
  EXPECT_EQ(S_OK, m_library->DllCanUnloadNow());
}

TEST_F(KsieTest, FactoryRefusesOtherClassesAndBadRequests) {
  void* pointer = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, m_library->DllGetClassObject(IID_IKestrionIE, IID_IClassFactory, &pointer));
  EXPECT_EQ(nullptr, pointer);

  IClassFactory* factory = Factory();
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
  CountingOuter outer;
  pointer = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IInternetProtocol, &pointer));
  EXPECT_EQ(nullptr, pointer);
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IDispatch, &pointer));

  // Aggregated: the inner unknown is its own, the interfaces count on the outer.
  ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
  factory->Release();
  IInternetProtocol* protocol = nullptr;
  ASSERT_EQ(S_OK, outer.inner->QueryInterface(IID_IInternetProtocol, reinterpret_cast<void**>(&protocol)));
  EXPECT_EQ(2u, outer.count);
  IInternetProtocolInfo* info = nullptr;
  ASSERT_EQ(S_OK, protocol->QueryInterface(IID_IInternetProtocolInfo, reinterpret_cast<void**>(&info)));
  EXPECT_EQ(1, outer.queries);
  EXPECT_EQ(3u, outer.count);
  info->Release();
  protocol->Release();
  EXPECT_EQ(1u, outer.count);
  EXPECT_EQ(S_FALSE, m_library->DllCanUnloadNow());
  outer.inner->Release();
  outer.inner = nullptr;
  EXPECT_EQ(S_OK, m_library->DllCanUnloadNow());
}

TEST_F(KsieTest, RegistrationWritesTheClassAndUnregistrationTakesOnlyItAway) {
  SetRegistryString(HKEY_CLASSES_ROOT, "CLSID\\{11111111-2222-3333-4444-555555555555}", "", "Another Class");
  // Left from an older registration: ForceRemove clears it.
  SetRegistryString(HKEY_CLASSES_ROOT, kClassKey + "\\LocalServer32", "", "/old/ksie");
  ASSERT_EQ(S_OK, m_library->DllRegisterServer());

  const std::string path = m_library->Path();
  const struct {
    std::string key;
    const char* name;
    std::string data;
  } values[] = {
      {"KSIE.KestrionIE.1", "", "KestrionIE Class"},
      {"KSIE.KestrionIE.1\\CLSID", "", "{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C}"},
      {"KSIE.KestrionIE", "", "KestrionIE Class"},
      {"KSIE.KestrionIE\\CLSID", "", "{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C}"},
      {"KSIE.KestrionIE\\CurVer", "", "KSIE.KestrionIE.1"},
      {kClassKey, "", "KestrionIE Class"},
      {kClassKey + "\\ProgID", "", "KSIE.KestrionIE.1"},
      {kClassKey + "\\VersionIndependentProgID", "", "KSIE.KestrionIE"},
      {kClassKey + "\\InprocServer32", "", path},
      {kClassKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {kClassKey + "\\TypeLib", "", "{7C3E20A6-41A9-11D2-8F3C-0060B0E2A17C}"},
      {kTypeLibKey, "", "KSIE 1.0 Type Library"},
      {kTypeLibKey + "\\0\\linux", "", path},
      {"Interface\\{7C3E20B3-41A9-11D2-8F3C-0060B0E2A17C}", "", "IKestrionIE"},
      {"Interface\\{7C3E20B3-41A9-11D2-8F3C-0060B0E2A17C}\\TypeLib", "", "{7C3E20A6-41A9-11D2-8F3C-0060B0E2A17C}"},
  };
  for (const auto& value : values)
    EXPECT_EQ(value.data, RegistryString(HKEY_CLASSES_ROOT, value.key, value.name).value_or("<missing>")) << value.key;
  EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, kClassKey + "\\Programmable"));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kClassKey + "\\LocalServer32"));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "PROTOCOLS"));

  ASSERT_EQ(S_OK, m_library->DllUnregisterServer());
  for (const char* gone : {"KSIE.KestrionIE.1", "KSIE.KestrionIE"})
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, gone));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kClassKey));
  EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, "CLSID\\{11111111-2222-3333-4444-555555555555}"));
  EXPECT_EQ(path, RegistryString(HKEY_CLASSES_ROOT, kTypeLibKey + "\\0\\linux", ""));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "PROTOCOLS"));
}

TEST_F(KsieTest, ClientsCreateItByClassOrProgIdUntilItIsFreed) {
  ASSERT_EQ(S_OK, m_library->DllRegisterServer());
  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromProgID("KSIE.KestrionIE", &clsid));
  EXPECT_EQ(CLSID_KestrionIE, clsid);
  IInternetProtocolRoot* protocol = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IInternetProtocolRoot,
                                   reinterpret_cast<void**>(&protocol)));
  EXPECT_EQ(1, LoadedServerLibraryCount());
  CoFreeUnusedLibraries();
  EXPECT_EQ(1, LoadedServerLibraryCount()) << "an object lives";
  protocol->Release();
  CoFreeUnusedLibraries();
  EXPECT_EQ(0, LoadedServerLibraryCount());

  EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID("KSIE.Nothing", &clsid));
  void* pointer = nullptr;
  EXPECT_EQ(REGDB_E_CLASSNOTREG,
            CoCreateInstance(IID_IKestrionIE, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &pointer));
  SetRegistryString(HKEY_CLASSES_ROOT, kClassKey + "\\InprocServer32", "", "/no/such/library.so");
  EXPECT_EQ(CO_E_DLLNOTFOUND,
            CoCreateInstance(CLSID_KestrionIE, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &pointer));
  EXPECT_EQ(0, LoadedServerLibraryCount());
}

TEST_F(KsieTest, StartOffersOnlyProgramAndArchiveDownloads) {
  const HRESULT kBrowser = MakeHResult(0x800C0011);
  SetRegistryString(HKEY_CLASSES_ROOT, ".zip", "Content Type", "application/x-zip-compressed");
  SetRegistryString(HKEY_CLASSES_ROOT, ".exe", "Content Type", "application/x-msdownload");
  SetRegistryString(HKEY_CLASSES_ROOT, ".htm", "Content Type", "text/html");
  SetRegistryString(HKEY_CLASSES_ROOT, ".cab", "Content Type", "application/x-cab");
  SetRegistryString(HKEY_CLASSES_ROOT, "MIME\\Database\\Content Type\\application/x-cab", "CLSID", "{1}");
  SetRegistryString(HKEY_CLASSES_ROOT, ".big", "Content Type", "application/" + std::string(244, 'x'));
  // 4096 bytes, and one less: the narrow URL and its NUL must fit 4096.
  const std::string tooLong = "http://h/" + std::string(4083, 'a') + ".zip";
  const std::string longest = "http://h/" + std::string(4082, 'a') + ".zip";
  const struct {
    std::string url;
    const char* answers;
    HRESULT result;
    size_t offers;
    size_t reported;
  } cases[] = {
      {"http://h/dir/", "", kBrowser, 0, 0},
      {"http://h/setup.exe", "cancel", S_FALSE, 1, 0},
      {"http://h/x.arj", "cancel", S_FALSE, 1, 0},
      {"http://h/x.gz", "", kBrowser, 0, 0},
      {"ftp://h/x.gz", "cancel", S_FALSE, 1, 0},
      {"ftp://h/page.htm", "", kBrowser, 0, 0},
      {"http://h/setup.exe?x=1", "", kBrowser, 0, 0},
      {"gopher://h/x.zip", "", kBrowser, 0, 0},
      {"HTTP://h/x.ZIP", "regular", kBrowser, 1, 0},
      {"http://h/x.zip", "ok\ncancel", S_OK, 1, 1},
      // A type the browser has a viewer for.
      {"ftp://h/setup.cab", "", kBrowser, 0, 0},
      // Too long for its buffer: refused, not cut.
      {tooLong, "", kBrowser, 0, 0},
      {longest, "cancel", S_FALSE, 1, 0},
      {"ftp://h/x.big", "", kBrowser, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url.substr(0, 40));
    s_env->ClearLog();
    s_env->Answer(std::string(c.answers) + "\n");
    RecordingSink sink;
    EXPECT_EQ(c.result, Start(c.url, &sink));
    EXPECT_EQ(c.offers, Offers());
    ASSERT_EQ(c.reported, sink.results.size());
    if (c.reported) {
      EXPECT_EQ(S_OK, sink.results[0]);
    }
  }
  // Without a sink the browser is still told S_OK.
  s_env->Answer("ok\ncancel\n");
  EXPECT_EQ(S_OK, Start("ftp://h/a.zip", nullptr));
  // Once the browser has a viewer for the archive type, even a .zip stays with it.
  SetRegistryString(HKEY_CLASSES_ROOT, "MIME\\Database\\Content Type\\application/x-zip-compressed", "CLSID", "{2}");
  s_env->ClearLog();
  for (const char* url : {"http://h/x.zip", "ftp://h/x.zip"}) EXPECT_EQ(kBrowser, Start(url, nullptr)) << url;
  EXPECT_EQ(0u, Offers());
}

TEST_F(KsieTest, StartTakesHttpsAsHttpOnlyWhileTheSwitchIsOn) {
  testenv::ForEachHttpsSwitch([&](bool allowed) {
    for (const auto& [url, offered] : {std::pair{"https://h/x.zip", allowed}, std::pair{"https://h/x.gz", false}}) {
      SCOPED_TRACE(url);
      s_env->ClearLog();
      s_env->Answer("cancel\n");
      RecordingSink sink;
      EXPECT_EQ(offered ? S_FALSE : MakeHResult(0x800C0011), Start(url, &sink));
      EXPECT_EQ(offered ? 1u : 0u, Offers());
    }
  });
}

}  // namespace

// ksns.so driven as an automation client drives it: bound by name,
// "Initialize" and "Open" invoked on one object, with the script UI
// answering and a recorder standing in for kestrion.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "platform/com/dispatch.h"
#include "platform/com/server_library.h"
#include "platform/com/wide_text.h"
#include "tests/support/https_switch_setting.h"
#include "tests/support/launch_recorder.h"
#include "tests/support/registry_values.h"
#include "tests/support/server_library_test.h"

namespace {

using testenv::RegistryString;
using testenv::SetRegistryString;

constexpr CLSID CLSID_ProtocolHandler{0xE41D5C72, 0x93B0, 0x11D2, {0xA6, 0xF1, 0x44, 0x45, 0x53, 0x54, 0x00, 0x01}};
constexpr char kClassKey[] = "CLSID\\{E41D5C72-93B0-11D2-A6F1-444553540001}";

class KsnsTest : public testenv::ServerLibraryTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LoadServer("ksns.so"));
    std::filesystem::remove(s_env->File("launched"));
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, m_library->DllGetClassObject(CLSID_ProtocolHandler, IID_IClassFactory,
                                                 reinterpret_cast<void**>(&factory)));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&m_object)));
    factory->Release();
  }
  void TearDown() override {
    if (m_object) m_object->Release();
  }

  void Answer(const std::string& answers) { s_env->Answer(answers); }
  std::vector<std::string> Log(const char* kind) const { return s_env->Log(kind); }

  DISPID IdOf(const char16_t* name) {
    DISPID id = 0;
    const char16_t* names[] = {name};
    return m_object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id) == S_OK ? id : DISPID_UNKNOWN;
  }

  // Arguments in call order.
  HRESULT Call(DISPID id, std::vector<VARIANT> arguments, VARIANT* result = nullptr, WORD flags = DISPATCH_METHOD) {
    std::reverse(arguments.begin(), arguments.end());
    DISPPARAMS params;
    params.rgvarg = arguments.data();
    params.cArgs = static_cast<UINT>(arguments.size());
    return m_object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, &m_badArgument);
  }

  int Initialize(const std::string& first, const std::string& url) {
    VARIANT result;
    EXPECT_EQ(S_OK, Call(1, {VariantFromString(WideFromUtf8(first)), VariantFromString(WideFromUtf8(url))}, &result));
    EXPECT_EQ(VT_I2, result.vt);
    return result.iVal;
  }

  void Open() { EXPECT_EQ(S_OK, Call(2, {VariantFromString(u"")})); }

  // A recorder registered as kestrion, in a folder whose name has a blank.
  testenv::LaunchRecorder InstallRecorder() {
    std::filesystem::create_directories(s_env->File("my prog"));
    testenv::LaunchRecorder recorder(s_env->File("my prog/kestrion"), s_env->File("launched"));
    SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane\\Kestrion", "EXELOCATION",
                      "\"" + recorder.Program() + "\"");
    return recorder;
  }
  void SetDownloadFolder(const std::string& folder) {
    SetRegistryString(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer", "Download Directory", folder);
  }

  IDispatch* m_object = nullptr;
  UINT m_badArgument = 99;
};

TEST_F(KsnsTest, MethodsBindByNameInAnyCase) {
  EXPECT_EQ(1, IdOf(u"Initialize"));
  EXPECT_EQ(1, IdOf(u"INITIALIZE"));
  EXPECT_EQ(2, IdOf(u"open"));
  EXPECT_EQ(DISPID_UNKNOWN, IdOf(u"Close"));
  EXPECT_EQ(DISPID_UNKNOWN, IdOf(u"Ope"));
  EXPECT_EQ(DISPID_UNKNOWN, IdOf(u"Opened"));
  const char16_t* withParameter[] = {u"Open", u"name"};
  DISPID ids[2];
  EXPECT_EQ(DISP_E_UNKNOWNNAME, m_object->GetIDsOfNames(GUID_NULL, withParameter, 2, 0, ids));
  EXPECT_EQ(2, ids[0]);

  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(3, {}));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(2, {VariantFromString(u"")}, nullptr, 0x2));
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(1, {VariantFromString(u"http://h/a.zip")}));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(1, {VariantFromShort(1), VariantFromString(u"http://h/a.zip")}));
  EXPECT_EQ(1u, m_badArgument) << "the first argument travels last";
  EXPECT_TRUE(Log("download-choice").empty());
}

TEST_F(KsnsTest, InitializeOffersTheSecondArgumentsDownloads) {
  const struct {
    const char* first;
    const char* url;
    const char* answer;
    int result;
    size_t offers;
  } cases[] = {
      {"", "http://h/a.zip", "ok", 1, 1},
      {"", "http://h/a.gz", "", 0, 0},
      {"", "ftp://h/a.gz", "ok", 1, 1},
      {"", "http://h/a.zip", "regular", 0, 1},
      {"", "http://h/a.zip", "cancel", 0, 1},
      {"http://h/a.zip", "http://h/a.gz", "", 0, 0},
      {"", "https://h/a.zip", "", 0, 0},
      {"", "a.zip", "", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " / " + c.url);
    s_env->ClearLog();
    Answer(std::string(c.answer) + "\n");
    EXPECT_EQ(c.result, Initialize(c.first, c.url));
    EXPECT_EQ(c.offers, Log("download-choice").size());
  }
  EXPECT_TRUE(Log("save-file").empty());
}

TEST_F(KsnsTest, InitializeTakesHttpsAsHttpOnlyWhileTheSwitchIsOn) {
  testenv::ForEachHttpsSwitch([&](bool allowed) {
    for (const auto& [url, offered] : {std::pair{"https://h/a.zip", allowed}, std::pair{"https://h/a.gz", false}}) {
      SCOPED_TRACE(url);
      s_env->ClearLog();
      Answer("ok\n");
      EXPECT_EQ(offered ? 1 : 0, Initialize("", url));
      EXPECT_EQ(offered ? 1u : 0u, Log("download-choice").size());
    }
  });
}

TEST_F(KsnsTest, OpenStartsKestrionWithTheExactCommandLine) {
  testenv::LaunchRecorder recorder = InstallRecorder();
  SetDownloadFolder(s_env->File("dl"));
  const std::string chosen = s_env->File("My Files/a %41.zip");
  Answer("ok\n" + chosen + "\n");
  ASSERT_EQ(1, Initialize("", "http://h/a%20b.zip"));
  Open();
  ASSERT_EQ(1u, Log("save-file").size());
  EXPECT_EQ(s_env->File("dl/a b.zip"), testenv::JsonString(Log("save-file")[0], "initial"));
  EXPECT_EQ("http://h/a%20b.zip " + s_env->File("My Files/a %%41.zip"), recorder.AwaitArgument());
  EXPECT_EQ(s_env->File("My Files"), RegistryString(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer",
                                                    "Download Directory"));
}

TEST_F(KsnsTest, AUrlWithNothingAfterTheHostKeepsTheEarlierFileName) {
  testenv::LaunchRecorder recorder = InstallRecorder();
  SetDownloadFolder(s_env->File("dl"));
  Answer("cancel\nok\n");
  EXPECT_EQ(0, Initialize("", "http://h/setup.exe"));
  EXPECT_EQ(0, Initialize("", "http://www.host.com"));
  EXPECT_EQ(1u, Log("download-choice").size());
  Open();
  EXPECT_EQ(s_env->File("dl/setup.exe"), testenv::JsonString(Log("save-file")[0], "initial"));
  EXPECT_EQ("http://www.host.com " + s_env->File("dl/setup.exe"), recorder.AwaitArgument());
}

TEST_F(KsnsTest, OpenOnAFreshObjectProposesTheBareFolder) {
  testenv::LaunchRecorder recorder = InstallRecorder();
  SetDownloadFolder("/dl");
  Answer("/dl/x.zip\n");
  Open();
  EXPECT_EQ("/dl/", testenv::JsonString(Log("save-file")[0], "initial"));
  // The empty URL field leaves two blanks, which the launch reads past.
  EXPECT_EQ("/dl/x.zip", recorder.AwaitArgument());
}

TEST_F(KsnsTest, RegistersItsClassAndStaysLoadedWhileAnObjectLives) {
  EXPECT_EQ(S_FALSE, m_library->DllCanUnloadNow());
  m_object->Release();
  m_object = nullptr;
  EXPECT_EQ(S_OK, m_library->DllCanUnloadNow());

  EXPECT_FALSE(m_library->Exports("DllUnregisterServer"));
  ASSERT_EQ(S_OK, m_library->DllRegisterServer());
  const struct {
    std::string key;
    std::string data;
  } values[] = {
      {"KSNS.Protocol.1", "KSNS.Protocol.1"},
      {"KSNS.Protocol.1\\CLSID", "{E41D5C72-93B0-11D2-A6F1-444553540001}"},
      {kClassKey, "KSNS.Protocol.1"},
      {std::string(kClassKey) + "\\ProgID", "KSNS.Protocol.1"},
      {std::string(kClassKey) + "\\InprocServer32", m_library->Path()},
  };
  for (const auto& value : values)
    EXPECT_EQ(value.data, RegistryString(HKEY_CLASSES_ROOT, value.key, "").value_or("<missing>")) << value.key;
}

}  // namespace

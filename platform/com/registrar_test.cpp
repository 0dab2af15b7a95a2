#include "platform/com/registrar.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/com/registry_script.h"
#include "platform/com/type_library.h"
#include "platform/registry/registry.h"
#include "tests/support/registry_values.h"
#include "tests/support/test_env.h"

namespace {

using testenv::RegistryKeyExists;
using testenv::RegistryString;
using testenv::SetRegistryString;

class RegistrarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KESTRION_REGISTRY", m_dir.File("registry").c_str(), 1);
    m_registrar.AddReplacement("MODULE", "/opt/my lib's/x.so");
  }
  void TearDown() override { unsetenv("KESTRION_REGISTRY"); }
  std::string ClassesRoot() const { return testenv::ReadFile(m_dir.File("registry/HKEY_CLASSES_ROOT.reg")); }

  testenv::ScratchDir m_dir;
  Registrar m_registrar;
};

constexpr char kScript[] = R"(HKCR
{
	App.Thing.1 = s 'Thing Class'
	{
		CLSID = s '{11111111-2222-3333-4444-555555555555}'
	}
	NoRemove CLSID
	{
		ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Thing ''Class'''
		{
			'Two Words' = d 0x10
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
				val Share = s '100%%'
				val Count = d 7
			}
		}
	}
}
HKLM { SOFTWARE { Vendor { val Flag = d 1 } } }
)";

TEST_F(RegistrarTest, RegisterWritesEveryKeyAndValue) {
  ASSERT_EQ(S_OK, m_registrar.RegisterScript(kScript));
  EXPECT_EQ(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_CLASSES_ROOT\\App.Thing.1]\n@=\"Thing Class\"\n\n"
      "[HKEY_CLASSES_ROOT\\App.Thing.1\\CLSID]\n@=\"{11111111-2222-3333-4444-555555555555}\"\n\n"
      "[HKEY_CLASSES_ROOT\\CLSID\\{11111111-2222-3333-4444-555555555555}]\n@=\"Thing 'Class'\"\n\n"
      "[HKEY_CLASSES_ROOT\\CLSID\\{11111111-2222-3333-4444-555555555555}\\Two Words]\n@=dword:00000010\n\n"
      "[HKEY_CLASSES_ROOT\\CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32]\n"
      "@=\"/opt/my lib's/x.so\"\n\"ThreadingModel\"=\"Apartment\"\n\"Share\"=\"100%\"\n\"Count\"=dword:00000007\n\n",
      ClassesRoot());
  EXPECT_EQ(std::nullopt, RegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", "Flag")) << "a number";
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor"));
}

TEST_F(RegistrarTest, RemoveFlagsDecideWhatGoes) {
  const std::string classKey = "CLSID\\{11111111-2222-3333-4444-555555555555}";
  SetRegistryString(HKEY_CLASSES_ROOT, classKey + "\\Stale", "", "old");
  SetRegistryString(HKEY_CLASSES_ROOT, "CLSID\\{99999999-2222-3333-4444-555555555555}", "", "Other");
  ASSERT_EQ(S_OK, m_registrar.RegisterScript(kScript));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, classKey + "\\Stale")) << "ForceRemove clears the key first";

  // Added by someone else after registration.
  SetRegistryString(HKEY_CLASSES_ROOT, classKey + "\\Extra", "", "x");
  SetRegistryString(HKEY_CLASSES_ROOT, "App.Thing.1\\Shell", "", "x");
  ASSERT_EQ(S_OK, m_registrar.UnregisterScript(kScript));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, classKey)) << "ForceRemove takes everything under it";
  EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, "CLSID\\{99999999-2222-3333-4444-555555555555}"));
  EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, "App.Thing.1\\Shell")) << "a foreign key keeps its parent";
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "App.Thing.1\\CLSID"));
  EXPECT_EQ(std::nullopt, RegistryString(HKEY_CLASSES_ROOT, "App.Thing.1", ""));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE"));
  // Nothing left to remove is no failure.
  EXPECT_EQ(S_OK, m_registrar.UnregisterScript(kScript));
}

TEST_F(RegistrarTest, AMalformedScriptChangesNothing) {
  const char* scripts[] = {
      "HKCR { A = s 'unterminated }",
      "HKCR { A = s 'x'",
      "HKXX { A }",
      "HKCR { A = s '%NOSUCH%' }",
      "HKCR { A = s '50% off' }",
      "HKCR { A = d 'ten' }",
      "HKCR { A = d 12z }",
      "HKCR { A = b '00' }",
      "HKCR { A { val B s 'x' } }",
      "HKCR { = }",
      "HKCR { B } }",
  };
  for (const char* script : scripts) {
    EXPECT_EQ(E_INVALIDARG, m_registrar.RegisterScript(script)) << script;
    EXPECT_EQ(E_INVALIDARG, m_registrar.UnregisterScript(script)) << script;
  }
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "A"));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, "B"));
  // A key the registry refuses stops registration with its error.
  EXPECT_EQ(HResultFromWin32(ERROR_INVALID_PARAMETER),
            m_registrar.RegisterScript("HKCR { Ok { " + std::string(256, 'k') + " } }"));
}

// How deep keys nest is bounded by memory, not by the stack: a script
// 100000 keys deep is read, and one that leaves them open is refused.
TEST(RegistryScriptTest, DeepNestingIsReadWithoutRecursion) {
  constexpr size_t kDepth = 100000;
  std::string opened, closed;
  for (size_t i = 0; i < kDepth; ++i) opened += "k { ", closed += "} ";
  const std::map<std::string, std::string> none;
  const auto roots = ParseRegistryScript("HKCU { " + opened + closed + "}", none);
  ASSERT_TRUE(roots);
  const std::vector<ScriptKey>& keys = roots->at(0).keys;
  ASSERT_EQ(kDepth, keys.size());
  EXPECT_EQ(kDepth - 1, keys.back().depth);
  EXPECT_EQ(kDepth, keys.front().end);
  EXPECT_EQ(std::nullopt, ParseRegistryScript("HKCU { " + opened + "}", none));
}

TEST_F(RegistrarTest, TypeLibraryRegistrationRecordsAndRemovesOneVersion) {
  const GUID libid{0x7C3E20A6, 0x41A9, 0x11D2, {0x8F, 0x3C, 0x00, 0x60, 0xB0, 0xE2, 0xA1, 0x7C}};
  const IID iid{0x7C3E20B3, 0x41A9, 0x11D2, {0x8F, 0x3C, 0x00, 0x60, 0xB0, 0xE2, 0xA1, 0x7C}};
  const std::string lib = "TypeLib\\{7C3E20A6-41A9-11D2-8F3C-0060B0E2A17C}";
  const std::string itf = "Interface\\{7C3E20B3-41A9-11D2-8F3C-0060B0E2A17C}";
  ASSERT_EQ(S_OK, RegisterTypeLib({libid, 1, 10, "Lib 1.10", {{iid, "IThing"}}}, "/opt/lib/x.so"));
  ASSERT_EQ(S_OK, RegisterTypeLib({libid, 2, 0, "Lib 2.0", {}}, "/opt/lib/y.so"));
  EXPECT_EQ("Lib 1.10", RegistryString(HKEY_CLASSES_ROOT, lib + "\\1.a", ""));
  EXPECT_EQ("/opt/lib/x.so", RegistryString(HKEY_CLASSES_ROOT, lib + "\\1.a\\0\\linux", ""));
  EXPECT_EQ("/opt/lib", RegistryString(HKEY_CLASSES_ROOT, lib + "\\1.a\\HELPDIR", ""));
  EXPECT_EQ("IThing", RegistryString(HKEY_CLASSES_ROOT, itf, ""));
  EXPECT_EQ("1.a", RegistryString(HKEY_CLASSES_ROOT, itf + "\\TypeLib", "Version"));

  ASSERT_EQ(S_OK, UnRegisterTypeLib(libid, 1, 10));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, lib + "\\1.a"));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, itf));
  EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, lib + "\\2.0"));
  ASSERT_EQ(S_OK, UnRegisterTypeLib(libid, 2, 0));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, lib));
}

}  // namespace

#include "app/handler_registration.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/ui/ui.h"
#include "tests/support/https_switch_setting.h"
#include "tests/support/registry_values.h"
#include "tests/support/test_env.h"

namespace {

// Answers questions from a list and remembers what was asked.
class AnsweringBackend : public UIBackend {
 public:
  AnsweringBackend(std::deque<int>* answers, std::vector<std::string>* asked, std::vector<unsigned>* types)
      : m_answers(answers), m_asked(asked), m_types(types) {}
  void AskMessage(const std::string& text, unsigned type, std::function<void(int)> answered) override {
    m_asked->push_back(text);
    m_types->push_back(type);
    int answer = IDYES;
    if (!m_answers->empty()) {
      answer = m_answers->front();
      m_answers->pop_front();
    }
    answered(answer);
  }
  void AskSaveFile(const std::string&, std::function<void(std::optional<std::string>)> answered) override {
    answered(std::nullopt);
  }
  std::unique_ptr<IWindowView> CreateWindowView(ViewInputHandler) override { return nullptr; }

 private:
  std::deque<int>* m_answers;
  std::vector<std::string>* m_asked;
  std::vector<unsigned>* m_types;
};

const std::string kHandlers = "PROTOCOLS\\Name-Space Handler\\";

class HandlerRegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KESTRION_REGISTRY", m_scratch.Path().c_str(), 1);
    m_previous = SetUIBackend(std::make_unique<AnsweringBackend>(&m_answers, &m_asked, &m_types));
  }
  void TearDown() override {
    SetUIBackend(std::move(m_previous));
    unsetenv("KESTRION_REGISTRY");
  }

  static void AddKey(const std::string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CLASSES_ROOT, path, &key));
    RegSetString(key, "CLSID", "{other}");
    RegCloseKey(key);
  }
  static std::vector<std::string> SubKeys(const std::string& path) {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path, &key) != ERROR_SUCCESS) return {"<missing>"};
    char name[261];
    for (DWORD i = 0;; ++i) {
      DWORD size = sizeof name;
      if (RegEnumKeyEx(key, i, name, &size) != ERROR_SUCCESS) break;
      names.push_back(name);
    }
    RegCloseKey(key);
    return names;
  }
  static std::string Question(const std::string& names, const std::string& protocol) {
    return "Kestrion found the following registered programs [" + names + "] while registering protocol " +
           protocol + ", chose yes to disble the other programs operations.";
  }
  // The handler values exactly as the browser reads them.
  static void ExpectOwnHandler(const std::string& protocolPath) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CLASSES_ROOT, protocolPath + "\\ZKS", &key));
    uint8_t data[64];
    DWORD type = 0, size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, "CLSID", &type, data, &size));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(39u, size);
    EXPECT_EQ(std::string("{7C3E20B4-41A9-11D2-8F3C-0060B0E2A17C}", 39), std::string(data, data + size));
    size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, "Pattern1", &type, data, &size));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(1u, size);
    EXPECT_EQ(0, data[0]);
    char name[64];
    DWORD nameSize = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValue(key, 2, name, &nameSize, nullptr, nullptr, nullptr));
    RegCloseKey(key);
  }

  testenv::ScratchDir m_scratch;
  std::unique_ptr<UIBackend> m_previous;
  std::deque<int> m_answers;
  std::vector<std::string> m_asked;
  std::vector<unsigned> m_types;
};

using Names = std::vector<std::string>;

TEST_F(HandlerRegistrationTest, YesRemovesOtherProgramsWithTheirSubKeys) {
  AddKey(kHandlers + "http\\A");
  AddKey(kHandlers + "http\\B\\Nested");
  m_answers = {IDYES};
  CHandlerRegistration::RegisterHandlers();
  ASSERT_EQ(Names{Question("A,B", "http")}, m_asked);
  EXPECT_EQ(MB_YESNO, m_types[0]);
  EXPECT_EQ(Names{"ZKS"}, SubKeys(kHandlers + "http"));
  ExpectOwnHandler(kHandlers + "http");
  EXPECT_EQ(Names{"http"}, SubKeys("PROTOCOLS\\Name-Space Handler")) << "ftp is never created";
}

TEST_F(HandlerRegistrationTest, NoKeepsOtherProgramsAndAddsOursBesideThem) {
  AddKey(kHandlers + "ftp\\Other");
  AddKey(kHandlers + "ftp\\ZKS");
  AddKey(kHandlers + "http\\A");
  AddKey(kHandlers + "http\\B");
  m_answers = {IDNO, IDNO};
  CHandlerRegistration::RegisterHandlers();
  EXPECT_EQ((Names{Question("Other", "ftp"), Question("A,B", "http")}), m_asked);
  EXPECT_EQ((Names{"Other", "ZKS"}), SubKeys(kHandlers + "ftp"));
  EXPECT_EQ((Names{"A", "B", "ZKS"}), SubKeys(kHandlers + "http"));
  HKEY ours = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CLASSES_ROOT, kHandlers + "ftp\\ZKS", &ours));
  std::string clsid;
  EXPECT_TRUE(RegGetString(ours, "CLSID", &clsid));
  EXPECT_EQ(kInterceptorCLSID, clsid);
  RegCloseKey(ours);
}

TEST_F(HandlerRegistrationTest, OnlyOurOwnKeyAsksNothingAndIsWrittenAfresh) {
  AddKey(kHandlers + "http\\ZKS\\Stale");
  AddKey(kHandlers + "ftp");
  CHandlerRegistration::RegisterHandlers();
  EXPECT_EQ(Names{}, m_asked);
  EXPECT_EQ(Names{}, SubKeys(kHandlers + "http\\ZKS"));
  ExpectOwnHandler(kHandlers + "http");
  ExpectOwnHandler(kHandlers + "ftp");
}

TEST_F(HandlerRegistrationTest, OurNameInAnotherCaseIsAnotherProgram) {
  AddKey(kHandlers + "http\\zks");
  m_answers = {IDYES};
  CHandlerRegistration::RegisterHandler("http");
  EXPECT_EQ(Names{Question("zks", "http")}, m_asked);
  EXPECT_EQ(Names{"ZKS"}, SubKeys(kHandlers + "http"));
  ExpectOwnHandler(kHandlers + "http");
}

TEST_F(HandlerRegistrationTest, StopRemovesOnlyOurKeysAndASecondStopFindsNothing) {
  AddKey(kHandlers + "http\\Other");
  AddKey(kHandlers + "ftp");
  m_answers = {IDNO};
  CHandlerRegistration::RegisterHandlers();
  CHandlerRegistration::UnregisterHandlers();
  EXPECT_EQ(Names{"Other"}, SubKeys(kHandlers + "http"));
  EXPECT_EQ(Names{}, SubKeys(kHandlers + "ftp"));
  std::string before = testenv::ReadFile(m_scratch.File("HKEY_CLASSES_ROOT.reg"));
  CHandlerRegistration::UnregisterHandlers();
  EXPECT_EQ(before, testenv::ReadFile(m_scratch.File("HKEY_CLASSES_ROOT.reg")));
  EXPECT_EQ(1u, m_asked.size());
}

TEST_F(HandlerRegistrationTest, MissingProtocolKeysAreSkippedSilently) {
  CHandlerRegistration::RegisterHandlers();
  CHandlerRegistration::UnregisterHandlers();
  EXPECT_EQ(Names{}, m_asked);
  EXPECT_FALSE(testenv::FileExists(m_scratch.File("HKEY_CLASSES_ROOT.reg")));
}

// The https hook is written only while https is allowed, and always taken away.
TEST_F(HandlerRegistrationTest, HttpsIsHookedOnlyWhileTheSwitchIsOn) {
  testenv::ForEachHttpsSwitch([&](bool allowed) {
    for (const char* protocol : {"http", "https"}) AddKey(kHandlers + protocol + "\\ZKS");
    CHandlerRegistration::RegisterHandlers();
    if (allowed) {
      ExpectOwnHandler(kHandlers + "https");
    } else {
      EXPECT_EQ("{other}", testenv::RegistryString(HKEY_CLASSES_ROOT, kHandlers + "https\\ZKS", "CLSID"));
    }
    CHandlerRegistration::UnregisterHandlers();
    EXPECT_EQ(Names{}, SubKeys(kHandlers + "https"));
  });
  EXPECT_EQ(Names{}, m_asked);
}

}  // namespace

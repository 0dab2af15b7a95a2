#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "tests/support/test_env.h"

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = m_scratch.Path() + "/registry";
    setenv("KESTRION_REGISTRY", m_folder.c_str(), 1);
  }
  void TearDown() override { unsetenv("KESTRION_REGISTRY"); }

  std::string FileOf(const std::string& root) const { return m_folder + "/" + root + ".reg"; }
  std::string TextOf(const std::string& root) const { return testenv::ReadFile(FileOf(root)); }
  void WriteRoot(const std::string& root, const std::string& text) {
    mkdir(m_folder.c_str(), 0700);
    testenv::WriteFile(FileOf(root), text);
  }

  static HKEY Create(HKEY parent, const std::string& path) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyEx(parent, path, &key)) << path;
    return key;
  }
  static std::vector<std::string> SubKeys(HKEY key) {
    std::vector<std::string> names;
    char name[300];
    for (DWORD i = 0;; ++i) {
      DWORD size = sizeof name;
      LONG status = RegEnumKeyEx(key, i, name, &size);
      if (status != ERROR_SUCCESS) {
        EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
        return names;
      }
      EXPECT_EQ(strlen(name), size);
      names.push_back(name);
    }
  }
  static std::vector<std::string> ValueNames(HKEY key) {
    std::vector<std::string> names;
    char name[300];
    for (DWORD i = 0;; ++i) {
      DWORD size = sizeof name;
      if (RegEnumValue(key, i, name, &size, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return names;
      names.push_back(name);
    }
  }

  testenv::ScratchDir m_scratch;
  std::string m_folder;
};

using Names = std::vector<std::string>;

TEST_F(RegistryTest, KeysAndValueNamesIgnoreCaseAndKeepTheFirstSpelling) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane\\Kestrion");
  ASSERT_EQ(ERROR_SUCCESS, RegSetString(key, "EXELocation", "/opt/kestrion"));
  ASSERT_EQ(ERROR_SUCCESS, RegSetString(key, "exelocation", "/usr/bin/kestrion"));
  RegCloseKey(key);

  HKEY other = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_LOCAL_MACHINE, "software\\MORVANE\\kestrion", &other));
  std::string text;
  EXPECT_TRUE(RegGetString(other, "EXELOCATION", &text));
  EXPECT_EQ("/usr/bin/kestrion", text);
  EXPECT_EQ(Names{"EXELocation"}, ValueNames(other));
  HKEY again = Create(other, "");
  RegCloseKey(again);
  RegCloseKey(other);

  HKEY same = Create(HKEY_LOCAL_MACHINE, "Software\\MORVANE\\Kestrion\\ADFiles");
  RegCloseKey(same);
  EXPECT_EQ(Names{"SOFTWARE"}, SubKeys(HKEY_LOCAL_MACHINE));
  EXPECT_EQ("Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvane\\Kestrion]\n"
            "\"EXELocation\"=\"/usr/bin/kestrion\"\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Morvane\\Kestrion\\ADFiles]\n\n",
            TextOf("HKEY_LOCAL_MACHINE"));
}

TEST_F(RegistryTest, WritesEachTypeInTheExportFormat) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Test");
  RegSetString(key, "", "default");
  RegSetString(key, "Path", "C:\\dir \"quoted\"");
  RegSetDword(key, "Count", 10);
  const uint8_t blob[] = {0x00, 0xab, 0xff};
  RegSetValueEx(key, "Blob", REG_BINARY, blob, sizeof blob);
  RegSetValueEx(key, "Lines", REG_SZ, reinterpret_cast<const uint8_t*>("a\nb"), 4);
  RegSetValueEx(key, "Multi", 7, reinterpret_cast<const uint8_t*>("a\0b\0"), 5);
  RegSetValueEx(key, "Empty", REG_BINARY, nullptr, 0);
  RegCloseKey(key);
  EXPECT_EQ("Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Test]\n"
            "@=\"default\"\n"
            "\"Path\"=\"C:\\\\dir \\\"quoted\\\"\"\n"
            "\"Count\"=dword:0000000a\n"
            "\"Blob\"=hex:00,ab,ff\n"
            "\"Lines\"=hex(1):61,0a,62,00\n"
            "\"Multi\"=hex(7):61,00,62,00,00\n"
            "\"Empty\"=hex:\n\n",
            TextOf("HKEY_CURRENT_USER"));
}

TEST_F(RegistryTest, EveryTypeReadsBackAsWritten) {
  HKEY key = Create(HKEY_CURRENT_USER, "Types");
  std::vector<uint8_t> longBlob(300);
  for (size_t i = 0; i < longBlob.size(); ++i) longBlob[i] = static_cast<uint8_t>(i * 7);
  struct Case {
    const char* name;
    DWORD type;
    std::vector<uint8_t> data;
  } cases[] = {
      {"sz", REG_SZ, {'x', '\\', '"', 0}},
      {"no nul", REG_SZ, {'a', 'b'}},
      {"inner nul", REG_SZ, {'a', 0, 'b', 0}},
      {"crlf", REG_SZ, {'a', '\r', '\n', 0}},
      {"dword", REG_DWORD, {1, 2, 3, 0x80}},
      {"short dword", REG_DWORD, {1, 2}},
      {"qword", 11, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"long", REG_BINARY, longBlob},
      {"odd \"name\\", REG_BINARY, {1}},
  };
  for (const Case& c : cases)
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, c.name, c.type, c.data.data(), static_cast<DWORD>(c.data.size())));
  for (const Case& c : cases) {
    DWORD type = 0;
    uint8_t data[400];
    DWORD size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, c.name, &type, data, &size)) << c.name;
    EXPECT_EQ(c.type, type) << c.name;
    EXPECT_EQ(c.data, std::vector<uint8_t>(data, data + size)) << c.name;
  }
  RegCloseKey(key);
  for (const std::string& line : testenv::ReadLines(FileOf("HKEY_CURRENT_USER"))) EXPECT_LE(line.size(), 80u) << line;
}

TEST_F(RegistryTest, QueryFollowsTheSizeProtocol) {
  HKEY key = Create(HKEY_CURRENT_USER, "Q");
  RegSetString(key, "Name", "abcdef");
  DWORD type = 0, size = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, "Name", &type, nullptr, &size));
  EXPECT_EQ(REG_SZ, type);
  EXPECT_EQ(7u, size);
  uint8_t small[6];
  size = sizeof small;
  EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueEx(key, "Name", nullptr, small, &size));
  EXPECT_EQ(7u, size);
  uint8_t exact[7];
  size = sizeof exact;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, "Name", nullptr, exact, &size));
  EXPECT_STREQ("abcdef", reinterpret_cast<char*>(exact));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueEx(key, "Other", &type, nullptr, &size));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueEx(key, "Name", nullptr, exact, nullptr));

  DWORD number = 0;
  EXPECT_FALSE(RegGetDword(key, "Name", &number));
  RegSetDword(key, "Number", 0xfffffffe);
  EXPECT_TRUE(RegGetDword(key, "number", &number));
  EXPECT_EQ(0xfffffffeu, number);
  std::string text;
  EXPECT_FALSE(RegGetString(key, "Number", &text));
  EXPECT_FALSE(RegGetString(key, "Missing", &text));
  RegCloseKey(key);
}

TEST_F(RegistryTest, ReadsHandWrittenFiles) {
  WriteRoot("HKEY_CLASSES_ROOT",
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
            "; written by hand\r\n"
            "\r\n"
            "[HKEY_CLASSES_ROOT\\PROTOCOLS\\Name-Space Handler\\http\\Other]\r\n"
            "\"CLSID\" = \"{1}\"\r\n"
            "   ; indented comment\r\n"
            "\r\n\r\n"
            "[HKEY_CURRENT_USER\\Elsewhere]\r\n"
            "\"Stray\"=\"not this root\"\r\n"
            "[hkcr\\.zip]\r\n"
            "@=\"CompressedFolder\"\r\n"
            "\"Content Type\"=\"application/zip\"\r\n"
            "\"Bits\"=hex:01,02,\\\r\n"
            "  03,04,\\\n"
            "  05\r\n"
            "\"Flags\"=DWORD:0000FFFF\r\n"
            "\"Broken\"=dword:xyz\r\n"
            "garbage line\r\n"
            "[HKEY_CLASSES_ROOT\\PROTOCOLS\\Name-Space Handler\\ftp]\r\n"
            "[HKEY_CLASSES_ROOT\\PROTOCOLS\\Name-Space Handler\\http\\Gone]\r\n"
            "[-HKEY_CLASSES_ROOT\\PROTOCOLS\\Name-Space Handler\\http\\Gone]\r\n");
  HKEY http = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CLASSES_ROOT, "protocols\\name-space handler\\HTTP", &http));
  EXPECT_EQ(Names{"Other"}, SubKeys(http));
  RegCloseKey(http);

  EXPECT_EQ((Names{"PROTOCOLS", ".zip"}), SubKeys(HKEY_CLASSES_ROOT));
  HKEY handlers = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CLASSES_ROOT, "PROTOCOLS\\Name-Space Handler", &handlers));
  EXPECT_EQ((Names{"http", "ftp"}), SubKeys(handlers));
  RegCloseKey(handlers);

  HKEY zip = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CLASSES_ROOT, ".ZIP", &zip));
  EXPECT_EQ((Names{"", "Content Type", "Bits", "Flags"}), ValueNames(zip));
  std::string text;
  EXPECT_TRUE(RegGetString(zip, "", &text));
  EXPECT_EQ("CompressedFolder", text);
  uint8_t bits[8];
  DWORD size = sizeof bits;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueEx(zip, "Bits", nullptr, bits, &size));
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 5}), std::vector<uint8_t>(bits, bits + size));
  DWORD flags = 0;
  EXPECT_TRUE(RegGetDword(zip, "Flags", &flags));
  EXPECT_EQ(0xffffu, flags);
  RegCloseKey(zip);

  HKEY elsewhere = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyEx(HKEY_CLASSES_ROOT, "Elsewhere", &elsewhere));
  EXPECT_EQ(nullptr, elsewhere);
}

TEST_F(RegistryTest, EnumerationKeepsCreationOrderAndListsDirectChildrenOnly) {
  HKEY key = Create(HKEY_CURRENT_USER, "E");
  for (const char* name : {"zeta", "Alpha", "mid"}) RegCloseKey(Create(key, name));
  RegCloseKey(Create(key, "Alpha\\Grandchild"));
  RegSetDword(key, "b", 1);
  RegSetDword(key, "a", 2);
  RegSetDword(key, "B", 3);
  EXPECT_EQ((Names{"zeta", "Alpha", "mid"}), SubKeys(key));
  EXPECT_EQ((Names{"b", "a"}), ValueNames(key));

  char name[4];
  DWORD size = sizeof name;
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyEx(key, 0, name, &size));
  size = sizeof name;
  EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyEx(key, 2, name, &size));
  EXPECT_EQ(3u, size);
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyEx(key, 3, name, &size));

  DWORD type = 0, data = 0, dataSize = 2;
  size = sizeof name;
  EXPECT_EQ(ERROR_MORE_DATA,
            RegEnumValue(key, 0, name, &size, &type, reinterpret_cast<uint8_t*>(&data), &dataSize));
  EXPECT_EQ(4u, dataSize);
  size = sizeof name;
  EXPECT_EQ(ERROR_SUCCESS, RegEnumValue(key, 0, name, &size, &type, reinterpret_cast<uint8_t*>(&data), &dataSize));
  EXPECT_EQ(REG_DWORD, type);
  EXPECT_EQ(3u, data);
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValue(key, 2, name, &size, nullptr, nullptr, nullptr));
  RegCloseKey(key);
}

TEST_F(RegistryTest, DeletesKeysWithTheirSubKeysAndHandlesOfDeletedKeysFail) {
  HKEY deep = Create(HKEY_CURRENT_USER, "D\\Victim\\Child\\Grandchild");
  RegSetDword(deep, "x", 1);
  RegCloseKey(Create(HKEY_CURRENT_USER, "D\\Sibling"));
  HKEY victim = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, "D\\Victim", &victim));

  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKey(HKEY_CURRENT_USER, "d\\VICTIM"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKey(HKEY_CURRENT_USER, "D\\Victim"));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKey(HKEY_CURRENT_USER, ""));

  DWORD size = 0;
  EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueEx(deep, "x", nullptr, nullptr, &size));
  EXPECT_EQ(ERROR_KEY_DELETED, RegSetDword(deep, "x", 2));
  HKEY recreated = nullptr;
  EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyEx(victim, "New", &recreated));
  EXPECT_EQ(ERROR_KEY_DELETED, RegDeleteValue(victim, "x"));
  RegCloseKey(deep);
  RegCloseKey(victim);

  HKEY d = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, "D", &d));
  EXPECT_EQ(Names{"Sibling"}, SubKeys(d));
  RegSetDword(d, "v", 1);
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValue(d, "V"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValue(d, "v"));
  RegCloseKey(d);
}

TEST_F(RegistryTest, AMissingFolderIsAnEmptyRegistryUntilTheFirstChange) {
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE", &key));
  EXPECT_EQ(Names{}, SubKeys(HKEY_LOCAL_MACHINE));
  EXPECT_FALSE(testenv::FileExists(m_folder));

  std::string nested = m_scratch.Path() + "/a/b/registry";
  setenv("KESTRION_REGISTRY", nested.c_str(), 1);
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "SOFTWARE"));
  EXPECT_TRUE(testenv::FileExists(nested + "/HKEY_LOCAL_MACHINE.reg"));
  EXPECT_FALSE(testenv::FileExists(nested + "/HKEY_CURRENT_USER.reg"));
}

TEST_F(RegistryTest, EveryCallSeesWhatIsStoredNow) {
  HKEY key = Create(HKEY_CURRENT_USER, "Live");
  RegSetString(key, "v", "old");
  WriteRoot("HKEY_CURRENT_USER", "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\LIVE]\n\"V\"=\"new\"\n");
  std::string text;
  EXPECT_TRUE(RegGetString(key, "v", &text));
  EXPECT_EQ("new", text);
  RegSetString(key, "w", "added");
  EXPECT_EQ("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\LIVE]\n\"V\"=\"new\"\n\"w\"=\"added\"\n\n",
            TextOf("HKEY_CURRENT_USER"));
  RegCloseKey(key);
}

TEST_F(RegistryTest, BadHandlesAndNamesAreRefused) {
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyEx(nullptr, "x", &key));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(nullptr));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CURRENT_USER));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyEx(HKEY_CURRENT_USER, "bad\nname", &key));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyEx(HKEY_CURRENT_USER, std::string(256, 'k'), &key));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetString(HKEY_CURRENT_USER, "bad\rname", "x"));
  EXPECT_FALSE(testenv::FileExists(FileOf("HKEY_CURRENT_USER")));
}

// Shapes of file that once cost the square of their size, or more stack
// than there is: each is read, changed, written back and deleted in time
// proportional to its size, and a key with no values of its own but with
// sub-keys takes no section.
TEST_F(RegistryTest, DeepAndWideFilesCostInProportionToTheirSize) {
  constexpr int kDeep = 175000, kWide = 100000;
  std::string deepPath = "k";
  for (int i = 1; i < kDeep; ++i) deepPath += "\\k";
  std::string values, removedValues, keys, removedKeys;
  for (int i = 0; i < kWide; ++i) {
    const std::string n = std::to_string(i);
    values += "\"v" + n + "\"=dword:00000001\n";
    removedValues += "\"V" + n + "\"=-\n";
    keys += "[HKEY_CURRENT_USER\\w\\k" + n + "]\n";
    removedKeys += "[-HKEY_CURRENT_USER\\W\\K" + n + "]\n";
  }
  const struct {
    const char* what;
    std::string body;
    std::string key;  // given one more value
    size_t values;    // the key's count after that
  } cases[] = {
      {"one key nested deep", "[HKEY_CURRENT_USER\\" + deepPath + "]\n", deepPath, 1},
      {"many values", "[HKEY_CURRENT_USER\\w]\n" + values, "w", kWide + 1},
      {"many values removed", "[HKEY_CURRENT_USER\\w]\n" + values + removedValues, "w", 1},
      {"many keys removed", keys + removedKeys, "w", 1},
  };
  for (const auto& c : cases) {
    const std::clock_t start = std::clock();
    const std::string text = "Windows Registry Editor Version 5.00\n\n" + c.body;
    WriteRoot("HKEY_CURRENT_USER", text);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, c.key, &key)) << c.what;
    EXPECT_EQ(ERROR_SUCCESS, RegSetDword(key, "added", 1)) << c.what;
    std::vector<RegValue> read;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValues(key, &read)) << c.what;
    EXPECT_EQ(c.values, read.size()) << c.what;
    EXPECT_LT(TextOf("HKEY_CURRENT_USER").size(), text.size() + 100) << c.what;
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKey(HKEY_CURRENT_USER, c.key.substr(0, 1))) << c.what;
    EXPECT_EQ(ERROR_KEY_DELETED, RegGetValues(key, &read)) << c.what;
    RegCloseKey(key);
    // Processor time: the disk's syncs are not the parse's cost.
    EXPECT_LT(std::clock() - start, 5 * CLOCKS_PER_SEC) << c.what;
  }
}

// Writes count distinct values into one key, each a separate locked change.
void WriteValues(const std::string& prefix, int count) {
  HKEY key = nullptr;
  if (RegCreateKeyEx(HKEY_CURRENT_USER, "Shared", &key) != ERROR_SUCCESS) return;
  for (int i = 0; i < count; ++i) RegSetDword(key, prefix + std::to_string(i), static_cast<DWORD>(i));
  RegCloseKey(key);
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothingAndReadersNeverSeeHalfAFile) {
  constexpr int kWrites = 200;
  std::vector<pid_t> children;
  for (const char* prefix : {"first", "second"}) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      WriteValues(prefix, kWrites);
      _exit(0);
    }
    children.push_back(pid);
  }
  std::thread inProcess(WriteValues, "thread", kWrites / 4);

  const std::string header = "Windows Registry Editor Version 5.00\n\n";
  size_t lastLines = 0;
  int running = static_cast<int>(children.size());
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (running > 0 && std::chrono::steady_clock::now() < deadline) {
    std::string text = TextOf("HKEY_CURRENT_USER");
    if (!text.empty()) {
      ASSERT_EQ(header, text.substr(0, header.size()));
      ASSERT_EQ("\n\n", text.substr(text.size() - 2));
      size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
      ASSERT_GE(lines, lastLines);
      lastLines = lines;
    }
    for (pid_t& pid : children) {
      int status = 0;
      if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) {
        EXPECT_EQ(0, status);
        pid = 0;
        --running;
      }
    }
  }
  inProcess.join();
  for (pid_t pid : children)
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  ASSERT_EQ(0, running) << "writers did not finish in time";

  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, "Shared", &key));
  Names names = ValueNames(key);
  EXPECT_EQ(static_cast<size_t>(2 * kWrites + kWrites / 4), names.size());
  for (const char* prefix : {"first", "second"}) {
    DWORD value = 0;
    EXPECT_TRUE(RegGetDword(key, std::string(prefix) + "199", &value));
    EXPECT_EQ(199u, value);
  }
  RegCloseKey(key);
}

}  // namespace

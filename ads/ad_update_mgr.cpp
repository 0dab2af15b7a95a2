#include "ads/ad_update_mgr.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "ads/ad_messages.h"
#include "ads/ad_text_files.h"
#include "app/app_messages.h"
#include "app/kestrion_app.h"
#include "app/unescape_url.h"
#include "engine/engine_messages.h"
#include "ftp/ftp_file_download_manager.h"
#include "http/http_file_download_manager.h"
#include "platform/base/failure.h"
#include "platform/files/file.h"
#include "platform/loop/event.h"
#include "platform/registry/registry.h"
#include "platform/ui/ui.h"
#include "ui/download_progress_dlg.h"

using namespace ad_messages;

namespace {

constexpr int64_t kLargeDownload = 250000;
constexpr char kADFilesKey[] = "ADFiles";
constexpr char kInstallConfig[] = "Install.CFG";
// Registry texts are read into buffers of this many bytes, NUL included.
constexpr DWORD kReadBufferSize = 399;
// How long End waits for the thread. Aborted downloads end in milliseconds;
// the bound only matters for a call that cannot be interrupted (a slow name
// lookup).
constexpr auto kEndWait = std::chrono::seconds(30);
constexpr auto kEndPoll = std::chrono::milliseconds(10);

// Closes the key it holds when it goes.
class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey() {
    if (m_key) RegCloseKey(m_key);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  HKEY* Out() { return &m_key; }
  HKEY Get() const { return m_key; }

 private:
  HKEY m_key = nullptr;
};

std::string TextOf(const uint8_t* data, DWORD size) {
  const uint8_t* end = std::find(data, data + size, 0);
  return std::string(data, end);
}

bool ReadText(HKEY key, const std::string& name, std::string* text) {
  uint8_t data[kReadBufferSize];
  DWORD size = sizeof data;
  DWORD type = REG_NONE;
  if (RegQueryValueEx(key, name, &type, data, &size) != ERROR_SUCCESS || type != REG_SZ) return false;
  *text = TextOf(data, size);
  return true;
}

// The stored text has every character code raised by 2.
std::string Unscramble(std::string text) {
  for (char& c : text) c = static_cast<char>(static_cast<unsigned char>(c) - 2);
  return text;
}

// An installer quotes a program path that holds a blank, for the command
// lines it is put in; the folder is the same.
std::string Unquote(const std::string& path) {
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') return path.substr(1, path.size() - 2);
  return path;
}

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

// The text after the last '/'; the whole text when there is none.
std::string LastPathPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A settings failure: shown, and the read ends.
bool Fail(const char* message) {
  AfxMessageBox(message, MB_OK);
  return false;
}

void RemoveQuietly(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

// One value of the ADFiles key: a banner's path and its link.
struct RegisteredFile {
  std::string path;
  std::string link;
};

// Every value in enumeration order, from one read of the registry. One whose
// name or data would not fit the read buffers is left out, and so left alone.
std::vector<RegisteredFile> ReadRegisteredFiles(HKEY files) {
  std::vector<RegValue> values;
  std::vector<RegisteredFile> registered;
  if (RegGetValues(files, &values) != ERROR_SUCCESS) return registered;
  for (const RegValue& value : values) {
    if (value.name.size() > kReadBufferSize || value.data.size() > kReadBufferSize) continue;
    registered.push_back({value.name, TextOf(value.data.data(), static_cast<DWORD>(value.data.size()))});
  }
  return registered;
}

// What an entry and a registered file match by: the file name (the text
// after the last '/' of the URL or the path) and the link, both exactly.
using MatchKey = std::pair<std::string, std::string>;

MatchKey KeyOf(const CADFileEntry& entry) { return {entry.FileName(), entry.m_strLink}; }
MatchKey KeyOf(const RegisteredFile& file) { return {LastPathPart(file.path), file.link}; }

template <typename Items>
std::set<MatchKey> KeysOf(const Items& items) {
  std::set<MatchKey> keys;
  for (const auto& item : items) keys.insert(KeyOf(item));
  return keys;
}

}  // namespace

CADUpdateMgr::CADUpdateMgr() { m_bAutoDelete = false; }

CADUpdateMgr::~CADUpdateMgr() { End(); }

void CADUpdateMgr::StartIfLarge(int64_t fileSize) {
  if (fileSize <= kLargeDownload) return;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_bStarted || m_bEnding) return;
    m_bStarted = true;
    if (CreateThread()) return;
  }
  AfxMessageBox(kThreadNotCreated, MB_OK);
}

void CADUpdateMgr::End() {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_bEnding = true;
    if (m_managerThread != 0) ::PostThreadMessage(m_managerThread, WM_QUIT);
    if (!m_bStarted) return;
  }
  // Ends the idle loop, or a message box the thread is showing.
  PostThreadMessage(WM_QUIT);
  WaitForThreadEnd();
}

// The object is not the thread's to delete, so it may go once the thread
// takes no more posts (that is the last thing the thread does with it).
void CADUpdateMgr::WaitForThreadEnd() const {
  const auto deadline = std::chrono::steady_clock::now() + kEndWait;
  while (::PostThreadMessage(m_nThreadID, WM_NULL) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(kEndPoll);
}

void CADUpdateMgr::SetManagerThread(ThreadId thread) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_managerThread = thread;
  if (m_bEnding) ::PostThreadMessage(thread, WM_QUIT);
}

void CADUpdateMgr::SetDownloadSucceeded() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_bDownloadSucceeded = true;
}

bool CADUpdateMgr::InitInstance() {
  if (!ReadSettings()) return false;
  RunUpdate();
  return true;
}

bool CADUpdateMgr::ReadSettings() {
  ScopedKey key;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kProgramKey, key.Out()) != ERROR_SUCCESS) return Fail(kMainKeyNotOpened);
  std::string exeLocation;
  if (!ReadText(key.Get(), "EXELOCATION", &exeLocation)) return Fail(kExeLocationNotRead);
  if (exeLocation.empty()) return Fail(kExeLocationEmpty);
  exeLocation = Unquote(exeLocation);
  const size_t slash = exeLocation.rfind('/');
  if (slash == std::string::npos) return Fail(kExeLocationInvalid);
  m_strProgramDir = exeLocation.substr(0, slash + 1);
  m_strADFilesDir = m_strProgramDir + kADFilesKey;

  DWORD firstRun = 1;
  RegGetDword(key.Get(), "FT", &firstRun);
  if (firstRun != 0) ApplyInstallConfig();

  std::string adSite;
  if (!ReadText(key.Get(), "AdSite", &adSite)) return Fail(kAdSiteNotRead);
  if (adSite.empty()) return Fail(kAdSiteEmpty);
  m_strAdSite = Unscramble(adSite);

  DWORD lastUpdateTime = 0;
  if (!RegGetDword(key.Get(), "LastUpdateTime", &lastUpdateTime)) return Fail(kLastUpdateTimeNotRead);
  return true;
}

bool CADUpdateMgr::ApplyInstallConfig() {
  std::ifstream config(m_strProgramDir + kInstallConfig);
  if (!config) return Fail(kMissingInstallConfig);
  const std::string scrambledSite = ReadInstallConfig(config);
  ScopedKey key;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kProgramKey, key.Out()) != ERROR_SUCCESS) return Fail(kMainKeyNotOpened);
  RegSetString(key.Get(), "AdSite", scrambledSite);
  RegSetDword(key.Get(), "FT", 0);
  return true;
}

void CADUpdateMgr::RunUpdate() {
  FetchList();
  NotifyProgressWindow();
}

// The list's temp file goes whatever becomes of the list, and a list that
// did not arrive whole is not used: it would delete the banners it misses.
void CADUpdateMgr::FetchList() {
  if (m_strAdSite.empty()) return;
  // Beside the ADFiles folder: the program's own folder, whatever folder
  // the program was started in.
  const std::string listFile = GetTempFileName(m_strProgramDir, "FFF");
  if (listFile.empty()) return;
  bool completed = false;
  try {
    completed = DownloadFile(m_strAdSite, listFile);
  } catch (const Failure&) {
  }
  const bool parsed = completed && ParseList(listFile);
  RemoveQuietly(listFile);
  if (parsed) SyncFiles();
}

bool CADUpdateMgr::DownloadFile(const std::string& url, const std::string& localPath) {
  Event done(true, false);
  const size_t colon = url.find(':');
  if (colon == std::string::npos) throw Failure(app_messages::kNoScheme);
  const std::string scheme = UpperCase(url.substr(0, colon));
  std::unique_ptr<CFileDownloadManager> manager;
  if (scheme == "FTP") {
    manager = std::make_unique<CFTPFileDownloadManager>();
  } else if (scheme == "HTTP") {
    manager = std::make_unique<CHTTPFileDownloadManager>();
  } else {
    throw Failure(app_messages::kUnsupportedScheme);
  }
  manager->m_strURL = UnescapeURL(url);
  manager->ParseURL();
  // The path is the program's own, not a URL's: it is used as it stands.
  manager->m_strDestination = localPath;
  manager->m_bBackground = true;
  manager->m_pUpdater = this;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_bEnding) return false;
    m_bDownloadSucceeded = false;
  }
  if (!manager->StartDownload(&done)) return false;
  // From here on the manager deletes itself when its thread ends.
  manager.release();
  done.Wait(INFINITE);
  std::lock_guard<std::mutex> lock(m_lock);
  m_managerThread = 0;
  return m_bDownloadSucceeded;
}

bool CADUpdateMgr::ParseList(const std::string& path) {
  std::ifstream list(path);
  return list && ReadAdList(list, &m_entries);
}

// Works from a snapshot of the registered files taken before any download,
// so a file whose link changed is fetched and registered anew by the first
// pass and then, as its old value matches nothing, deleted by the second;
// the next update brings it back.
void CADUpdateMgr::SyncFiles() {
  ScopedKey main;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kProgramKey, main.Out()) != ERROR_SUCCESS) {
    AfxMessageBox(kMainKeyNotOpened, MB_OK);
    return;
  }
  ScopedKey files;
  if (RegOpenKeyEx(main.Get(), kADFilesKey, files.Out()) != ERROR_SUCCESS) {
    AfxMessageBox(kADFilesKeyNotOpened, MB_OK);
    return;
  }
  const std::vector<RegisteredFile> registered = ReadRegisteredFiles(files.Get());
  const std::set<MatchKey> registeredKeys = KeysOf(registered);
  const std::set<MatchKey> listedKeys = KeysOf(m_entries);
  for (const CADFileEntry& entry : m_entries) {
    if (registeredKeys.count(KeyOf(entry)) || !CADFileEntry::IsPlainFileName(entry.FileName())) continue;
    const std::string path = m_strADFilesDir + "/" + entry.FileName();
    if (FetchAdFile(entry.m_strURL, path)) RegisterFile(path, entry.m_strLink);
  }
  for (const RegisteredFile& file : registered) {
    if (listedKeys.count(KeyOf(file))) continue;
    if (IsInADFilesDir(file.path)) RemoveQuietly(file.path);
    RegDeleteValue(files.Get(), file.path);
  }
}

// Fetched under a temp name beside its place: a download that fails leaves
// nothing behind and spoils no file that is already there.
bool CADUpdateMgr::FetchAdFile(const std::string& url, const std::string& path) {
  const std::string fetched = GetTempFileName(m_strADFilesDir, "FFF");
  if (fetched.empty()) return false;
  bool completed = false;
  try {
    completed = DownloadFile(url, fetched);
  } catch (const Failure&) {
  }
  std::error_code error;
  if (completed && std::filesystem::file_size(fetched, error) > 0 && !error) {
    std::filesystem::rename(fetched, path, error);
    if (!error) return true;
  }
  RemoveQuietly(fetched);
  return false;
}

bool CADUpdateMgr::IsInADFilesDir(const std::string& path) const {
  const std::string folder = m_strADFilesDir + "/";
  return path.compare(0, folder.size(), folder) == 0 && CADFileEntry::IsPlainFileName(path.substr(folder.size()));
}

void CADUpdateMgr::RegisterFile(const std::string& path, const std::string& link) {
  ScopedKey files;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, std::string(kProgramKey) + "\\" + kADFilesKey, files.Out()) != ERROR_SUCCESS) {
    AfxMessageBox(kMainKeyNotOpened, MB_OK);
    return;
  }
  RegSetString(files.Get(), path, link);
}

// The window belongs to the user's manager thread, so the message goes to
// that thread, which checks that its window still exists; a thread that has
// ended takes no posts.
void CADUpdateMgr::NotifyProgressWindow() {
  if (TheApp().m_pManager == nullptr) return;
  ::PostThreadMessage(TheApp().ManagerThread(), WM_ADLIST_CHANGED, 0, 0);
}

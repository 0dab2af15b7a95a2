#pragma once

#include <cstdint>
#include <list>
#include <mutex>
#include <string>

#include "ads/ad_file_entry.h"
#include "platform/loop/worker_thread.h"

// Keeps the banner pictures in the ADFiles folder beside the program current.
// Started once per process by a large user download, its thread reads the
// settings, fetches the advertisement list, downloads the files that are new
// or changed (one background download at a time), deletes those no longer
// listed, records the set under the registry's ADFiles key, tells the user's
// progress window to reload it, and then idles until End.
//
// Threads: StartIfLarge runs on the user's manager thread, End on the main
// thread, SetManagerThread and SetDownloadSucceeded on the thread of a
// background download this updater started; the rest on the updater's own
// thread. Lifetime: held by value in the application; its thread never
// deletes it, and End (also run by the destructor) waits for that thread.
class CADUpdateMgr : public WorkerThread {
 public:
  CADUpdateMgr();
  ~CADUpdateMgr() override;

  // Starts the update when the size is above 250000 bytes, at most once.
  void StartIfLarge(int64_t fileSize);
  // The program is ending: the file download under way is aborted (it removes
  // its own temp files), no other one starts, and the thread is waited for.
  void End();

  // Called by a background download of this updater: its thread, so that End
  // can stop it, and its success.
  void SetManagerThread(ThreadId thread);
  void SetDownloadSucceeded();

  bool InitInstance() override;

  bool ReadSettings();
  bool ApplyInstallConfig();
  void RunUpdate();
  void FetchList();
  // Returns once the download has ended: true when it completed. Throws
  // Failure for a URL without a scheme or with one other than http and ftp.
  bool DownloadFile(const std::string& url, const std::string& localPath);
  bool ParseList(const std::string& path);
  void SyncFiles();
  void RegisterFile(const std::string& path, const std::string& link);
  void NotifyProgressWindow();

  // The entries of the last list parsed, its last line first.
  std::list<CADFileEntry> m_entries;
  std::string m_strAdSite;      // unscrambled
  std::string m_strADFilesDir;  // no trailing '/'
  std::string m_strProgramDir;  // ends in '/'

 private:
  bool IsInADFilesDir(const std::string& path) const;
  // True when the file arrived whole and not empty and is now at the path.
  bool FetchAdFile(const std::string& url, const std::string& path);
  void WaitForThreadEnd() const;

  std::mutex m_lock;  // guards the four fields below
  bool m_bStarted = false;
  bool m_bEnding = false;
  ThreadId m_managerThread = 0;  // the background download under way
  bool m_bDownloadSucceeded = false;
};

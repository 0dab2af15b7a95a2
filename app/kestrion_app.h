#pragma once

#include <atomic>
#include <string>

#include "ads/ad_update_mgr.h"
#include "platform/loop/thread_message.h"

class CFileDownloadManager;
class Event;

// The application: start-up, the command line, the choice of manager by
// scheme, the registration commands. One instance, TheApp().
class CKestrionApp {
 public:
  CKestrionApp();
  ~CKestrionApp();

  // The whole life of the program; returns the process exit status (see
  // kExit* below).
  int Run(const std::string& parameterText);

  // Throws Failure. Fills m_strParam1 and m_strParam2.
  bool SplitCommandLine(const std::string& text);
  // False for a word that is not a command (after saying so).
  bool RunCommand(const std::string& command);
  // Creates and starts the manager for the URL's scheme (main thread, or a
  // manager thread that follows a redirect). Throws Failure.
  bool StartFromURL(std::string url, std::string destination);

  // A user's download ended in success.
  void SetDownloadSucceeded() { m_bSucceeded = true; }
  // The user cancelled the download in its window (Cancel, Escape, the
  // close box).
  void SetDownloadCancelled() { m_bCancelled = true; }
  // The download ended unfinished with what it fetched kept for the next
  // run: the console says that running the command again goes on with it.
  void SetDownloadKept() { m_bKept = true; }
  // The program is being ended by SIGTERM or SIGHUP (not by the user's
  // Ctrl-C or Cancel): the download keeps what it fetched. Any thread.
  bool KeepsDownloadOnEnd() const;
  // The thread of the user's current download, told by that thread itself
  // when it starts (so a redirect's manager supersedes the old one). Posts
  // WM_QUIT at once when Cancel came before.
  void SetManagerThread(ThreadId thread);
  ThreadId ManagerThread() const { return m_managerThread; }

  CADUpdateMgr m_adUpdater;
  std::atomic<CFileDownloadManager*> m_pManager{nullptr};
  std::string m_strParam1;
  std::string m_strParam2;
  Event* m_hDoneEvent = nullptr;
  // Redirects followed in a row by this download; a manager that follows one
  // more than the limit aborts instead.
  std::atomic<int> m_nRedirectCount{0};

 private:
  // SIGINT, SIGTERM, SIGHUP: the download ends as by its Cancel, in order;
  // whatever keeps it from ending within a few seconds, or a second signal,
  // ends the program at once, its pieces removed. Without a download the
  // program ends at once. On the signal listener's thread.
  void OnInterrupt(int signal);
  void PostQuitToManager();
  // Removes the download's pieces and ends the process, from any thread.
  [[noreturn]] void EndNow();
  int DownloadExitStatus() const;

  std::atomic<bool> m_bSucceeded{false};
  std::atomic<bool> m_bCancelled{false};
  std::atomic<bool> m_bKept{false};
  std::atomic<bool> m_bDownloadStarted{false};
  std::atomic<int> m_nInterrupt{0};  // the signal that asked the program to end
  std::atomic<ThreadId> m_managerThread{0};
};

// Exit statuses of the program.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitRefused = 2;     // the command line or the URL
inline constexpr int kExitCancelled = 130;  // as a shell reports Ctrl-C
// A signal that ends the program: this plus its number.
inline constexpr int kExitBySignal = 128;

CKestrionApp& TheApp();


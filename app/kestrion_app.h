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

  // The whole life of the program; returns the process exit status.
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
  // The Cancel of the console and script UIs (SIGINT, SIGTERM).
  void PostQuitToManager();
  std::atomic<bool> m_bSucceeded{false};
  std::atomic<ThreadId> m_managerThread{0};
  std::atomic<bool> m_bCancelled{false};
};

CKestrionApp& TheApp();


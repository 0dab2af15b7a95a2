#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/loop/thread_message.h"
#include "platform/ui/dialog.h"
#include "ui/ani_gif.h"
#include "ui/collapsible_dialog.h"
#include "ui/link_label.h"

class CFileDownloadManager;

// Tells the window to reload its banner list (posted by the banner updater
// to the window's thread). Carries nothing.
constexpr unsigned WM_ADLIST_CHANGED = WM_USER + 10;

// The "File Download" window of one download: what is saved and where, the
// progress bar, time left, rate, a rotating banner, three links, and behind
// "Details >>" (when the registry allows it) the bytes of each connection.
// Cancel ends the download. Owned by its manager and used on the manager's
// thread only; the manager hands it the messages posted to that thread.
class CDownloadProgressDlg : public CCollapsibleDialog {
 public:
  explicit CDownloadProgressDlg(CFileDownloadManager* manager);
  ~CDownloadProgressDlg() override;

  // Before Create. Progress may be shown before Create too; it is drawn
  // once the window exists.
  void SetURL(const std::string& url);
  void SetFileName(const std::string& name);
  void SetServer(const std::string& server);
  void SetDestFolder(const std::string& folder);

  void ShowWindow() { CDialog::ShowWindow(true); }
  void ShowProgress(float rate, int64_t received, int64_t secondsLeft, int percent);
  void SetConnectionBytes(int connection, int64_t bytes);

  static std::string FormatSize(int64_t bytes);
  static std::string FormatTimeLeft(int64_t secondsLeft);
  // Banner links come from the network: only web and mail addresses are
  // opened.
  static bool IsOpenableBannerLink(const std::string& url);

  int AdIndex() const { return m_nAdIndex; }
  bool DetailsAllowed() const { return m_bDetailsAllowed; }

 protected:
  bool OnInitDialog() override;
  void DoDataExchange() override;
  void OnCancel() override;
  void OnTimer(int id) override;
  void OnControlEvent(int id, int eventId) override;
  bool OnUserMessage(const ThreadMessage& message) override;
  void Summarize(WindowState& state) const override;

 private:
  void LoadAdList();
  void ShowNextAd();
  void OnBannerClick();
  ThreadId ManagerThread() const;

  CFileDownloadManager* m_pManager;
  // The controls the window sets up itself; progress goes to its items by id,
  // as it may come before the window is created.
  CAnimateCtrl m_animate;
  CWnd m_version;
  CLinkLabel m_linkSite, m_linkUpdates, m_linkFeedback;
  CWnd m_saving, m_destFolder;
  CAniGIF m_banner;
  int m_nAdIndex = -1;
  std::vector<std::string> m_adFiles, m_adLinks;
  std::string m_strAdLink;
  bool m_bDetailsAllowed = false;
  std::string m_strFileName, m_strServer, m_strDestFolder, m_strURL;
};

#pragma once

// Stands in for the platform's message boxes, file dialogs and windows. The
// backend is chosen by KESTRION_UI ("console", "script"; "qt" when built
// with it) on first use; console is the default. Any thread may ask; a
// question blocks only the asking thread, whose loop keeps pumping.

#include <functional>
#include <memory>
#include <optional>
#include <string>

constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_YESNO = 0x04;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;

// Posted to a thread that waits for an answer given on another thread, to
// wake its loop. Carries nothing; message handlers ignore it.
constexpr unsigned WM_UI_ANSWERED = 0x8000 + 0x0A5;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
// The "Regular Download" button of the download choice dialog.
constexpr int IDREGULARDOWNLOAD = 204;

// Shows a message box and returns the button pressed. Modal for the calling
// thread only: while the answer is awaited, that thread's loop keeps pumping.
int AfxMessageBox(const std::string& text, unsigned type = MB_OK);

// A save-file dialog (overwrite prompt on, no filter). Empty when cancelled.
std::optional<std::string> PromptSaveFile(const std::string& initialPath);

void MessageBeep();

// The "File Download" choice offered before a browser's download is taken
// over; `text` names the file and its host. Returns the button that ended
// it: IDOK (save), IDCANCEL (Cancel or Esc) or IDREGULARDOWNLOAD. Modal for
// the calling thread only, like AfxMessageBox.
int ShowDownloadChoice(const std::string& text);

// What a progress window shows, as one whole state.
struct ProgressWindowState {
  std::string title;
  std::string url;         // tooltip of the file text
  std::string saving;      // "NAME from SERVER"
  std::string timeLeft;
  std::string destFolder;
  std::string rate;
  int progress = 0;        // 0..100
  std::string connections[10];
  bool visible = false;
};

// A progress window of the chosen backend. Owned by the thread that created
// it and called from that thread only.
class IProgressView {
 public:
  virtual ~IProgressView() = default;
  // The whole state as it is now; a backend may draw only some of the states
  // it is given, but always the last one before Close.
  virtual void Update(const ProgressWindowState& state) = 0;
  virtual void Close() = 0;
};

// The backend behind the calls above. A question's answer may come on any
// thread; AfxMessageBox and PromptSaveFile wait for it while pumping.
class UIBackend {
 public:
  virtual ~UIBackend() = default;
  virtual void AskMessage(const std::string& text, unsigned type, std::function<void(int)> answered) = 0;
  virtual void AskSaveFile(const std::string& initialPath,
                           std::function<void(std::optional<std::string>)> answered) = 0;
  // A backend that cannot show the choice cancels the offer.
  virtual void AskDownloadChoice(const std::string&, std::function<void(int)> answered) { answered(IDCANCEL); }
  // onCancel is the window's Cancel button (for console and script: SIGINT).
  virtual std::unique_ptr<IProgressView> CreateProgressView(std::function<void()> onCancel) = 0;
  virtual void Beep() {}
};

UIBackend& CurrentUIBackend();
// Replaces the backend (tests); returns the previous one. A null backend
// makes the next use choose again from KESTRION_UI. Views already created
// stay valid.
std::unique_ptr<UIBackend> SetUIBackend(std::unique_ptr<UIBackend> backend);

#pragma once

// Stands in for the platform's message boxes, file dialogs and windows. The
// backend is chosen on first use: KESTRION_UI names it ("console", "script",
// "qt"); without it, qt when the program was built with it and a display is
// set (DISPLAY or WAYLAND_DISPLAY), else console. Any thread may ask; a
// question blocks only the asking thread, whose loop keeps pumping.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/dialog_template.h"
#include "platform/ui/window_state.h"

class Event;

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

// The backend behind the calls above. A question's answer may come on any
// thread; AfxMessageBox and PromptSaveFile wait for it while pumping. Every
// member is defined here, in the header: the qt plug-in implements this
// interface without linking the program's libraries.
class UIBackend {
 public:
  virtual ~UIBackend() = default;
  virtual void AskMessage(const std::string& text, unsigned type, std::function<void(int)> answered) = 0;
  virtual void AskSaveFile(const std::string& initialPath,
                           std::function<void(std::optional<std::string>)> answered) = 0;
  // False when no question can reach a person, so that each would be
  // answered as nobody consented. Any thread.
  virtual bool CanAsk() const { return true; }
  // A backend that cannot show the choice cancels the offer.
  virtual void AskDownloadChoice(const std::string&, std::function<void(int)> answered) { answered(IDCANCEL); }
  // The asking thread gave up waiting (it was told to quit): questions it
  // asked and that are still open are taken away unanswered. That thread.
  virtual void WithdrawQuestions() {}
  // A window, not yet visible; onInput gets what a person does to it.
  virtual std::unique_ptr<IWindowView> CreateWindowView(ViewInputHandler onInput) = 0;
  virtual void Beep() {}
  // The program ends: what the backend shows in place stays as it stands
  // (the console's live line is ended). Any thread; never waits for a
  // thread that is inside the backend.
  virtual void End() {}

  // The size of one line of text in the dialog font. Any thread. Without a
  // font of its own a backend counts each character as the average one.
  virtual UISize TextExtent(const std::string& text) {
    int characters = 0;
    for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
    return {characters * kDialogBaseUnitX, kDialogBaseUnitY};
  }
  // The colour of selected text and hovered links. Any thread.
  virtual COLORREF HighlightColor() { return RGB(0, 120, 215); }

  // A backend whose windows live on the main thread runs their loop there:
  // RunMainLoop runs it until QuitMainLoop, which any thread may call, even
  // before the loop runs.
  virtual bool HasMainLoop() const { return false; }
  virtual void RunMainLoop() {}
  virtual void QuitMainLoop() {}
};

UIBackend& CurrentUIBackend();
// Waits until the event is set. Under a backend with a main loop (qt) the
// calling thread, the main one, runs that loop meanwhile.
void WaitShowingWindows(Event& done);
// The program is about to end: tells the backend in use, if one was chosen
// (UIBackend::End). Any thread.
void EndUI();
// Replaces the backend (tests); returns the previous one. A null backend
// makes the next use choose again from KESTRION_UI. Views already created
// stay valid.
std::unique_ptr<UIBackend> SetUIBackend(std::unique_ptr<UIBackend> backend);

#pragma once

// Stands in for the framework's dialog and control classes. A dialog is
// built from its template into one WindowState, which the backend's view
// draws; what a person does comes back as messages posted to the dialog's
// thread, which hands them to OnMessage. A dialog and its controls are used
// on that thread only.

#include <map>
#include <memory>
#include <string>

#include "platform/loop/thread_message.h"
#include "platform/loop/timer.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/ui.h"
#include "platform/ui/window_state.h"

constexpr unsigned WM_COMMAND = 0x0111;
// wParam: the control; lParam: the point in its client pixels (x low, y high).
constexpr unsigned WM_MOUSEMOVE = 0x0200;
// A control raised an event. wParam: the control; lParam: the event's dispatch id.
constexpr unsigned WM_CONTROLEVENT = 0x8000 + 0x0A6;

constexpr uintptr_t MAKEWPARAM(int low, int high) {
  return (static_cast<uintptr_t>(low) & 0xFFFF) | ((static_cast<uintptr_t>(high) & 0xFFFF) << 16);
}
constexpr int LOWORD(uintptr_t value) { return static_cast<int>(value & 0xFFFF); }
constexpr int HIWORD(uintptr_t value) { return static_cast<int>((value >> 16) & 0xFFFF); }

class CDialog;

// A control of a dialog, bound to its item by id (the framework's
// DDX_Control). Its accessors read and change the dialog's state.
class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  bool IsBound() const { return m_pParent != nullptr; }
  CDialog* GetParent() const { return m_pParent; }
  int GetDlgCtrlID() const { return m_nID; }

  std::string GetWindowText() const { return Item().text; }
  void SetWindowText(const std::string& text) { Item().text = text; }
  unsigned GetStyle() const { return Item().style; }
  void ModifyStyle(unsigned remove, unsigned add) { Item().style = (Item().style & ~remove) | add; }
  // In the parent's client pixels.
  UIRect GetWindowRect() const { return Item().rect; }
  UIRect GetClientRect() const { return {0, 0, Item().rect.Width(), Item().rect.Height()}; }
  void MoveWindow(const UIRect& rect) { Item().rect = rect; }
  void ShowWindow(bool show) { Item().visible = show; }
  void EnableWindow(bool enable) { Item().enabled = enable; }
  void SetToolTip(const std::string& text) { Item().tooltip = text; }

  DialogControl& Item();
  const DialogControl& Item() const;

 protected:
  // Runs once the control is bound.
  virtual void PreSubclassWindow() {}
  // The parent reflects the control's own notifications to it first; true
  // when the control handled them.
  virtual bool OnReflectedCommand(int /*code*/) { return false; }
  virtual void OnMouseMove(UIPoint /*point*/) {}

 private:
  friend class CDialog;
  CDialog* m_pParent = nullptr;
  int m_nID = 0;
};

class CAnimateCtrl : public CWnd {
 public:
  // Opens one of the program's animations; an auto-play control starts it.
  bool Open(int resource);
};

class CDialog {
 public:
  // The controls exist from here on; the window from Create.
  explicit CDialog(const DialogTemplate& dialogTemplate);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Creates the window, not yet visible, owned by the calling thread from now
  // on: the controls, the backend's view, then OnInitDialog. False when the
  // backend made no view.
  bool Create();
  bool IsWindowCreated() const { return m_view != nullptr; }
  // Cancel (its button, Escape, the close box) has ended the window.
  bool WasCancelled() const { return m_state.cancelled; }
  void ShowWindow(bool show);
  void DestroyWindow();

  // A message posted to the window's thread. True when it was the window's.
  bool OnMessage(const ThreadMessage& message);

  const WindowState& State();
  DialogControl* GetDlgItem(int id);
  void SetDlgItemText(int id, const std::string& text) { GetDlgItem(id)->text = text; }
  std::string GetWindowText() const { return m_state.title; }
  void SetWindowText(const std::string& title) { m_state.title = title; }
  UISize GetWindowSize() const { return m_state.size; }
  void SetWindowSize(UISize size) { m_state.size = size; }
  // The last link opened from this window, for a backend that shows it.
  void NoteLinkOpened(const std::string& url) { m_state.openedLink = url; }

  // Timers on the window's thread: OnTimer(id) every interval until killed.
  void SetTimer(int id, int milliseconds);
  void KillTimer(int id);
  bool HasTimer(int id) const;

 protected:
  // The framework's part binds the controls (DoDataExchange).
  virtual bool OnInitDialog();
  virtual void DoDataExchange() {}
  void DDX_Control(int id, CWnd& control);
  // True when handled. The base handles IDCANCEL.
  virtual bool OnCommand(int id, int code);
  // Takes the window off the screen.
  virtual void OnCancel();
  virtual void OnControlEvent(int /*id*/, int /*eventId*/) {}
  virtual void OnTimer(int /*id*/) {}
  // Messages of the dialog's own; true when handled.
  virtual bool OnUserMessage(const ThreadMessage&) { return false; }
  // Fills the state's named texts from the controls, before each publish.
  virtual void Summarize(WindowState&) const {}

  // Hands the state to the view when it changed. Every entry point ends so.
  void Publish();

  WindowState m_state;

 private:
  // Runs on whichever thread the view reports from.
  static void PostInput(ThreadId thread, const ViewInput& input);
  void DispatchCommand(int id, int code);
  CWnd* BoundControl(int id);

  std::unique_ptr<IWindowView> m_view;
  WindowState m_published;
  std::map<int, CWnd*> m_bound;
  std::map<int, std::unique_ptr<Timer>> m_timers;
};

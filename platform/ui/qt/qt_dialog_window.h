#pragma once

#include <QDialog>
#include <vector>

#include "platform/ui/window_state.h"

// A dialog drawn from a WindowState: one widget per control at its pixel
// rectangle, in the dialog font, the client area sized as the state says.
// Clicks, link mouse moves and banner clicks go to the input handler; the
// close box and Escape are the Cancel button (IDCANCEL), and the window
// stays until its owner hides or deletes it. Main thread only.
class QtDialogWindow : public QDialog {
 public:
  QtDialogWindow(const WindowState& state, ViewInputHandler onInput, Qt::WindowFlags flags);

  // Draws the state: only what changed since the last one.
  void Apply(const WindowState& state);
  int StatesApplied() const { return m_statesApplied; }
  // The widget of a control, or null.
  QWidget* Control(int id) const;

  // The font of every dialog (see dialog_template.h).
  static QFont DialogFont();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  QWidget* MakeControl(const DialogControl& control);
  void ApplyControl(QWidget* widget, const DialogControl& control);
  void Resize(UISize size);
  void ReportCancel();

  ViewInputHandler m_onInput;
  std::vector<QWidget*> m_widgets;  // in the order of the state's controls
  WindowState m_drawn;
  int m_statesApplied = 0;
};

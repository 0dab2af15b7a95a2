#include "platform/ui/qt/qt_download_choice.h"

#include <memory>

#include "platform/ui/dialog_template.h"
#include "platform/ui/qt/qt_dialog_window.h"
#include "platform/ui/qt/qt_pictures.h"
#include "platform/ui/ui.h"

namespace {

constexpr int kRunRadio = 201;
constexpr int kSaveRadio = 202;
constexpr int kFileText = 203;

DialogTemplate ChoiceTemplate(const std::string& text) {
  using K = ControlKind;
  return {"File Download", 272, 180, {
      {IDOK, K::kButton, "OK", 153, 160, 50, 14, BS_DEFPUSHBUTTON},
      {IDCANCEL, K::kButton, "Cancel", 215, 160, 50, 14},
      {-1, K::kStatic, "You have chosen to download a file from this location.", 96, 11, 159, 8},
      {-1, K::kStatic, "What would you like to do with this file ?", 96, 78, 116, 8},
      {kRunRadio, K::kRadioButton, "Run this program from its current location", 96, 95, 175, 10, kDisabled},
      {kSaveRadio, K::kRadioButton, "Save this program to disk", 96, 107, 175, 10},
      {-1, K::kGroupBox, "", 7, 149, 258, 5},
      {kFileText, K::kStatic, text, 96, 34, 175, 8},
      {-1, K::kPicture, "", 10, 4, 82, 143, SS_SUNKEN, qt_pictures::kChoicePicture},
      {IDREGULARDOWNLOAD, K::kButton, "Regular Download", 7, 160, 72, 14},
  }};
}

}  // namespace

QDialog* MakeDownloadChoice(const std::string& text) {
  WindowState state = WindowFromTemplate(ChoiceTemplate(text));
  for (DialogControl& control : state.controls)
    if (control.id == kSaveRadio) control.checked = true;
  // The buttons end the dialog; the radio buttons only choose.
  auto window = std::make_shared<QtDialogWindow*>(nullptr);
  auto pressed = [window](const ViewInput& input) {
    if (input.kind != ViewInput::kCommand || !*window) return;
    if (input.id == IDOK || input.id == IDCANCEL || input.id == IDREGULARDOWNLOAD) (*window)->done(input.id);
  };
  constexpr Qt::WindowFlags kFrame = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  *window = new QtDialogWindow(state, pressed, kFrame);
  return *window;
}

int DownloadChoiceAnswer(int result) {
  return result == IDOK || result == IDREGULARDOWNLOAD ? result : IDCANCEL;
}

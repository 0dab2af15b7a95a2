#include "ui/progress_dlg_resources.h"

#include <string>

#include "platform/ui/ui.h"
#include "ui/progress_texts.h"

namespace progress_dlg {

namespace {

constexpr int kGridLeft = 15;
constexpr int kGridStep = 25;
constexpr int kGridHeaderY = 172;
constexpr int kGridBytesY = 188;
constexpr int kGridExtraY = 203;

// Ten columns below the marker: the headers "-1-" to "-10-" and two rows
// of ".", the first showing the bytes of connections 1 to 10.
void AddConnectionGrid(DialogTemplate& dialog) {
  using K = ControlKind;
  for (int n = 1; n <= 10; ++n) {
    const int x = kGridLeft + kGridStep * (n - 1);
    dialog.controls.push_back({-1, K::kStatic, "-" + std::to_string(n) + "-", x, kGridHeaderY, n < 10 ? 9 : 12, 8});
    dialog.controls.push_back({IDC_CONN_BYTES_FIRST + n - 1, K::kStatic, ".", x, kGridBytesY, 23, 8});
    dialog.controls.push_back({IDC_CONN_EXTRA_FIRST + n - 1, K::kStatic, ".", x, kGridExtraY, 23, 8});
  }
}

}  // namespace

DialogTemplate Template() {
  using K = ControlKind;
  DialogTemplate dialog{progress_texts::kTitle, 325, 225, {
      {IDCANCEL, K::kButton, "Cancel", 269, 99, 50, 14},
      {IDC_DETAILS, K::kButton, progress_texts::kDetailsCollapsed, 214, 99, 48, 14, kHidden | kDisabled},
      {IDC_LINK_FEEDBACK, K::kStatic, "Feedback", 283, 1, 33, 8},
      {IDC_LINK_UPDATES, K::kStatic, "Program updates", 211, 1, 55, 8},
      {IDC_LINK_SITE, K::kStatic, progress_texts::kHomePageText, 0, 157, 325, 8, SS_CENTER},
      {-1, K::kStatic, "Saving:", 7, 52, 24, 8},
      {IDC_SAVING, K::kStatic, "Static", 7, 63, 166, 8},
      {-1, K::kStatic, "Estimated time left:", 7, 87, 63, 8},
      {-1, K::kStatic, "Download to:", 7, 97, 63, 8},
      {-1, K::kStatic, "Transfer rate:", 7, 107, 63, 8},
      {IDC_TIME_LEFT, K::kStatic, "", 74, 87, 192, 8, SS_LEFTNOWORDWRAP},
      {IDC_DEST_FOLDER, K::kStatic, "", 74, 97, 132, 8},
      {IDC_RATE, K::kStatic, "", 74, 107, 67, 8},
      {IDC_PROGRESS, K::kProgress, "Progress1", 7, 74, 311, 11},
      {IDC_MARKER, K::kStatic, "", 0, 0, 325, 167, SS_BLACKFRAME},
      {IDC_BUTTON1, K::kButton, "Button1", 262, 20, 50, 14, kHidden | kDisabled},
      {IDC_VERSION, K::kStatic, "", 0, 0, 72, 8},
      {IDC_ANIMATION, K::kAnimation, "Animate1", 7, 11, 186, 40, ACS_TRANSPARENT | ACS_AUTOPLAY},
      {IDC_BANNER, K::kBanner, "", 7, 118, 312, 37},
  }};
  AddConnectionGrid(dialog);
  return dialog;
}

}  // namespace progress_dlg

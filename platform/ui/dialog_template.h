#pragma once

// Dialog templates in dialog units, and their conversion to pixels.
// Header-only: the qt plug-in lays out its own dialogs with it.
//
// The dialogs are laid out for an 8-point sans-serif dialog font at 96 dpi,
// whose base units are 6 pixels across (the average character width) and 13
// pixels down (the character height), the units MS Sans Serif 8 gives. A
// horizontal dialog unit is a quarter of the first, a vertical one an eighth
// of the second: 1.5 and 1.625 pixels. The qt backend draws with Liberation
// Sans (Arial's widths) at 10 pixels, which sets the templates' texts in
// about the room MS Sans Serif 8 took; a wider sans-serif font would cut them.

#include <string>
#include <vector>

#include "platform/ui/window_state.h"

constexpr int kDialogBaseUnitX = 6;
constexpr int kDialogBaseUnitY = 13;
constexpr int kDialogFontPixels = 10;

// a * b / c, rounded half away from zero, as the desktop's MulDiv.
constexpr int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

constexpr int DialogUnitsToPixelsX(int units) { return MulDiv(units, kDialogBaseUnitX, 4); }
constexpr int DialogUnitsToPixelsY(int units) { return MulDiv(units, kDialogBaseUnitY, 8); }

// Each edge is converted on its own, so neighbours stay adjacent.
constexpr UIRect MapDialogRect(int x, int y, int cx, int cy) {
  return {DialogUnitsToPixelsX(x), DialogUnitsToPixelsY(y), DialogUnitsToPixelsX(x + cx),
          DialogUnitsToPixelsY(y + cy)};
}

// Beyond the styles: how a control starts out.
constexpr unsigned kHidden = 1u << 30;
constexpr unsigned kDisabled = 1u << 29;

struct ControlTemplate {
  int id;
  ControlKind kind;
  std::string text;
  int x, y, cx, cy;  // dialog units
  unsigned style = 0;
  int resource = 0;
};

struct DialogTemplate {
  std::string title;
  int cx, cy;  // client area, dialog units
  std::vector<ControlTemplate> controls;
};

// The window a template describes, not yet visible.
inline WindowState WindowFromTemplate(const DialogTemplate& dialog) {
  WindowState window;
  window.title = dialog.title;
  window.size = {DialogUnitsToPixelsX(dialog.cx), DialogUnitsToPixelsY(dialog.cy)};
  for (const ControlTemplate& t : dialog.controls) {
    DialogControl control;
    control.id = t.id;
    control.kind = t.kind;
    control.text = t.text;
    control.rect = MapDialogRect(t.x, t.y, t.cx, t.cy);
    control.style = t.style & ~(kHidden | kDisabled);
    control.visible = (t.style & kHidden) == 0;
    control.enabled = (t.style & kDisabled) == 0;
    control.resource = t.resource;
    window.controls.push_back(std::move(control));
  }
  return window;
}

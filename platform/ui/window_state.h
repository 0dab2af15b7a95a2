#pragma once

// What a dialog window shows, as one whole state, and what its view reports
// back. Plain values shared by the dialog logic, every backend and the qt
// plug-in; everything here is header-only, so the plug-in needs nothing of
// the program's own libraries.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct UIPoint {
  int x = 0;
  int y = 0;
};

struct UISize {
  int cx = 0;
  int cy = 0;
  bool operator==(const UISize&) const = default;
};

// Pixels; right and bottom are outside the rectangle.
struct UIRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  // Empty rectangles meet nothing; touching edges do not meet.
  bool Intersects(const UIRect& other) const {
    return !IsEmpty() && !other.IsEmpty() && left < other.right && other.left < right && top < other.bottom &&
           other.top < bottom;
  }
  bool Contains(UIPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  bool operator==(const UIRect&) const = default;
};

using COLORREF = uint32_t;
constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b) { return r | (g << 8) | (b << 16); }
constexpr unsigned GetRValue(COLORREF c) { return c & 0xFF; }
constexpr unsigned GetGValue(COLORREF c) { return (c >> 8) & 0xFF; }
constexpr unsigned GetBValue(COLORREF c) { return (c >> 16) & 0xFF; }
// Not a colour: the control keeps the backend's own text colour.
constexpr COLORREF kDefaultTextColor = 0xFF000000;

using HCURSOR = int;
constexpr HCURSOR kDefaultCursor = 0;
// The desktop's pointing hand.
constexpr HCURSOR IDC_HAND = 32649;

enum class ControlKind {
  kButton,
  kRadioButton,
  kGroupBox,
  kStatic,     // text; SS_BLACKFRAME makes it a frame
  kPicture,    // a picture resource of the program (resource)
  kProgress,   // a bar from 0 to 100 (position)
  kAnimation,  // an animation resource of the program (resource, playing)
  kBanner,     // a picture file (picture, playing, stretch); reports a click
};

// Styles, with the values and meanings of the desktop's dialog templates.
constexpr unsigned SS_LEFT = 0x0000;
constexpr unsigned SS_CENTER = 0x0001;
constexpr unsigned SS_RIGHT = 0x0002;
constexpr unsigned SS_BLACKFRAME = 0x0007;
constexpr unsigned SS_LEFTNOWORDWRAP = 0x000C;
constexpr unsigned SS_TYPEMASK = 0x001F;
constexpr unsigned SS_NOTIFY = 0x0100;  // the static reports clicks and mouse moves
constexpr unsigned SS_CENTERIMAGE = 0x0200;
constexpr unsigned SS_SUNKEN = 0x1000;
constexpr unsigned BS_DEFPUSHBUTTON = 0x0001;
constexpr unsigned ACS_TRANSPARENT = 0x0002;
constexpr unsigned ACS_AUTOPLAY = 0x0004;

// Notification codes of WM_COMMAND.
constexpr int BN_CLICKED = 0;
constexpr int STN_CLICKED = 0;

// The dispatch id of a control's Click event.
constexpr int DISPID_CLICK = -600;

// One control of a dialog, in the dialog's client pixels.
struct DialogControl {
  int id = -1;
  ControlKind kind = ControlKind::kStatic;
  std::string text;
  UIRect rect;
  unsigned style = 0;
  bool visible = true;
  bool enabled = true;
  std::string tooltip;  // empty: none
  // Statics drawn as links.
  COLORREF textColor = kDefaultTextColor;
  bool underline = false;
  HCURSOR cursor = kDefaultCursor;
  bool mouseCaptured = false;  // every mouse move goes to this control
  // Kind-specific.
  bool checked = false;  // radio buttons
  int position = 0;      // progress bar, 0..100
  int resource = 0;      // picture and animation
  std::string picture;   // banner: the file shown, empty for none
  bool playing = false;  // animation and banner
  bool stretch = false;  // banner: picture stretched to the control

  bool operator==(const DialogControl&) const = default;
};

// A whole window. The texts after `controls` repeat what the progress
// window's controls show, named, for backends that show the window as text.
struct WindowState {
  std::string title;
  bool visible = false;
  UISize size;  // client area, pixels
  std::vector<DialogControl> controls;
  // A collapsible dialog: whether it shows its lower part, and the control
  // that toggles it (0: none).
  bool expanded = false;
  int toggleId = 0;
  // Cancel ended the window; the last link it opened.
  bool cancelled = false;
  std::string openedLink;

  std::string url;
  std::string saving;
  std::string timeLeft;
  std::string destFolder;
  std::string rate;
  int progress = 0;
  std::string connections[10];
  std::string version;
  bool detailsShown = false;  // the details button can be pressed
  std::string banner;         // the banner picture shown
  std::vector<std::string> adFiles;  // the banner pictures it turns through

  bool operator==(const WindowState&) const = default;

  const DialogControl* Find(int id) const {
    for (const DialogControl& control : controls)
      if (control.id == id) return &control;
    return nullptr;
  }
};

// What a person did to a window, as its view reports it.
struct ViewInput {
  enum Kind { kCommand, kMouseMove, kControlEvent };
  Kind kind = kCommand;
  int id = 0;          // the control
  UIPoint point;       // kMouseMove: in the control's client pixels
  int eventId = 0;     // kControlEvent: the event's dispatch id
};

using ViewInputHandler = std::function<void(const ViewInput&)>;

// A window of the chosen backend. Owned by the thread that created it and
// called from that thread only; its input handler may be called on any
// thread, at any time until Close.
class IWindowView {
 public:
  virtual ~IWindowView() = default;
  // The whole state as it is now; a backend may draw only some of the states
  // it is given, but always the last one before Close.
  virtual void Update(const WindowState& state) = 0;
  virtual void Close() = 0;
};

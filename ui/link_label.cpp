#include "ui/link_label.h"

#include "platform/base/failure.h"
#include "platform/process/process.h"
#include "platform/ui/ui.h"
#include "ui/progress_texts.h"

namespace {

CLinkLabel::Shell& CurrentShell() {
  static CLinkLabel::Shell shell{ShellExecuteOpen, WinExec};
  return shell;
}

constexpr DWORD kKeyValueChars = 260;

}  // namespace

CLinkLabel::CLinkLabel()
    : m_clrLink(RGB(0, 0, 238)), m_clrVisited(RGB(85, 26, 139)), m_clrHover(CurrentUIBackend().HighlightColor()) {}

CLinkLabel::~CLinkLabel() = default;

CLinkLabel::Shell CLinkLabel::SetShell(Shell shell) {
  std::swap(CurrentShell(), shell);
  return shell;
}

void CLinkLabel::SetLinkURL(const std::string& url) {
  m_strURL = url;
  if (!IsBound()) return;
  FitToText();
  SetToolTip(m_strURL);
}

void CLinkLabel::MarkVisited(bool visited) {
  m_bVisited = visited;
  if (IsBound()) Redraw();
}

void CLinkLabel::PreSubclassWindow() {
  ModifyStyle(0, SS_NOTIFY);
  if (m_strURL.empty()) m_strURL = GetWindowText();
  if (GetWindowText().empty()) SetWindowText(m_strURL);
  Item().underline = m_bUnderline;
  FitToText();
  LoadHandCursor();
  Item().cursor = m_hHandCursor;
  SetToolTip(m_strURL);
  Redraw();
}

void CLinkLabel::FitToText() {
  if (!IsBound() || !m_bFitText) return;
  UIRect rect = GetWindowRect();
  const UISize text = CurrentUIBackend().TextExtent(GetWindowText());
  const unsigned style = GetStyle();
  if (style & SS_CENTERIMAGE) {
    const int dy = (rect.Height() - text.cy) / 2;
    rect.top += dy;
    rect.bottom -= dy;
  } else {
    rect.bottom = rect.top + text.cy;
  }
  const unsigned alignment = style & SS_TYPEMASK;
  if (alignment == SS_CENTER) {
    const int dx = (rect.Width() - text.cx) / 2;
    rect.left += dx;
    rect.right -= dx;
  } else if (alignment == SS_RIGHT) {
    rect.left = rect.right - text.cx;
  } else {
    rect.right = rect.left + text.cx;
  }
  MoveWindow(rect);
}

// The desktop's own pointing hand stands in for the help program's cursor.
void CLinkLabel::LoadHandCursor() {
  if (m_hHandCursor != kDefaultCursor) return;
  m_hHandCursor = IDC_HAND;
}

COLORREF CLinkLabel::CtlColor() const {
  if (m_bHover) return m_clrHover;
  return m_bVisited ? m_clrVisited : m_clrLink;
}

void CLinkLabel::Redraw() { Item().textColor = CtlColor(); }

void CLinkLabel::OnMouseMove(UIPoint point) {
  if (m_bHover) {
    if (GetClientRect().Contains(point)) return;
    m_bHover = false;
    Item().mouseCaptured = false;
    Redraw();
    return;
  }
  m_bHover = true;
  Redraw();
  Item().mouseCaptured = true;
}

bool CLinkLabel::OnReflectedCommand(int code) {
  if (code != STN_CLICKED) return false;
  OnClicked();
  return true;
}

void CLinkLabel::OnClicked() {
  const intptr_t result = OpenURL(m_strURL, SW_SHOW);
  m_bVisited = result > 32;
  if (m_bVisited) {
    MarkVisited(true);
    GetParent()->NoteLinkOpened(m_strURL);
    return;
  }
  // The label keeps the colour it has until it is next drawn.
  MessageBeep();
  ShowOpenError(static_cast<int>(result));
}

intptr_t CLinkLabel::OpenURL(const std::string& url, int show) {
  const Shell shell = CurrentShell();
  const intptr_t opened = shell.open(url, show);
  if (static_cast<uintptr_t>(opened) > 32) return opened;
  std::string htmlType;
  if (ReadKeyDefault(HKEY_CLASSES_ROOT, ".htm", &htmlType) != ERROR_SUCCESS) return opened;
  std::string command;
  if (ReadKeyDefault(HKEY_CLASSES_ROOT, htmlType + "\\shell\\open\\command", &command) != ERROR_SUCCESS)
    return opened;
  // Everything from the placeholder on gives way to the URL. UTF-8 never
  // has '"' or '%' inside a character, so a byte search is safe. The line
  // has no length limit: a cut URL would open the wrong page.
  size_t placeholder = command.find("\"%1\"");
  if (placeholder == std::string::npos) placeholder = command.find("%1");
  if (placeholder != std::string::npos) command.resize(placeholder);
  command += " " + url;
  return shell.exec(command, show);
}

LONG CLinkLabel::ReadKeyDefault(HKEY root, const std::string& subKey, std::string* value) {
  HKEY key = nullptr;
  const LONG opened = RegOpenKeyEx(root, subKey, &key);
  if (opened != ERROR_SUCCESS) return opened;
  uint8_t data[kKeyValueChars] = {};
  DWORD size = sizeof data;
  DWORD type = 0;
  const LONG read = RegQueryValueEx(key, "", &type, data, &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS) return read;
  const std::string text(reinterpret_cast<const char*>(data), size);
  *value = text.substr(0, text.find('\0'));
  return ERROR_SUCCESS;
}

void CLinkLabel::ShowOpenError(int code) {
  const char* text = progress_texts::OpenErrorText(code);
  const std::string reason = text ? text : Format(progress_texts::kUnknownOpenError, code);
  AfxMessageBox(progress_texts::kOpenErrorIntro + reason, MB_OK | MB_ICONEXCLAMATION);
}

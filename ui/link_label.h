#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/registry/registry.h"
#include "platform/ui/dialog.h"

// Turns a static control into a hyperlink: underlined text in the link
// colour, another colour while the mouse is over it (the mouse captured
// until it leaves) and another once opened, a hand cursor, a tooltip with
// the URL, and a click that opens the URL. Used on its dialog's thread.
class CLinkLabel : public CWnd {
 public:
  CLinkLabel();
  ~CLinkLabel() override;

  // Before or after the label is bound.
  void SetLinkURL(const std::string& url);
  void MarkVisited(bool visited);

  // Opens a URL with the desktop's handler, else with the program the
  // registry names for .htm files. Above 32 means opened; otherwise the
  // error number. Any thread.
  static intptr_t OpenURL(const std::string& url, int show);

  // What OpenURL starts programs with; tests put fakes in.
  struct Shell {
    std::function<intptr_t(const std::string& url, int show)> open;
    std::function<unsigned(const std::string& commandLine, int show)> exec;
  };
  // Returns the one in use before.
  static Shell SetShell(Shell shell);

  COLORREF m_clrLink;
  COLORREF m_clrVisited;
  COLORREF m_clrHover;
  bool m_bHover = false;
  bool m_bVisited = false;
  bool m_bUnderline = true;
  bool m_bFitText = true;
  std::string m_strURL;
  HCURSOR m_hHandCursor = kDefaultCursor;

 protected:
  void PreSubclassWindow() override;
  bool OnReflectedCommand(int code) override;
  void OnMouseMove(UIPoint point) override;

 private:
  void FitToText();
  void LoadHandCursor();
  // The text colour for the current hover and visited state.
  COLORREF CtlColor() const;
  void Redraw();
  void OnClicked();
  void ShowOpenError(int code);
  // The default value of a key, or the registry's error.
  static LONG ReadKeyDefault(HKEY root, const std::string& subKey, std::string* value);
};

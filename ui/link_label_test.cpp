#include "ui/link_label.h"

#include <gtest/gtest.h>

#include "platform/process/process.h"
#include "ui/recording_ui_backend.h"

namespace {

constexpr int kLinkId = 100;
constexpr COLORREF kLink = RGB(0, 0, 238);
constexpr COLORREF kVisited = RGB(85, 26, 139);

// A dialog of one static, 60 x 16 units at (10, 10), bound to a link label.
class LinkDialog : public CDialog {
 public:
  LinkDialog(const std::string& text, unsigned style, const std::string& url = "")
      : CDialog({"Links", 100, 50, {{kLinkId, ControlKind::kStatic, text, 10, 10, 60, 16, style}}}) {
    if (!url.empty()) label.SetLinkURL(url);
  }
  void Move(int x, int y) { OnMessage({WM_MOUSEMOVE, kLinkId, static_cast<intptr_t>(MAKEWPARAM(x, y))}); }
  void Click() { OnMessage({WM_COMMAND, MAKEWPARAM(kLinkId, STN_CLICKED), 0}); }
  const DialogControl& Item() { return *State().Find(kLinkId); }
  CLinkLabel label;

 protected:
  void DoDataExchange() override { DDX_Control(kLinkId, label); }
};

// Opens nothing: the desktop answers `shellResult`, started programs are
// recorded.
class FakeShell {
 public:
  explicit FakeShell(intptr_t shellResult) {
    m_previous = CLinkLabel::SetShell({[shellResult](const std::string&, int) { return shellResult; },
                                       [this](const std::string& line, int) -> unsigned {
                                         started.push_back(line);
                                         return 33;
                                       }});
  }
  ~FakeShell() { CLinkLabel::SetShell(m_previous); }
  std::vector<std::string> started;

 private:
  CLinkLabel::Shell m_previous;
};

class LinkLabelTest : public ::testing::Test, public RecordingUIFixture {
 protected:
  static void SetClassDefault(const std::string& key, const std::string& text) {
    HKEY handle = nullptr;
    RegCreateKeyEx(HKEY_CLASSES_ROOT, key, &handle);
    RegSetString(handle, "", text);
    RegCloseKey(handle);
  }
};

TEST_F(LinkLabelTest, ColoursFollowHoverAndVisitedAndTheMouseIsCapturedWhileOver) {
  FakeShell shell(42);
  LinkDialog dialog("Home", SS_LEFT, "http://home.test/");
  ASSERT_TRUE(dialog.Create());
  const COLORREF hover = CurrentUIBackend().HighlightColor();
  struct Step {
    const char* what;
    std::function<void()> act;
    COLORREF colour;
    bool captured;
  };
  const Step steps[] = {
      {"start", [] {}, kLink, false},
      {"enter", [&] { dialog.Move(2, 3); }, hover, true},
      {"move inside", [&] { dialog.Move(20, 5); }, hover, true},
      {"leave", [&] { dialog.Move(30, 40); }, kLink, false},
      {"click", [&] { dialog.Click(); }, kVisited, false},
      {"enter again", [&] { dialog.Move(1, 1); }, hover, true},  // hover wins
      {"leave to the left", [&] { dialog.Move(-1, 1); }, kVisited, false},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(dialog.Item().textColor, step.colour) << step.what;
    EXPECT_EQ(dialog.Item().mouseCaptured, step.captured) << step.what;
  }
  EXPECT_EQ(ui.states.back().openedLink, "http://home.test/");
}

TEST_F(LinkLabelTest, TheLabelShrinksToItsTextKeepingItsAlignment) {
  // 60 x 16 units at (10, 10) are pixels 15..105 x 16..42; "Link text"
  // measures 54 x 13.
  const std::pair<unsigned, UIRect> cases[] = {
      {SS_LEFT, {15, 16, 69, 29}},
      {SS_CENTER, {33, 16, 87, 29}},
      {SS_RIGHT, {51, 16, 105, 29}},
      {SS_LEFTNOWORDWRAP, {15, 16, 69, 29}},
      {SS_CENTERIMAGE, {15, 22, 69, 36}},
      {SS_CENTER | SS_CENTERIMAGE, {33, 22, 87, 36}},
  };
  for (const auto& [style, rect] : cases) {
    LinkDialog dialog("Link text", style);
    ASSERT_TRUE(dialog.Create());
    EXPECT_EQ(dialog.Item().rect, rect) << std::hex << style;
    EXPECT_TRUE(dialog.Item().style & SS_NOTIFY);
  }
}

TEST_F(LinkLabelTest, AnEmptyUrlIsTheTextAndAnEmptyTextShowsTheUrl) {
  LinkDialog bare("http://text.test/", SS_LEFT);
  ASSERT_TRUE(bare.Create());
  EXPECT_EQ(bare.label.m_strURL, "http://text.test/");
  EXPECT_EQ(bare.Item().tooltip, "http://text.test/");
  LinkDialog empty("", SS_LEFT, "http://url.test/");
  ASSERT_TRUE(empty.Create());
  EXPECT_EQ(empty.Item().text, "http://url.test/");
  EXPECT_EQ(empty.Item().rect.Width(), 16 * 6);
}

TEST_F(LinkLabelTest, WithoutTheDesktopTheHtmlHandlerOpensTheUrl) {
  SetClassDefault(".htm", "htmlfile");
  const std::pair<const char*, const char*> commands[] = {
      {"\"/opt/browser\" \"%1\"", "\"/opt/browser\"  http://a.test/x y"},
      {"/opt/browser %1 --new-window", "/opt/browser  http://a.test/x y"},
      {"/opt/browser", "/opt/browser http://a.test/x y"},
      {"/opt/browser \"%1", "/opt/browser \" http://a.test/x y"},
  };
  for (const auto& [command, started] : commands) {
    SetClassDefault("htmlfile\\shell\\open\\command", command);
    FakeShell shell(2);
    EXPECT_EQ(CLinkLabel::OpenURL("http://a.test/x y", SW_SHOW), 33) << command;
    EXPECT_EQ(shell.started, std::vector<std::string>{started}) << command;
  }
  FakeShell desktop(42);
  EXPECT_EQ(CLinkLabel::OpenURL("http://a.test/", SW_SHOW), 42);
  EXPECT_TRUE(desktop.started.empty());
}

TEST_F(LinkLabelTest, WithoutAnHtmlHandlerTheDesktopsErrorStands) {
  FakeShell shell(31);
  EXPECT_EQ(CLinkLabel::OpenURL("http://a.test/", SW_SHOW), 31);
  SetClassDefault(".htm", "htmlfile");
  EXPECT_EQ(CLinkLabel::OpenURL("http://a.test/", SW_SHOW), 31);
  EXPECT_TRUE(shell.started.empty());
}

TEST_F(LinkLabelTest, AFailedOpenBeepsAndSaysWhy) {
  const std::pair<intptr_t, const char*> cases[] = {
      {26, "A sharing violation occurred. "},
      {2, "The specified file was not found."},
      {31, "There is no application associated\nwith the given filename extension."},
      {0, "The operating system is out\nof memory or resources."},
      {7, "Unknown Error (7) occurred."},
  };
  for (const auto& [code, text] : cases) {
    FakeShell shell(code);
    LinkDialog dialog("Home", SS_LEFT, "http://home.test/");
    ASSERT_TRUE(dialog.Create());
    ui.messages.clear();
    ui.beeps = 0;
    dialog.Click();
    EXPECT_EQ(ui.messages, std::vector<std::string>{std::string("Unable to open hyperlink:\n\n") + text}) << code;
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_FALSE(dialog.label.m_bVisited);
    EXPECT_EQ(dialog.Item().textColor, kLink);
  }
}

}  // namespace

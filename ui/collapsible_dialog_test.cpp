#include "ui/collapsible_dialog.h"

#include <gtest/gtest.h>

#include "ui/recording_ui_backend.h"

namespace {

constexpr int kMarker = 10, kToggle = 11, kBelow = 12;

DialogTemplate Layout(bool withMarker) {
  DialogTemplate dialog{"Collapsible", 100, 80, {
      {kToggle, ControlKind::kButton, "More", 10, 20, 30, 12},
      {kBelow, ControlKind::kStatic, "below", 10, 50, 30, 8},
  }};
  if (withMarker) dialog.controls.push_back({kMarker, ControlKind::kStatic, "", 0, 0, 100, 40, SS_BLACKFRAME});
  return dialog;
}

class Dialog : public CCollapsibleDialog {
 public:
  Dialog(bool withMarker, bool canCollapse, bool allowChanges = true)
      : CCollapsibleDialog(Layout(withMarker), kMarker, kToggle, "More", "Less", canCollapse),
        m_allowChanges(allowChanges) {}
  void Click() { OnMessage({WM_COMMAND, MAKEWPARAM(kToggle, BN_CLICKED), 0}); }
  std::vector<bool> expandedCalls;

 protected:
  bool OnExpanding(bool) override { return m_allowChanges; }
  void OnExpanded(bool expanded) override { expandedCalls.push_back(expanded); }

 private:
  bool m_allowChanges;
};

class CollapsibleDialogTest : public ::testing::Test, public RecordingUIFixture {};

TEST_F(CollapsibleDialogTest, CollapsedToTheMarkerAndBackToTheTemplate) {
  // 100 x 80 units are 150 x 130 pixels; the marker ends at 40 units, 65 px.
  for (bool canCollapse : {true, false}) {
    Dialog dialog(true, canCollapse);
    ASSERT_TRUE(dialog.Create());
    EXPECT_EQ(dialog.GetWindowSize(), (UISize{150, 65}));
    EXPECT_FALSE(dialog.GetDlgItem(kBelow)->enabled);
    EXPECT_FALSE(dialog.GetDlgItem(kMarker)->visible);
    dialog.Click();
    EXPECT_EQ(dialog.GetWindowSize(), (UISize{150, 130}));
    EXPECT_TRUE(dialog.GetDlgItem(kBelow)->enabled);
    EXPECT_EQ(dialog.GetDlgItem(kToggle)->text, canCollapse ? "Less" : "More");
    EXPECT_EQ(dialog.GetDlgItem(kToggle)->enabled, canCollapse);
    dialog.Click();  // a disabled toggle cannot be clicked
    EXPECT_EQ(dialog.IsExpanded(), !canCollapse);
    EXPECT_EQ(dialog.expandedCalls, canCollapse ? (std::vector<bool>{true, false}) : std::vector<bool>{true});
  }
}

TEST_F(CollapsibleDialogTest, NoMarkerOrAVetoKeepsTheState) {
  Dialog unmarked(false, true);
  ASSERT_TRUE(unmarked.Create());
  EXPECT_TRUE(unmarked.IsExpanded());
  EXPECT_EQ(unmarked.GetWindowSize(), (UISize{150, 130}));
  Dialog vetoing(true, true, false);
  ASSERT_TRUE(vetoing.Create());
  EXPECT_FALSE(vetoing.Toggle());
  EXPECT_FALSE(vetoing.IsExpanded());
  EXPECT_TRUE(vetoing.expandedCalls.empty());
}

}  // namespace

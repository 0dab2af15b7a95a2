#pragma once

#include <memory>
#include <string>

#include "platform/ui/dialog.h"

// A dialog that collapses to the area above a marker control and expands
// again to its template's size; a toggle button switches between the two and
// carries the text of the change it offers. Every dialog starts collapsed.
class CCollapsibleDialog : public CDialog {
 public:
  CCollapsibleDialog(const DialogTemplate& dialogTemplate, int markerId, int toggleId, std::string collapsedText,
                     std::string expandedText, bool canCollapse);
  ~CCollapsibleDialog() override;

  // Changes to the opposite state when OnExpanding allows it. Returns
  // whether the state asked for is in force.
  bool Toggle();
  // Nothing happens when the state is already bExpand, or when the toggle
  // button or the marker is missing.
  void Expand(bool bExpand);
  bool IsExpanded() const { return m_bExpanded; }

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code) override;
  // TRUE lets the change from the current state happen.
  virtual bool OnExpanding(bool /*bExpanded*/) { return true; }
  virtual void OnExpanded(bool /*bExpanded*/) {}

  std::string m_strCollapsedText;
  std::string m_strExpandedText;
  int m_nMarkerID;
  int m_nToggleID;
  bool m_bCanCollapse;
  // The full client size, known from the first collapse on.
  std::unique_ptr<UISize> m_pFullSize;
  bool m_bExpanded = true;

 private:
  void EnableOutside(const UIRect& marker, bool enable);
};

#include "ui/collapsible_dialog.h"

CCollapsibleDialog::CCollapsibleDialog(const DialogTemplate& dialogTemplate, int markerId, int toggleId,
                                       std::string collapsedText, std::string expandedText, bool canCollapse)
    : CDialog(dialogTemplate),
      m_strCollapsedText(std::move(collapsedText)),
      m_strExpandedText(std::move(expandedText)),
      m_nMarkerID(markerId),
      m_nToggleID(toggleId),
      m_bCanCollapse(canCollapse) {}

CCollapsibleDialog::~CCollapsibleDialog() = default;

bool CCollapsibleDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  m_state.toggleId = m_nToggleID;
  m_state.expanded = m_bExpanded;
  Expand(false);
  return true;
}

bool CCollapsibleDialog::OnCommand(int id, int code) {
  if (id == m_nToggleID && code == BN_CLICKED) Toggle();
  return CDialog::OnCommand(id, code);
}

bool CCollapsibleDialog::Toggle() {
  const bool wanted = !m_bExpanded;
  if (OnExpanding(m_bExpanded)) {
    Expand(wanted);
    OnExpanded(m_bExpanded);
  }
  return m_bExpanded == wanted;
}

void CCollapsibleDialog::Expand(bool bExpand) {
  DialogControl* toggle = GetDlgItem(m_nToggleID);
  DialogControl* marker = GetDlgItem(m_nMarkerID);
  if (bExpand == m_bExpanded || !toggle || !marker) return;
  const UIRect markerRect = marker->rect;
  EnableOutside(markerRect, bExpand);
  if (bExpand) {
    SetWindowSize(*m_pFullSize);
    if (m_bCanCollapse)
      toggle->text = m_strExpandedText;
    else
      toggle->enabled = false;
  } else {
    if (!m_pFullSize) {
      m_pFullSize = std::make_unique<UISize>(GetWindowSize());
      marker->visible = false;
    }
    // The window's top is its client area's top: what stays is everything
    // down to the marker's bottom edge.
    SetWindowSize({GetWindowSize().cx, markerRect.bottom});
    toggle->text = m_strCollapsedText;
  }
  m_bExpanded = bExpand;
  m_state.expanded = bExpand;
}

// Controls wholly outside the marker cannot be seen while collapsed, so
// they cannot be used either.
void CCollapsibleDialog::EnableOutside(const UIRect& marker, bool enable) {
  for (DialogControl& control : m_state.controls)
    if (!control.rect.Intersects(marker)) control.enabled = enable;
}

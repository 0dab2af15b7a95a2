#include "platform/ui/dialog.h"

#include <chrono>

DialogControl& CWnd::Item() { return *m_pParent->GetDlgItem(m_nID); }

const DialogControl& CWnd::Item() const { return *m_pParent->GetDlgItem(m_nID); }

bool CAnimateCtrl::Open(int resource) {
  Item().resource = resource;
  Item().playing = (GetStyle() & ACS_AUTOPLAY) != 0;
  return true;
}

CDialog::CDialog(const DialogTemplate& dialogTemplate) : m_state(WindowFromTemplate(dialogTemplate)) {}

CDialog::~CDialog() { DestroyWindow(); }

bool CDialog::Create() {
  if (m_view) return true;
  // The view may report from any thread, and after this object is gone, so
  // the input carries the window's thread by value.
  const ThreadId thread = GetCurrentThreadId();
  m_view = CurrentUIBackend().CreateWindowView([thread](const ViewInput& input) { PostInput(thread, input); });
  if (!m_view) return false;
  OnInitDialog();
  Publish();
  return true;
}

void CDialog::ShowWindow(bool show) {
  m_state.visible = show;
  Publish();
}

void CDialog::DestroyWindow() {
  if (!m_view) return;
  m_timers.clear();
  m_view->Close();
  m_view.reset();
  m_bound.clear();
}

bool CDialog::OnMessage(const ThreadMessage& message) {
  if (!m_view) return false;
  bool handled = true;
  switch (message.message) {
    case WM_COMMAND:
      DispatchCommand(LOWORD(message.wParam), HIWORD(message.wParam));
      break;
    case WM_MOUSEMOVE:
      if (CWnd* control = BoundControl(static_cast<int>(message.wParam))) {
        const auto packed = static_cast<uint32_t>(message.lParam);
        control->OnMouseMove({static_cast<int16_t>(packed & 0xFFFF), static_cast<int16_t>(packed >> 16)});
      }
      break;
    case WM_CONTROLEVENT:
      OnControlEvent(static_cast<int>(message.wParam), static_cast<int>(message.lParam));
      break;
    default:
      handled = OnUserMessage(message);
  }
  // A handler may have destroyed the window.
  if (m_view) Publish();
  return handled;
}

void CDialog::DispatchCommand(int id, int code) {
  // A click that was on its way when its control was hidden or disabled
  // is dropped: the window would not have let it through.
  const DialogControl* item = GetDlgItem(id);
  if (item && (!item->visible || !item->enabled)) return;
  CWnd* control = BoundControl(id);
  if (control && control->OnReflectedCommand(code)) return;
  OnCommand(id, code);
}

DialogControl* CDialog::GetDlgItem(int id) {
  for (DialogControl& control : m_state.controls)
    if (control.id == id) return &control;
  return nullptr;
}

void CDialog::SetTimer(int id, int milliseconds) {
  auto& timer = m_timers[id];
  if (!timer)
    timer = std::make_unique<Timer>([this, id] {
      OnTimer(id);
      if (m_view) Publish();
    });
  timer->Start(std::chrono::milliseconds(milliseconds), true);
}

void CDialog::KillTimer(int id) {
  const auto found = m_timers.find(id);
  if (found != m_timers.end()) found->second->Stop();
}

bool CDialog::HasTimer(int id) const {
  const auto found = m_timers.find(id);
  return found != m_timers.end() && found->second->IsActive();
}

bool CDialog::OnInitDialog() {
  DoDataExchange();
  return true;
}

void CDialog::DDX_Control(int id, CWnd& control) {
  if (control.IsBound() || !GetDlgItem(id)) return;
  control.m_pParent = this;
  control.m_nID = id;
  m_bound[id] = &control;
  control.PreSubclassWindow();
}

bool CDialog::OnCommand(int id, int) {
  if (id != IDCANCEL) return false;
  OnCancel();
  return true;
}

void CDialog::OnCancel() {
  m_state.visible = false;
  m_state.cancelled = true;
}

const WindowState& CDialog::State() {
  Summarize(m_state);
  return m_state;
}

void CDialog::Publish() {
  if (!m_view) return;
  Summarize(m_state);
  if (m_state == m_published) return;
  m_published = m_state;
  m_view->Update(m_state);
}

void CDialog::PostInput(ThreadId thread, const ViewInput& input) {
  switch (input.kind) {
    case ViewInput::kCommand:
      PostThreadMessage(thread, WM_COMMAND, MAKEWPARAM(input.id, BN_CLICKED));
      break;
    case ViewInput::kMouseMove:
      PostThreadMessage(thread, WM_MOUSEMOVE, static_cast<uintptr_t>(input.id),
                        static_cast<intptr_t>(MAKEWPARAM(input.point.x, input.point.y)));
      break;
    case ViewInput::kControlEvent:
      PostThreadMessage(thread, WM_CONTROLEVENT, static_cast<uintptr_t>(input.id), input.eventId);
      break;
  }
}

CWnd* CDialog::BoundControl(int id) {
  const auto found = m_bound.find(id);
  return found == m_bound.end() ? nullptr : found->second;
}

#include "platform/ui/qt/qt_dialog_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "platform/ui/dialog_template.h"
#include "platform/ui/qt/qt_controls.h"
#include "platform/ui/qt/qt_pictures.h"
#include "platform/ui/ui.h"

QtDialogWindow::QtDialogWindow(const WindowState& state, ViewInputHandler onInput, Qt::WindowFlags flags)
    : QDialog(nullptr, flags), m_onInput(std::move(onInput)) {
  setFont(DialogFont());
  for (const DialogControl& control : state.controls) m_widgets.push_back(MakeControl(control));
  m_drawn.controls.resize(state.controls.size());
  Apply(state);
}

QFont QtDialogWindow::DialogFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial"),
                    QStringLiteral("Nimbus Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(kDialogFontPixels);
  return font;
}

QWidget* QtDialogWindow::MakeControl(const DialogControl& control) {
  const int id = control.id;
  auto report = [this, id] {
    ViewInput click;
    click.id = id;
    m_onInput(click);
  };
  switch (control.kind) {
    case ControlKind::kButton: {
      auto* button = new QPushButton(this);
      button->setAutoDefault(false);
      button->setDefault((control.style & BS_DEFPUSHBUTTON) != 0);
      QObject::connect(button, &QPushButton::clicked, this, report);
      return button;
    }
    case ControlKind::kRadioButton: {
      auto* radio = new QRadioButton(this);
      QObject::connect(radio, &QRadioButton::clicked, this, report);
      return radio;
    }
    case ControlKind::kGroupBox:
      return new QGroupBox(this);
    case ControlKind::kPicture: {
      auto* picture = new QLabel(this);
      picture->setPixmap(qt_pictures::Picture(control.resource));
      if (control.style & SS_SUNKEN) picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      return picture;
    }
    case ControlKind::kProgress: {
      auto* bar = new QProgressBar(this);
      bar->setRange(0, 100);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::kAnimation:
      return new QtAnimationControl(this);
    case ControlKind::kBanner:
      return new QtBannerControl(this, id, m_onInput);
    case ControlKind::kStatic:
      break;
  }
  return new QtStaticControl(this, id, m_onInput);
}

void QtDialogWindow::Apply(const WindowState& state) {
  ++m_statesApplied;
  if (state.title != m_drawn.title) setWindowTitle(QString::fromStdString(state.title));
  if (!(state.size == m_drawn.size)) Resize(state.size);
  for (size_t i = 0; i < m_widgets.size() && i < state.controls.size(); ++i) {
    if (state.controls[i] == m_drawn.controls[i]) continue;
    ApplyControl(m_widgets[i], state.controls[i]);
    m_drawn.controls[i] = state.controls[i];
  }
  m_drawn.title = state.title;
  m_drawn.size = state.size;
  if (state.visible && !isVisible()) {
    show();
    raise();
  } else if (!state.visible && isVisible()) {
    hide();
  }
}

void QtDialogWindow::ApplyControl(QWidget* widget, const DialogControl& control) {
  const UIRect& r = control.rect;
  widget->setGeometry(r.left, r.top, r.Width(), r.Height());
  widget->setEnabled(control.enabled);
  widget->setToolTip(QString::fromStdString(control.tooltip));
  const QString text = QString::fromStdString(control.text);
  switch (control.kind) {
    case ControlKind::kButton: static_cast<QPushButton*>(widget)->setText(text); break;
    case ControlKind::kRadioButton:
      static_cast<QRadioButton*>(widget)->setText(text);
      static_cast<QRadioButton*>(widget)->setChecked(control.checked);
      break;
    case ControlKind::kGroupBox: static_cast<QGroupBox*>(widget)->setTitle(text); break;
    case ControlKind::kProgress: static_cast<QProgressBar*>(widget)->setValue(control.position); break;
    case ControlKind::kAnimation: static_cast<QtAnimationControl*>(widget)->Apply(control); break;
    case ControlKind::kBanner: static_cast<QtBannerControl*>(widget)->Apply(control); break;
    case ControlKind::kStatic: static_cast<QtStaticControl*>(widget)->Apply(control); break;
    case ControlKind::kPicture: break;
  }
  widget->setVisible(control.visible);
}

// A window that grows is moved back onto the screen where it would leave it.
void QtDialogWindow::Resize(UISize size) {
  setFixedSize(size.cx, size.cy);
  const QScreen* display = screen();
  if (!display || !isVisible()) return;
  const QRect available = display->availableGeometry();
  QRect frame = frameGeometry();
  if (frame.bottom() > available.bottom()) frame.moveBottom(available.bottom());
  if (frame.top() < available.top()) frame.moveTop(available.top());
  if (frame.topLeft() != frameGeometry().topLeft()) move(frame.topLeft());
}

void QtDialogWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  ReportCancel();
}

void QtDialogWindow::reject() { ReportCancel(); }

void QtDialogWindow::ReportCancel() {
  ViewInput cancel;
  cancel.id = IDCANCEL;
  m_onInput(cancel);
}

QWidget* QtDialogWindow::Control(int id) const {
  for (size_t i = 0; i < m_widgets.size(); ++i)
    if (m_drawn.controls[i].id == id) return m_widgets[i];
  return nullptr;
}

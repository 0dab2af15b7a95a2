#include "platform/ui/qt/qt_controls.h"

#include <QImageReader>
#include <QMouseEvent>
#include <QMovie>
#include <QPainter>

#include "platform/ui/qt/qt_pictures.h"

namespace {

Qt::Alignment StaticAlignment(unsigned style) {
  const Qt::Alignment vertical = (style & SS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop;
  switch (style & SS_TYPEMASK) {
    case SS_CENTER: return Qt::AlignHCenter | vertical;
    case SS_RIGHT: return Qt::AlignRight | vertical;
    default: return Qt::AlignLeft | vertical;
  }
}

bool WordWraps(unsigned style) {
  const unsigned type = style & SS_TYPEMASK;
  return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
}

}  // namespace

QtStaticControl::QtStaticControl(QWidget* parent, int id, ViewInputHandler onInput)
    : QLabel(parent), m_id(id), m_onInput(std::move(onInput)) {
  setTextFormat(Qt::PlainText);
}

void QtStaticControl::Apply(const DialogControl& control) {
  if ((control.style & SS_TYPEMASK) == SS_BLACKFRAME) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette frame = palette();
    frame.setColor(QPalette::WindowText, Qt::black);
    setPalette(frame);
    return;
  }
  setText(QString::fromStdString(control.text));
  setAlignment(StaticAlignment(control.style));
  setWordWrap(WordWraps(control.style));
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, control.textColor == kDefaultTextColor
                                             ? parentWidget()->palette().color(QPalette::WindowText)
                                             : QColor(GetRValue(control.textColor), GetGValue(control.textColor),
                                                      GetBValue(control.textColor)));
  setPalette(colours);
  QFont underlined = parentWidget()->font();
  underlined.setUnderline(control.underline);
  setFont(underlined);
  if (control.cursor == IDC_HAND)
    setCursor(Qt::PointingHandCursor);
  else
    unsetCursor();
  m_notify = (control.style & SS_NOTIFY) != 0;
  setMouseTracking(m_notify);
  const bool grab = m_notify && control.mouseCaptured && control.visible;
  if (grab != m_grabbing) {
    if (grab)
      grabMouse();
    else
      releaseMouse();
    m_grabbing = grab;
  }
}

void QtStaticControl::mouseMoveEvent(QMouseEvent* event) {
  if (m_notify) Report(ViewInput::kMouseMove, event->position().toPoint());
  QLabel::mouseMoveEvent(event);
}

void QtStaticControl::mouseReleaseEvent(QMouseEvent* event) {
  if (m_notify && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    Report(ViewInput::kCommand, {});
  QLabel::mouseReleaseEvent(event);
}

void QtStaticControl::Report(ViewInput::Kind kind, QPoint point) {
  ViewInput input;
  input.kind = kind;
  input.id = m_id;
  input.point = {point.x(), point.y()};
  m_onInput(input);
}

QtAnimationControl::QtAnimationControl(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TranslucentBackground);
  m_timer.setInterval(qt_pictures::kAnimationFrameMs);
  QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
    m_frame = (m_frame + 1) % qt_pictures::kAnimationFrames;
    update();
  });
}

void QtAnimationControl::Apply(const DialogControl& control) {
  m_resource = control.resource;
  const bool play = control.playing && control.visible;
  if (play && !m_timer.isActive()) m_timer.start();
  if (!play) m_timer.stop();
  update();
}

void QtAnimationControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  qt_pictures::PaintAnimationFrame(m_resource, m_frame, painter, rect());
}

QtBannerControl::QtBannerControl(QWidget* parent, int id, ViewInputHandler onInput)
    : QLabel(parent), m_id(id), m_onInput(std::move(onInput)) {
  setCursor(Qt::PointingHandCursor);
}

void QtBannerControl::Apply(const DialogControl& control) {
  if (control.picture != m_picture) Load(control.picture);
  setAlignment(Qt::AlignCenter);
  setScaledContents(control.stretch);
  if (!m_movie) return;
  if (control.playing && m_movie->state() != QMovie::Running) m_movie->start();
  if (!control.playing) m_movie->setPaused(true);
}

void QtBannerControl::Load(const std::string& path) {
  m_picture = path;
  clear();
  delete m_movie;
  m_movie = nullptr;
  if (path.empty()) return;
  const QString file = QString::fromStdString(path);
  if (QImageReader(file).supportsAnimation()) {
    m_movie = new QMovie(file, QByteArray(), this);
    setMovie(m_movie);
    return;
  }
  setPixmap(QPixmap(file));
}

void QtBannerControl::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    ViewInput click;
    click.kind = ViewInput::kControlEvent;
    click.id = m_id;
    click.eventId = DISPID_CLICK;
    m_onInput(click);
  }
  QLabel::mouseReleaseEvent(event);
}

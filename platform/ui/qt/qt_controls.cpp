#include "platform/ui/qt/qt_controls.h"

#include <algorithm>

#include <QFontMetrics>
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

// The narrowest the text of a one-line static is set; what still does not
// fit loses its middle.
constexpr int kNarrowestStretch = 60;

// The font's stretch at which the text fits the width, or the narrowest.
int StretchToFit(QFont font, const QString& text, int width) {
  const int natural = QFontMetrics(font).horizontalAdvance(text);
  if (natural <= width) return 100;
  for (int stretch = std::max(kNarrowestStretch, 100 * width / natural); stretch > kNarrowestStretch; --stretch) {
    font.setStretch(stretch);
    if (QFontMetrics(font).horizontalAdvance(text) <= width) return stretch;
  }
  return kNarrowestStretch;
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
  setAlignment(StaticAlignment(control.style));
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, control.textColor == kDefaultTextColor
                                             ? parentWidget()->palette().color(QPalette::WindowText)
                                             : QColor(GetRValue(control.textColor), GetGValue(control.textColor),
                                                      GetBValue(control.textColor)));
  setPalette(colours);
  QFont font = parentWidget()->font();
  font.setUnderline(control.underline);
  SetFittedText(QString::fromStdString(control.text), font, control.style);
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

// The templates' statics were sized for their texts in another font: one a
// line high would wrap the end of its text out of sight (a unit under its
// number, the question mark after a question), so its text is kept on the
// line, set narrower as far as that stays readable.
void QtStaticControl::SetFittedText(const QString& text, QFont font, unsigned style) {
  const bool oneLine = height() < 2 * QFontMetrics(font).lineSpacing();
  setWordWrap(WordWraps(style) && !oneLine);
  if (oneLine) font.setStretch(StretchToFit(font, text, width()));
  setFont(font);
  setText(oneLine ? QFontMetrics(font).elidedText(text, Qt::ElideMiddle, width()) : text);
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
  setPixmap(qt_pictures::DefaultBanner());
}

void QtBannerControl::Apply(const DialogControl& control) {
  if (control.picture != m_picture) Load(control.picture);
  setAlignment(Qt::AlignCenter);
  setScaledContents(control.stretch);
  if (!m_movie) return;
  if (control.playing && m_movie->state() != QMovie::Running) m_movie->start();
  if (!control.playing) m_movie->setPaused(true);
}

// No picture, or one that cannot be read, shows the program's own banner
// rather than an empty band.
void QtBannerControl::Load(const std::string& path) {
  m_picture = path;
  clear();
  delete m_movie;
  m_movie = nullptr;
  const QString file = QString::fromStdString(path);
  if (!path.empty() && QImageReader(file).supportsAnimation()) {
    m_movie = new QMovie(file, QByteArray(), this);
    if (m_movie->isValid()) {
      setMovie(m_movie);
      return;
    }
    delete m_movie;
    m_movie = nullptr;
  }
  const QPixmap picture(file);
  setPixmap(picture.isNull() ? qt_pictures::DefaultBanner() : picture);
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

#include "platform/ui/qt/qt_pictures.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "platform/ui/qt/qt_dialog_window.h"

namespace qt_pictures {

namespace {

// The sixteen colours of the classic desktop palette, which is all the
// choice picture uses.
const QColor kNavy(0, 0, 128), kTeal(0, 128, 128), kBlue(0, 0, 255), kCyan(0, 255, 255);
const QColor kYellow(255, 255, 0), kOlive(128, 128, 0), kWhite(255, 255, 255), kSilver(192, 192, 192);
const QColor kGrey(128, 128, 128), kBlack(0, 0, 0), kGreen(0, 128, 0);

void DrawGlobe(QPainter& p, QPointF centre, double radius) {
  p.setPen(QPen(kNavy, std::max(1.0, radius / 12)));
  p.setBrush(kBlue);
  p.drawEllipse(centre, radius, radius);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(kCyan, std::max(1.0, radius / 16)));
  for (double k : {0.35, 0.75}) p.drawEllipse(centre, radius * k, radius);
  p.drawLine(QPointF(centre.x() - radius, centre.y()), QPointF(centre.x() + radius, centre.y()));
  for (double k : {-0.5, 0.5}) {
    const double half = radius * std::sqrt(1 - k * k);
    p.drawLine(QPointF(centre.x() - half, centre.y() + k * radius), QPointF(centre.x() + half, centre.y() + k * radius));
  }
  p.setBrush(kGreen);
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(centre.x() - radius * 0.3, centre.y() - radius * 0.25), radius * 0.28, radius * 0.2);
  p.drawEllipse(QPointF(centre.x() + radius * 0.35, centre.y() + radius * 0.3), radius * 0.22, radius * 0.3);
}

void DrawFolder(QPainter& p, const QRectF& box) {
  p.setPen(QPen(kOlive, 1));
  p.setBrush(kOlive);
  p.drawRect(QRectF(box.left(), box.top(), box.width() * 0.4, box.height() * 0.2));
  p.setBrush(kYellow);
  p.drawRect(QRectF(box.left(), box.top() + box.height() * 0.15, box.width(), box.height() * 0.85));
}

void DrawSheet(QPainter& p, QPointF centre, double size, double tilt) {
  p.save();
  p.translate(centre);
  p.rotate(tilt);
  const QRectF sheet(-size * 0.38, -size / 2, size * 0.76, size);
  p.setPen(QPen(kBlack, 1));
  p.setBrush(kWhite);
  p.drawRect(sheet);
  p.setPen(QPen(kGrey, 1));
  for (int line = 1; line <= 4; ++line) {
    const double y = sheet.top() + sheet.height() * line / 5.5;
    p.drawLine(QPointF(sheet.left() + 2, y), QPointF(sheet.right() - 2, y));
  }
  p.restore();
}

void DrawArrow(QPainter& p, const QRectF& box) {
  QPainterPath arrow;
  const double mid = box.center().x(), shaft = box.width() * 0.18;
  arrow.moveTo(mid - shaft, box.top());
  arrow.lineTo(mid + shaft, box.top());
  arrow.lineTo(mid + shaft, box.top() + box.height() * 0.55);
  arrow.lineTo(box.right(), box.top() + box.height() * 0.55);
  arrow.lineTo(mid, box.bottom());
  arrow.lineTo(box.left(), box.top() + box.height() * 0.55);
  arrow.lineTo(mid - shaft, box.top() + box.height() * 0.55);
  arrow.closeSubpath();
  p.setPen(QPen(kNavy, 1));
  p.setBrush(kYellow);
  p.drawPath(arrow);
}

// 121 x 230: a globe above an arrow into a folder, on a teal band.
QPixmap ChoicePicture() {
  QPixmap picture(121, 230);
  picture.fill(kTeal);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(QRect(0, 0, 121, 18), kNavy);
  p.fillRect(QRect(0, 212, 121, 18), kNavy);
  for (int y = 30; y < 210; y += 12) p.fillRect(QRect(0, y, 121, 1), kSilver);
  DrawGlobe(p, QPointF(60, 62), 34);
  DrawArrow(p, QRectF(38, 104, 44, 46));
  DrawFolder(p, QRectF(22, 158, 77, 44));
  DrawSheet(p, QPointF(60, 172), 26, 0);
  return picture;
}

QFont BannerFont(int pixels, bool bold) {
  QFont font = QtDialogWindow::DialogFont();
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

}  // namespace

// A globe, the program's name and what it does, and four connections
// filling their shares of one file, on the choice picture's navy and teal.
QPixmap DefaultBanner() {
  QPixmap banner(468, 60);
  QPainter p(&banner);
  QLinearGradient band(0, 0, 468, 0);
  band.setColorAt(0, kNavy);
  band.setColorAt(1, kTeal);
  p.fillRect(banner.rect(), band);
  p.setRenderHint(QPainter::Antialiasing, true);
  DrawGlobe(p, QPointF(32, 30), 21);
  p.setPen(kWhite);
  p.setFont(BannerFont(22, true));
  p.drawText(QRect(64, 4, 260, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Kestrion"));
  p.setFont(BannerFont(12, false));
  p.drawText(QRect(64, 32, 290, 22), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("One file, four connections, no restarts."));
  const double filled[] = {1.0, 0.7, 0.85, 0.55};
  for (int n = 0; n < 4; ++n) {
    const QRectF share(360 + n * 26, 10, 18, 40);
    p.setPen(QPen(kSilver, 1));
    p.setBrush(kNavy);
    p.drawRect(share);
    const double height = share.height() * filled[n];
    p.fillRect(QRectF(share.left() + 1, share.bottom() - height + 1, share.width() - 1, height - 1), kYellow);
  }
  return banner;
}

QPixmap Picture(int resource) { return resource == kChoicePicture ? ChoicePicture() : QPixmap(); }

// A sheet of paper flies in an arc from a globe on the left into a folder on
// the right, once per cycle of frames.
void PaintAnimationFrame(int resource, int frame, QPainter& p, const QRect& area) {
  if (resource != kDownloadAnimation || area.isEmpty()) return;
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  const double h = area.height();
  const double radius = h * 0.36;
  const QPointF from(area.left() + radius + h * 0.1, area.top() + h * 0.55);
  const QRectF folder(area.right() - h * 1.05, area.top() + h * 0.3, h * 0.95, h * 0.6);
  const QPointF to(folder.center().x(), folder.top() + folder.height() * 0.2);
  DrawGlobe(p, from, radius);
  DrawFolder(p, folder);
  const double t = static_cast<double>(frame % kAnimationFrames) / (kAnimationFrames - 1);
  const QPointF flight(from.x() + (to.x() - from.x()) * t, from.y() + (to.y() - from.y()) * t - std::sin(t * M_PI) * h * 0.45);
  DrawSheet(p, flight, h * 0.32, -25 + 50 * t);
  p.restore();
}

}  // namespace qt_pictures

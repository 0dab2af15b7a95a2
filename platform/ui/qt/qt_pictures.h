#pragma once

#include <QPixmap>
#include <QRect>

class QPainter;

// The program's own pictures, drawn here rather than shipped: the picture
// of the download choice dialog, the animation of the progress window and
// the banner it shows while it has none of the banner updater's.
namespace qt_pictures {

constexpr int kChoicePicture = 201;
constexpr int kDownloadAnimation = 256;
constexpr int kAnimationFrames = 16;
constexpr int kAnimationFrameMs = 90;

// A picture resource, or a null pixmap for a number the program lacks.
QPixmap Picture(int resource);
// 468 x 60, the banner's size in the progress window.
QPixmap DefaultBanner();
// Draws one frame of an animation resource into the rectangle; nothing for
// a number the program lacks.
void PaintAnimationFrame(int resource, int frame, QPainter& painter, const QRect& area);

}  // namespace qt_pictures

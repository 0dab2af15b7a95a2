#pragma once

#include <QPixmap>
#include <QRect>

class QPainter;

// The program's own pictures, drawn here rather than shipped: the picture
// of the download choice dialog and the animation of the progress window.
namespace qt_pictures {

constexpr int kChoicePicture = 201;
constexpr int kDownloadAnimation = 256;
constexpr int kAnimationFrames = 16;
constexpr int kAnimationFrameMs = 90;

// A picture resource, or a null pixmap for a number the program lacks.
QPixmap Picture(int resource);
// Draws one frame of an animation resource into the rectangle; nothing for
// a number the program lacks.
void PaintAnimationFrame(int resource, int frame, QPainter& painter, const QRect& area);

}  // namespace qt_pictures

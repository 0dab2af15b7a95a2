#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include "platform/ui/window_state.h"

class QMovie;

// The controls of the qt backend's dialogs that Qt has no widget for. Each
// is told its whole state with Apply and reports what a person does through
// the window's input handler. Main thread only.

// A static: plain text (never markup) aligned by its style, or a black
// frame. A static one line high keeps its text on that line, narrowed to
// fit its width. With SS_NOTIFY it reports mouse moves and clicks, and holds every
// mouse move for itself while its state says it has captured the mouse.
class QtStaticControl : public QLabel {
 public:
  QtStaticControl(QWidget* parent, int id, ViewInputHandler onInput);
  void Apply(const DialogControl& control);

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Report(ViewInput::Kind kind, QPoint point);
  void SetFittedText(const QString& text, QFont font, unsigned style);

  int m_id;
  ViewInputHandler m_onInput;
  bool m_notify = false;
  bool m_grabbing = false;
};

// One of the program's animations, played while its state says so.
class QtAnimationControl : public QWidget {
 public:
  explicit QtAnimationControl(QWidget* parent);
  void Apply(const DialogControl& control);
  int Frame() const { return m_frame; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer m_timer;
  int m_resource = 0;
  int m_frame = 0;
};

// The banner: a picture file, an animated GIF played while its state says
// so, or a still PNG or JPEG; centred at its own size or stretched. Until
// it has a picture it can show, it shows the program's own. A click is its
// Click event.
class QtBannerControl : public QLabel {
 public:
  QtBannerControl(QWidget* parent, int id, ViewInputHandler onInput);
  void Apply(const DialogControl& control);
  bool IsAnimated() const { return m_movie != nullptr; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Load(const std::string& path);

  int m_id;
  ViewInputHandler m_onInput;
  std::string m_picture;
  QMovie* m_movie = nullptr;
};

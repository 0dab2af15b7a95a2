#pragma once

// For tests that drive the qt backend from the main thread.

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <functional>

// Runs Qt's loop on this (the main) thread until done() or the limit.
inline bool PumpQtUntil(const std::function<bool()>& done, int limitMs = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > limitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// The first visible top-level window of the type, or null.
template <typename Widget>
Widget* ShownWindow() {
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* widget = dynamic_cast<Widget*>(top); widget && widget->isVisible()) return widget;
  return nullptr;
}

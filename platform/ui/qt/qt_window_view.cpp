#include "platform/ui/qt/qt_window_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <mutex>
#include <optional>

#include "platform/ui/qt/qt_dialog_window.h"

void PostToQtThread(std::function<void()> work) {
  QMetaObject::invokeMethod(qApp, std::move(work), Qt::QueuedConnection);
}

bool OnQtThread() { return QThread::currentThread() == qApp->thread(); }

struct QtWindowView::Channel {
  std::mutex lock;
  std::optional<WindowState> pending;  // under the lock
  bool drawScheduled = false;          // under the lock
  // The rest on the main thread only.
  ViewInputHandler onInput;
  std::unique_ptr<QtDialogWindow> window;
  QElapsedTimer sinceDraw;

  static void ScheduleDraw(const std::shared_ptr<Channel>& channel) {
    const qint64 elapsed = channel->sinceDraw.isValid() ? channel->sinceDraw.elapsed() : kMinimumDrawIntervalMs;
    const int wait = static_cast<int>(std::max<qint64>(0, kMinimumDrawIntervalMs - elapsed));
    QTimer::singleShot(wait, qApp, [channel] { channel->Draw(); });
  }

  void Draw() {
    std::optional<WindowState> state;
    {
      std::lock_guard guard(lock);
      drawScheduled = false;
      state.swap(pending);
    }
    if (!state) return;
    constexpr Qt::WindowFlags kFrame = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                       Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                       Qt::WindowCloseButtonHint;
    if (window)
      window->Apply(*state);
    else
      window = std::make_unique<QtDialogWindow>(*state, onInput, kFrame);
    sinceDraw.start();
  }
};

QtWindowView::QtWindowView(ViewInputHandler onInput) : m_channel(std::make_shared<Channel>()) {
  m_channel->onInput = std::move(onInput);
}

QtWindowView::~QtWindowView() { Close(); }

void QtWindowView::Update(const WindowState& state) {
  if (m_closed) return;
  std::lock_guard guard(m_channel->lock);
  if (m_channel->pending)
    *m_channel->pending = state;
  else
    m_channel->pending = state;
  if (m_channel->drawScheduled) return;
  m_channel->drawScheduled = true;
  PostToQtThread([channel = m_channel] { Channel::ScheduleDraw(channel); });
}

void QtWindowView::Close() {
  if (m_closed) return;
  m_closed = true;
  PostToQtThread([channel = m_channel] {
    channel->Draw();
    channel->window.reset();
  });
}

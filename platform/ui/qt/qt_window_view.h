#pragma once

#include <functional>
#include <memory>

#include "platform/ui/window_state.h"

// Runs work on the thread that runs Qt's loop, in the order posted. Any
// thread; from that thread itself too (the work then waits its turn).
void PostToQtThread(std::function<void()> work);
bool OnQtThread();

// The owning thread's side of a window shown by the qt backend. Its states
// reach the main thread through a slot that keeps only the newest, which is
// drawn there at most once every kMinimumDrawInterval, however often it
// changes: the last state always wins, and Close draws it before the window
// goes.
class QtWindowView : public IWindowView {
 public:
  static constexpr int kMinimumDrawIntervalMs = 33;

  explicit QtWindowView(ViewInputHandler onInput);
  ~QtWindowView() override;
  void Update(const WindowState& state) override;
  void Close() override;

 private:
  struct Channel;
  std::shared_ptr<Channel> m_channel;
  bool m_closed = false;
};

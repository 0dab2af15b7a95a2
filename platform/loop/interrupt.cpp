#include "platform/loop/interrupt.h"

#include <pthread.h>
#include <signal.h>

#include <mutex>
#include <thread>

namespace {

std::mutex g_handlerMutex;
std::function<void(int)> g_handler;
bool g_listenerStarted = false;

sigset_t InterruptSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  return signals;
}

void ListenForInterrupts() {
  const sigset_t signals = InterruptSignals();
  for (;;) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) {
      continue;
    }
    std::function<void(int)> handler;
    {
      std::lock_guard<std::mutex> lock(g_handlerMutex);
      handler = g_handler;
    }
    if (handler) {
      handler(signal);
    }
  }
}

}  // namespace

void SetInterruptHandler(std::function<void(int)> handler) {
  // Blocked here, the signals stay blocked in every thread started later, so
  // only the listener's sigwait ever takes them.
  const sigset_t signals = InterruptSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  // An output whose reader has gone (a pager quit early) fails the writes
  // to it; it does not end the program with its work half done.
  signal(SIGPIPE, SIG_IGN);
  std::lock_guard<std::mutex> lock(g_handlerMutex);
  g_handler = std::move(handler);
  if (!g_listenerStarted) {
    g_listenerStarted = true;
    std::thread(ListenForInterrupts).detach();
  }
}

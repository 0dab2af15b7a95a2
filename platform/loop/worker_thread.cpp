#include "platform/loop/worker_thread.h"

#include <memory>
#include <system_error>
#include <thread>

#include "platform/loop/event_loop.h"
#include "platform/loop/thread_registry.h"

WorkerThread::WorkerThread() = default;

WorkerThread::~WorkerThread() = default;

bool WorkerThread::CreateThread() {
  // The loop exists before the thread does, so messages posted as soon as
  // this returns are queued rather than lost.
  std::unique_ptr<EventLoop> loop(new EventLoop());
  m_nThreadID = loop->Id();
  EventLoop* const raw = loop.get();
  try {
    std::thread([this, raw] {
      EventLoop::AdoptForThisThread(std::unique_ptr<EventLoop>(raw));
      EventLoop& threadLoop = EventLoop::ForThisThread();
      threadLoop.SetMessageHandler([this](const ThreadMessage& message) { OnThreadMessage(message); });
      if (InitInstance()) {
        threadLoop.Run();
      }
      ExitInstance();
      threadLoop.SetMessageHandler(nullptr);
      // Read before the id goes: an owner that keeps the object may destroy
      // it as soon as posts to the thread fail.
      const bool autoDelete = m_bAutoDelete;
      thread_registry::Unregister(threadLoop.Id());
      if (autoDelete) {
        delete this;
      }
      // Last, so that sockets closed by the destructor can still unwatch.
      EventLoop::ReleaseThisThread();
    }).detach();
  } catch (const std::system_error&) {
    m_nThreadID = 0;
    return false;
  }
  loop.release();
  return true;
}

bool WorkerThread::PostThreadMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  return ::PostThreadMessage(m_nThreadID, message, wParam, lParam);
}

#pragma once

#include "platform/loop/thread_message.h"

class EventLoop;

// A thread object with its own message loop: InitInstance, the loop until
// WM_QUIT, ExitInstance, then (with m_bAutoDelete) the object deletes itself
// on its own thread. A failed InitInstance skips the loop.
class WorkerThread {
 public:
  WorkerThread();
  virtual ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts the thread at once. Messages may be posted as soon as it returns
  // true; they are delivered once the loop runs.
  bool CreateThread();

  // Runs on the new thread.
  virtual bool InitInstance() { return true; }
  virtual int ExitInstance() { return 0; }
  virtual void OnThreadMessage(const ThreadMessage&) {}

  bool PostThreadMessage(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0);
  ThreadId ThreadIdentifier() const { return m_nThreadID; }

  bool m_bAutoDelete = true;

 protected:
  ThreadId m_nThreadID = 0;
};

#include "platform/ui/ui.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/loop/event.h"
#include "platform/loop/event_loop.h"
#include "platform/loop/thread_message.h"
#include "platform/ui/qt_plugin.h"
#include "platform/ui/ui_console_backend.h"
#include "platform/ui/ui_script_backend.h"

namespace {

std::mutex g_backendLock;
std::unique_ptr<UIBackend> g_backend;

std::string EnvOrEmpty(const char* name) {
  const char* value = getenv(name);
  return value ? value : "";
}

bool DisplayIsSet() { return !EnvOrEmpty("DISPLAY").empty() || !EnvOrEmpty("WAYLAND_DISPLAY").empty(); }

std::unique_ptr<UIBackend> BackendFromEnvironment() {
  const std::string name = EnvOrEmpty("KESTRION_UI");
  if (name == "script") return UIScriptBackend::FromEnvironment();
  if (name == "qt" || (name.empty() && QtPluginBuilt() && DisplayIsSet())) {
    std::string failure;
    if (std::unique_ptr<UIBackend> qt = LoadQtBackend(&failure)) return qt;
    fprintf(stderr, "kestrion: no window could be shown (%s); using the console\n", failure.c_str());
  }
  return std::make_unique<UIConsoleBackend>();
}

// An answer that the asking thread waits for; the backend may give it on any
// thread, before or after the wait begins.
template <typename T>
class PendingAnswer {
 public:
  void Give(T value) {
    std::lock_guard guard(m_lock);
    m_value = std::move(value);
    m_given = true;
    // Wakes a waiting pump; the message itself carries nothing. No waiter
    // yet means Wait will find the answer before it pumps.
    if (m_waiting && std::this_thread::get_id() != m_waiterThread) PostThreadMessage(m_waiter, WM_UI_ANSWERED);
  }

  // Pumps the calling thread's loop until the answer is there. False when
  // the thread was told to quit first. A thread answered at once never
  // touches its loop.
  bool Wait() {
    {
      std::lock_guard guard(m_lock);
      if (m_given) return true;
      m_waiter = GetCurrentThreadId();
      m_waiterThread = std::this_thread::get_id();
      m_waiting = true;
    }
    return EventLoop::ForThisThread().PumpUntil([this] {
      std::lock_guard guard(m_lock);
      return m_given;
    });
  }

  T Value() {
    std::lock_guard guard(m_lock);
    return m_value;
  }

 private:
  std::mutex m_lock;
  bool m_given = false;
  bool m_waiting = false;
  ThreadId m_waiter = 0;
  std::thread::id m_waiterThread;
  T m_value{};
};

int DefaultButton(unsigned type) { return (type & 0x0F) == MB_YESNO ? IDYES : IDOK; }

// False when the thread was told to quit first: its question, still on the
// screen of a backend that shows it elsewhere, is taken away.
template <typename T>
bool Await(PendingAnswer<T>& answer) {
  if (answer.Wait()) return true;
  CurrentUIBackend().WithdrawQuestions();
  return false;
}

}  // namespace

UIBackend& CurrentUIBackend() {
  std::lock_guard guard(g_backendLock);
  if (!g_backend) g_backend = BackendFromEnvironment();
  return *g_backend;
}

std::unique_ptr<UIBackend> SetUIBackend(std::unique_ptr<UIBackend> backend) {
  std::lock_guard guard(g_backendLock);
  std::swap(g_backend, backend);
  return backend;
}

int AfxMessageBox(const std::string& text, unsigned type) {
  auto answer = std::make_shared<PendingAnswer<int>>();
  CurrentUIBackend().AskMessage(text, type, [answer](int button) { answer->Give(button); });
  // A thread told to quit while the box is up leaves it as if nobody had
  // answered; the quit stays pending for its loop.
  if (!Await(*answer)) return DefaultButton(type);
  return answer->Value();
}

std::optional<std::string> PromptSaveFile(const std::string& initialPath) {
  auto answer = std::make_shared<PendingAnswer<std::optional<std::string>>>();
  CurrentUIBackend().AskSaveFile(initialPath,
                                 [answer](std::optional<std::string> path) { answer->Give(std::move(path)); });
  if (!Await(*answer)) return std::nullopt;
  return answer->Value();
}

int ShowDownloadChoice(const std::string& text) {
  auto answer = std::make_shared<PendingAnswer<int>>();
  CurrentUIBackend().AskDownloadChoice(text, [answer](int button) { answer->Give(button); });
  if (!Await(*answer)) return IDCANCEL;
  return answer->Value();
}

void MessageBeep() { CurrentUIBackend().Beep(); }

// A thread choosing the backend may be waiting for a display that does not
// answer; the program ends without it.
void EndUI() {
  std::unique_lock guard(g_backendLock, std::try_to_lock);
  if (guard.owns_lock() && g_backend) g_backend->End();
}

void WaitShowingWindows(Event& done) {
  UIBackend& backend = CurrentUIBackend();
  if (!backend.HasMainLoop()) {
    WaitForSingleObject(done, INFINITE);
    return;
  }
  std::thread watcher([&] {
    done.Wait();
    backend.QuitMainLoop();
  });
  backend.RunMainLoop();
  watcher.join();
}

#include "platform/loop/event_loop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <deque>
#include <mutex>
#include <optional>
#include <system_error>
#include <unordered_map>

#include "platform/loop/thread_registry.h"
#include "platform/loop/timer_queue.h"

namespace {

// The wake descriptor's epoll tag; watches are tagged from 1 up.
constexpr uint64_t kWakeSerial = 0;
constexpr int kMaxEventsPerWait = 64;

thread_local std::unique_ptr<EventLoop> t_threadLoop;

uint32_t ToEpollEvents(uint32_t interest) {
  uint32_t events = 0;
  if (interest & EventLoop::kReadable) {
    events |= EPOLLIN | EPOLLRDHUP;
  }
  if (interest & EventLoop::kWritable) {
    events |= EPOLLOUT;
  }
  return events;
}

uint32_t ToReadyMask(uint32_t events) {
  uint32_t ready = 0;
  if (events & (EPOLLIN | EPOLLPRI | EPOLLRDHUP)) {
    ready |= EventLoop::kReadable;
  }
  if (events & EPOLLOUT) {
    ready |= EventLoop::kWritable;
  }
  if (events & EPOLLERR) {
    ready |= EventLoop::kError;
  }
  if (events & EPOLLHUP) {
    ready |= EventLoop::kHangUp;
  }
  return ready;
}

// Rounded up, so a wait never ends just before a timer is due.
int CeilMilliseconds(std::chrono::steady_clock::duration duration) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(duration).count();
  return static_cast<int>(std::clamp<long long>(ms, 0, INT_MAX));
}

}  // namespace

struct EventLoop::Impl {
  using Clock = std::chrono::steady_clock;
  using StopCheck = std::function<bool()>;

  struct WatchEntry {
    int fd;
    uint32_t interest;
    FdCallback callback;
  };

  Impl();
  ~Impl();

  bool Pump(const std::function<bool()>& done, std::optional<Clock::time_point> deadline);
  void DrainMessages(const StopCheck& stop);
  void WaitAndDispatch(int timeoutMs, const StopCheck& stop);
  int WaitTimeout(std::optional<Clock::time_point> deadline);
  bool HasQueuedMessages();
  void SetEpoll(int fd, uint64_t serial, uint32_t interest, bool existing);

  int epollFd = -1;
  int wakeFd = -1;

  std::mutex queueMutex;
  std::deque<ThreadMessage> queue;
  std::atomic<bool> wakePending{false};
  std::function<void(const ThreadMessage&)> handler;

  // Looked up by serial at dispatch, so a descriptor number reused by a new
  // watch is never taken for the old one.
  std::unordered_map<uint64_t, std::shared_ptr<WatchEntry>> watchesBySerial;
  std::unordered_map<int, uint64_t> serialByFd;
  uint64_t nextSerial = kWakeSerial + 1;

  TimerQueue timers;
  bool quitPending = false;
  int quitCode = 0;
  int runDepth = 0;
};

EventLoop::Impl::Impl() {
  epollFd = epoll_create1(EPOLL_CLOEXEC);
  wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (epollFd < 0 || wakeFd < 0) {
    throw std::system_error(errno, std::generic_category(), "event loop");
  }
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = kWakeSerial;
  epoll_ctl(epollFd, EPOLL_CTL_ADD, wakeFd, &event);
}

EventLoop::Impl::~Impl() {
  close(wakeFd);
  close(epollFd);
}

bool EventLoop::Impl::Pump(const std::function<bool()>& done, std::optional<Clock::time_point> deadline) {
  const StopCheck stop = [&] { return quitPending || done(); };
  for (;;) {
    if (done()) {
      return true;
    }
    if (quitPending || (deadline && Clock::now() >= *deadline)) {
      return false;
    }
    timers.RunDue();
    if (stop()) {
      continue;
    }
    DrainMessages(stop);
    if (stop()) {
      continue;
    }
    WaitAndDispatch(WaitTimeout(deadline), stop);
  }
}

void EventLoop::Impl::DrainMessages(const StopCheck& stop) {
  if (wakePending.exchange(false)) {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t ignored = read(wakeFd, &count, sizeof count);
  }
  // Only what is queued now: a handler that keeps posting to its own thread
  // must not starve the descriptors.
  size_t budget = 0;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    budget = queue.size();
  }
  for (; budget > 0; --budget) {
    ThreadMessage message;
    {
      std::lock_guard<std::mutex> lock(queueMutex);
      if (queue.empty()) {
        return;
      }
      message = queue.front();
      queue.pop_front();
    }
    if (message.message == WM_QUIT) {
      quitPending = true;
      quitCode = static_cast<int>(message.wParam);
      return;
    }
    if (message.message != WM_NULL && handler) {
      const auto current = handler;
      current(message);
    }
    if (stop()) {
      return;
    }
  }
}

void EventLoop::Impl::WaitAndDispatch(int timeoutMs, const StopCheck& stop) {
  epoll_event events[kMaxEventsPerWait];
  const int count = epoll_wait(epollFd, events, kMaxEventsPerWait, timeoutMs);
  for (int i = 0; i < count; ++i) {
    const uint64_t serial = events[i].data.u64;
    if (serial == kWakeSerial) {
      continue;
    }
    // Afresh for each event: an earlier callback may have removed this watch.
    const auto found = watchesBySerial.find(serial);
    if (found == watchesBySerial.end()) {
      continue;
    }
    const std::shared_ptr<WatchEntry> entry = found->second;
    entry->callback(ToReadyMask(events[i].events));
    if (stop()) {
      return;
    }
  }
}

int EventLoop::Impl::WaitTimeout(std::optional<Clock::time_point> deadline) {
  if (HasQueuedMessages()) {
    return 0;
  }
  std::optional<Clock::duration> wait = timers.TimeToNext();
  if (deadline) {
    const auto untilDeadline = *deadline - Clock::now();
    wait = wait ? std::min(*wait, untilDeadline) : untilDeadline;
  }
  return wait ? CeilMilliseconds(*wait) : -1;
}

bool EventLoop::Impl::HasQueuedMessages() {
  std::lock_guard<std::mutex> lock(queueMutex);
  return !queue.empty();
}

void EventLoop::Impl::SetEpoll(int fd, uint64_t serial, uint32_t interest, bool existing) {
  epoll_event event{};
  event.events = ToEpollEvents(interest);
  event.data.u64 = serial;
  // A descriptor closed without Unwatch has already left the epoll set, so a
  // modify may find nothing and must become an add.
  if (existing && epoll_ctl(epollFd, EPOLL_CTL_MOD, fd, &event) == 0) {
    return;
  }
  if (epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &event) != 0 && errno == EEXIST) {
    epoll_ctl(epollFd, EPOLL_CTL_MOD, fd, &event);
  }
}

EventLoop::EventLoop() : m_impl(std::make_unique<Impl>()), m_id(thread_registry::Register(this)) {}

EventLoop::~EventLoop() { thread_registry::Unregister(m_id); }

EventLoop& EventLoop::ForThisThread() {
  if (!t_threadLoop) {
    t_threadLoop.reset(new EventLoop());
  }
  return *t_threadLoop;
}

void EventLoop::AdoptForThisThread(std::unique_ptr<EventLoop> loop) { t_threadLoop = std::move(loop); }

void EventLoop::ReleaseThisThread() { t_threadLoop.reset(); }

void EventLoop::Post(const ThreadMessage& message) {
  {
    std::lock_guard<std::mutex> lock(m_impl->queueMutex);
    m_impl->queue.push_back(message);
  }
  if (!m_impl->wakePending.exchange(true)) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = write(m_impl->wakeFd, &one, sizeof one);
  }
}

void EventLoop::SetMessageHandler(std::function<void(const ThreadMessage&)> handler) {
  m_impl->handler = std::move(handler);
}

void EventLoop::Watch(int fd, uint32_t interest, FdCallback callback) {
  const auto previous = m_impl->serialByFd.find(fd);
  const bool existing = previous != m_impl->serialByFd.end();
  if (existing) {
    m_impl->watchesBySerial.erase(previous->second);
  }
  const uint64_t serial = m_impl->nextSerial++;
  m_impl->serialByFd[fd] = serial;
  m_impl->watchesBySerial[serial] = std::make_shared<Impl::WatchEntry>(Impl::WatchEntry{fd, interest, std::move(callback)});
  m_impl->SetEpoll(fd, serial, interest, existing);
}

void EventLoop::ChangeInterest(int fd, uint32_t interest) {
  const auto found = m_impl->serialByFd.find(fd);
  if (found == m_impl->serialByFd.end()) {
    return;
  }
  auto& entry = m_impl->watchesBySerial[found->second];
  if (entry->interest == interest) {
    return;
  }
  entry->interest = interest;
  m_impl->SetEpoll(fd, found->second, interest, true);
}

void EventLoop::Unwatch(int fd) {
  const auto found = m_impl->serialByFd.find(fd);
  if (found == m_impl->serialByFd.end()) {
    return;
  }
  m_impl->watchesBySerial.erase(found->second);
  m_impl->serialByFd.erase(found);
  epoll_ctl(m_impl->epollFd, EPOLL_CTL_DEL, fd, nullptr);
}

EventLoop::TimerId EventLoop::AddTimer(std::chrono::milliseconds delay, std::function<void()> callback, bool repeat) {
  return m_impl->timers.Add(delay, std::move(callback), repeat);
}

void EventLoop::CancelTimer(TimerId id) { m_impl->timers.Cancel(id); }

int EventLoop::Run() {
  ++m_impl->runDepth;
  m_impl->Pump([] { return false; }, std::nullopt);
  --m_impl->runDepth;
  const int code = m_impl->quitCode;
  if (m_impl->runDepth == 0) {
    m_impl->quitPending = false;
    m_impl->quitCode = 0;
  }
  return code;
}

bool EventLoop::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  std::optional<Impl::Clock::time_point> deadline;
  if (timeout > std::chrono::milliseconds::zero()) {
    deadline = Impl::Clock::now() + timeout;
  }
  return m_impl->Pump(done, deadline);
}

bool EventLoop::QuitPending() const { return m_impl->quitPending; }

bool EventLoop::QuitPosted() const {
  if (m_impl->quitPending) {
    return true;
  }
  std::lock_guard<std::mutex> lock(m_impl->queueMutex);
  for (const ThreadMessage& message : m_impl->queue) {
    if (message.message == WM_QUIT) {
      return true;
    }
  }
  return false;
}

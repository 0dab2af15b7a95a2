#include "platform/net/host_resolver.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <mutex>
#include <thread>

#include "platform/loop/event_loop.h"

// What the lookup thread hands over: the answer, and an eventfd that wakes
// the asking loop once it is there.
struct HostResolver::Lookup {
  Lookup() : wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~Lookup() {
    if (wakeFd >= 0) close(wakeFd);
  }
  std::mutex mutex;
  int error = 0;
  std::vector<SocketAddress> addresses;
  const int wakeFd;
  EventLoop& loop = EventLoop::ForThisThread();
};

HostResolver::HostResolver(const std::string& host, unsigned port, Done done)
    : m_lookup(std::make_shared<Lookup>()), m_done(std::move(done)) {
  m_lookup->loop.Watch(m_lookup->wakeFd, EventLoop::kReadable, [this](uint32_t) { Deliver(); });
  m_bWatched = true;
  // Detached: a lookup the system takes long over must not hold up the end
  // of this object, nor of the process.
  std::thread([lookup = m_lookup, host, port] {
    std::vector<SocketAddress> addresses;
    const int error = ResolveAddresses(host, port, addresses);
    {
      std::lock_guard<std::mutex> guard(lookup->mutex);
      lookup->error = error;
      lookup->addresses = std::move(addresses);
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = write(lookup->wakeFd, &one, sizeof one);
  }).detach();
}

HostResolver::~HostResolver() { Cancel(); }

void HostResolver::Cancel() {
  if (!m_bWatched) return;
  m_bWatched = false;
  m_lookup->loop.Unwatch(m_lookup->wakeFd);
}

// `done` may destroy this object: nothing of it is touched afterwards.
void HostResolver::Deliver() {
  Cancel();
  int error = 0;
  std::vector<SocketAddress> addresses;
  {
    std::lock_guard<std::mutex> guard(m_lookup->mutex);
    error = m_lookup->error;
    addresses = std::move(m_lookup->addresses);
  }
  const Done done = m_done;
  done(error, std::move(addresses));
}

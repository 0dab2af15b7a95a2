#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/loop/event.h"
#include "platform/loop/event_loop.h"
#include "platform/base/failure.h"
#include "platform/loop/interrupt.h"
#include "platform/loop/timer.h"
#include "platform/loop/worker_thread.h"

using namespace std::chrono_literals;

namespace {

constexpr unsigned WM_TEST = WM_USER + 1;

// Each test gets a thread of its own, and with it a fresh loop.
void OnFreshThread(const std::function<void()>& body) { std::thread(body).join(); }

// Ends a Run that would otherwise wait forever; fails the test when it fires.
EventLoop::TimerId AddWatchdog(EventLoop& loop) {
  const ThreadId id = loop.Id();
  return loop.AddTimer(10s, [id] {
    ADD_FAILURE() << "watchdog fired";
    PostThreadMessage(id, WM_QUIT, 99);
  }, false);
}

TEST(EventLoop, MessagesFromAnotherThreadArriveInOrderAndQuitCodeIsReturned) {
  OnFreshThread([] {
    EventLoop& loop = EventLoop::ForThisThread();
    std::vector<uintptr_t> received;
    loop.SetMessageHandler([&](const ThreadMessage& message) {
      EXPECT_EQ(message.message, WM_TEST);
      received.push_back(message.wParam);
    });
    AddWatchdog(loop);
    const ThreadId id = GetCurrentThreadId();
    EXPECT_EQ(id, loop.Id());
    std::thread poster([id] {
      for (uintptr_t i = 0; i < 2000; ++i) {
        EXPECT_TRUE(PostThreadMessage(id, WM_TEST, i, -static_cast<intptr_t>(i)));
      }
      PostThreadMessage(id, WM_QUIT, 7);
    });
    EXPECT_EQ(loop.Run(), 7);
    poster.join();
    ASSERT_EQ(received.size(), 2000u);
    for (uintptr_t i = 0; i < received.size(); ++i) {
      ASSERT_EQ(received[i], i);
    }
    EXPECT_FALSE(loop.QuitPending());
  });
}

TEST(EventLoop, MessagesPostedBeforeRunAreDeliveredAndWakeMessageIsSwallowed) {
  OnFreshThread([] {
    EventLoop& loop = EventLoop::ForThisThread();
    std::vector<unsigned> seen;
    loop.SetMessageHandler([&](const ThreadMessage& message) { seen.push_back(message.message); });
    PostThreadMessage(loop.Id(), WM_TEST);
    PostThreadMessage(loop.Id(), WM_NULL);
    PostThreadMessage(loop.Id(), WM_TEST + 1);
    PostThreadMessage(loop.Id(), WM_QUIT);
    PostThreadMessage(loop.Id(), WM_TEST + 2);
    AddWatchdog(loop);
    loop.Run();
    EXPECT_EQ(seen, (std::vector<unsigned>{WM_TEST, WM_TEST + 1}));
    // What came after the quit stays queued for the next run.
    PostThreadMessage(loop.Id(), WM_QUIT);
    loop.Run();
    EXPECT_EQ(seen.back(), WM_TEST + 2);
  });
}

// Seen in the queue before any pump takes it, and after a nested pump met it.
TEST(EventLoop, AQuitIsSeenAsPostedWithoutPumping) {
  OnFreshThread([] {
    EventLoop& loop = EventLoop::ForThisThread();
    PostThreadMessage(loop.Id(), WM_TEST);
    EXPECT_FALSE(loop.QuitPosted());
    PostThreadMessage(loop.Id(), WM_QUIT);
    EXPECT_TRUE(loop.QuitPosted());
    EXPECT_FALSE(loop.QuitPending());
    EXPECT_FALSE(loop.PumpUntil([] { return false; }));
    EXPECT_TRUE(loop.QuitPosted());
    loop.Run();
    EXPECT_FALSE(loop.QuitPosted());
  });
}

TEST(EventLoop, PostingToAnUnknownOrEndedThreadFails) {
  EXPECT_FALSE(PostThreadMessage(0, WM_TEST));
  ThreadId ended = 0;
  OnFreshThread([&] { ended = GetCurrentThreadId(); });
  EXPECT_NE(ended, 0u);
  EXPECT_FALSE(PostThreadMessage(ended, WM_TEST));
}

TEST(EventLoop, TimersOneShotRepeatingCancelledAndSelfCancelling) {
  OnFreshThread([] {
    EventLoop& loop = EventLoop::ForThisThread();
    int oneShot = 0;
    int repeating = 0;
    int cancelled = 0;
    int selfCancelling = 0;
    std::vector<int> order;
    loop.AddTimer(20ms, [&] { ++oneShot; }, false);
    const auto repeatId = loop.AddTimer(5ms, [&] { ++repeating; }, true);
    const auto cancelledId = loop.AddTimer(10ms, [&] { ++cancelled; }, false);
    loop.CancelTimer(cancelledId);
    EventLoop::TimerId selfId = 0;
    selfId = loop.AddTimer(2ms, [&] {
      if (++selfCancelling == 3) {
        loop.CancelTimer(selfId);
      }
    }, true);
    loop.AddTimer(30ms, [&] { order.push_back(2); }, false);
    loop.AddTimer(25ms, [&] { order.push_back(1); }, false);
    loop.AddTimer(150ms, [&] { PostThreadMessage(loop.Id(), WM_QUIT); }, false);
    AddWatchdog(loop);
    loop.Run();
    loop.CancelTimer(repeatId);
    EXPECT_EQ(oneShot, 1);
    EXPECT_GE(repeating, 5);
    EXPECT_EQ(cancelled, 0);
    EXPECT_EQ(selfCancelling, 3);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
  });
}

TEST(Timer, OneShotBecomesInactiveAndMayBeDestroyedInsideItsCallback) {
  OnFreshThread([] {
    EventLoop& loop = EventLoop::ForThisThread();
    int shots = 0;
    Timer once([&] { ++shots; });
    once.Start(5ms, false);
    EXPECT_TRUE(once.IsActive());
    EXPECT_TRUE(loop.PumpUntil([&] { return shots == 1; }, 2s));
    EXPECT_FALSE(once.IsActive());

    // A repeating timer whose callback deletes it fires once and no more.
    int doomedShots = 0;
    Timer* selfDeleting = nullptr;
    selfDeleting = new Timer([&] {
      ++doomedShots;
      delete selfDeleting;
      selfDeleting = nullptr;
    });
    selfDeleting->Start(1ms, true);
    EXPECT_TRUE(loop.PumpUntil([&] { return doomedShots == 1; }, 2s));
    EXPECT_FALSE(loop.PumpUntil([&] { return doomedShots > 1; }, 30ms));

    Timer stopped([&] { ADD_FAILURE() << "a stopped timer fired"; });
    stopped.Start(5ms, false);
    stopped.Stop();
    EXPECT_FALSE(loop.PumpUntil([] { return false; }, 30ms));
  });
}

TEST(EventLoop, NestedPumpStillDeliversTimersAndMessages) {
  OnFreshThread([] {
    EventLoop& loop = EventLoop::ForThisThread();
    std::vector<uintptr_t> order;
    bool nestedResult = false;
    loop.SetMessageHandler([&](const ThreadMessage& message) {
      order.push_back(message.wParam);
      if (message.wParam == 1) {
        // Like a blocking connect: wait inside a handler for a timer.
        bool timerFired = false;
        loop.AddTimer(20ms, [&] { timerFired = true; }, false);
        nestedResult = loop.PumpUntil([&] { return timerFired; });
        order.push_back(100);
      }
    });
    for (uintptr_t i = 1; i <= 3; ++i) {
      PostThreadMessage(loop.Id(), WM_TEST, i);
    }
    loop.AddTimer(100ms, [&] { PostThreadMessage(loop.Id(), WM_QUIT); }, false);
    AddWatchdog(loop);
    loop.Run();
    EXPECT_TRUE(nestedResult);
    EXPECT_EQ(order, (std::vector<uintptr_t>{1, 2, 3, 100}));
  });
}

TEST(EventLoop, QuitDuringNestedPumpFailsItAndEndsTheOuterRun) {
  OnFreshThread([] {
    EventLoop& loop = EventLoop::ForThisThread();
    int nestedCalls = 0;
    bool nestedResult = true;
    bool quitSeenInside = false;
    bool secondPumpResult = true;
    int afterQuit = 0;
    loop.SetMessageHandler([&](const ThreadMessage& message) {
      if (message.wParam == 2) {
        ++afterQuit;
        return;
      }
      ++nestedCalls;
      nestedResult = loop.PumpUntil([] { return false; });
      quitSeenInside = loop.QuitPending();
      // Blocking calls made after the quit fail at once instead of waiting.
      secondPumpResult = loop.PumpUntil([] { return false; });
    });
    PostThreadMessage(loop.Id(), WM_TEST, 1);
    loop.AddTimer(10ms, [&] {
      PostThreadMessage(loop.Id(), WM_QUIT, 5);
      PostThreadMessage(loop.Id(), WM_TEST, 2);
    }, false);
    AddWatchdog(loop);
    EXPECT_EQ(loop.Run(), 5);
    EXPECT_EQ(nestedCalls, 1);
    EXPECT_FALSE(nestedResult);
    EXPECT_TRUE(quitSeenInside);
    EXPECT_FALSE(secondPumpResult);
    EXPECT_EQ(afterQuit, 0);
    EXPECT_FALSE(loop.QuitPending());
  });
}

TEST(EventLoop, PumpUntilTimesOutAndIsWokenFromAnotherThread) {
  OnFreshThread([] {
    EventLoop& loop = EventLoop::ForThisThread();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(loop.PumpUntil([] { return false; }, 50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 50ms);
    EXPECT_FALSE(loop.QuitPending());

    std::atomic<bool> flag{false};
    const ThreadId id = loop.Id();
    std::thread other([&] {
      std::this_thread::sleep_for(20ms);
      flag = true;
      PostThreadMessage(id, WM_NULL);
    });
    const auto waitStart = std::chrono::steady_clock::now();
    EXPECT_TRUE(loop.PumpUntil([&] { return flag.load(); }, 5s));
    EXPECT_LT(std::chrono::steady_clock::now() - waitStart, 2s);
    other.join();
  });
}

struct Pipe {
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() { CloseBoth(); }
  void CloseBoth() {
    for (int& fd : fds) {
      if (fd >= 0) {
        close(fd);
        fd = -1;
      }
    }
  }
  void MakeReadable() { EXPECT_EQ(write(fds[1], "x", 1), 1); }
  int fds[2] = {-1, -1};
};

TEST(EventLoop, DescriptorUnwatchedOrReusedDuringDispatchGetsNoStaleCall) {
  OnFreshThread([] {
    EventLoop& loop = EventLoop::ForThisThread();
    Pipe first;
    Pipe second;
    first.MakeReadable();
    second.MakeReadable();
    int calls = 0;
    int reusedCalls = 0;
    Pipe reused;
    reused.CloseBoth();
    // Whichever runs first closes the other, and a new pipe takes its
    // number: the old readiness must not reach the new watch.
    auto closeOther = [&](Pipe& other) {
      ++calls;
      const int number = other.fds[0];
      loop.Unwatch(number);
      other.CloseBoth();
      ASSERT_EQ(pipe(reused.fds), 0);
      if (reused.fds[0] == number) {
        loop.Watch(reused.fds[0], EventLoop::kReadable, [&](uint32_t) { ++reusedCalls; });
      }
    };
    loop.Watch(first.fds[0], EventLoop::kReadable, [&](uint32_t ready) {
      EXPECT_TRUE(ready & EventLoop::kReadable);
      loop.Unwatch(first.fds[0]);
      closeOther(second);
    });
    loop.Watch(second.fds[0], EventLoop::kReadable, [&](uint32_t) {
      loop.Unwatch(second.fds[0]);
      closeOther(first);
    });
    EXPECT_TRUE(loop.PumpUntil([&] { return calls > 0; }, 2s));
    EXPECT_FALSE(loop.PumpUntil([&] { return calls > 1 || reusedCalls > 0; }, 50ms));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(reusedCalls, 0);
    if (reused.fds[0] >= 0) {
      loop.Unwatch(reused.fds[0]);
    }
  });
}

TEST(EventLoop, InterestChangesTakeEffect) {
  OnFreshThread([] {
    EventLoop& loop = EventLoop::ForThisThread();
    Pipe channel;
    int readable = 0;
    int writable = 0;
    loop.Watch(channel.fds[1], 0, [&](uint32_t ready) {
      if (ready & EventLoop::kWritable) {
        ++writable;
        loop.ChangeInterest(channel.fds[1], 0);
      }
    });
    loop.Watch(channel.fds[0], EventLoop::kReadable, [&](uint32_t) { ++readable; });
    EXPECT_FALSE(loop.PumpUntil([&] { return writable + readable > 0; }, 30ms));
    loop.ChangeInterest(channel.fds[1], EventLoop::kWritable);
    EXPECT_TRUE(loop.PumpUntil([&] { return writable == 1; }, 2s));
    EXPECT_FALSE(loop.PumpUntil([&] { return writable > 1 || readable > 0; }, 30ms));
    loop.Unwatch(channel.fds[0]);
    loop.Unwatch(channel.fds[1]);
  });
}

class RecordingThread : public WorkerThread {
 public:
  RecordingThread(bool initResult, Event& exited, Event& destroyed, std::vector<unsigned>& messages)
      : m_initResult(initResult), m_exited(exited), m_destroyed(destroyed), m_messages(messages) {}
  ~RecordingThread() override { m_destroyed.Set(); }
  bool InitInstance() override { return m_initResult; }
  int ExitInstance() override {
    m_exited.Set();
    return 0;
  }
  void OnThreadMessage(const ThreadMessage& message) override { m_messages.push_back(message.message); }

 private:
  bool m_initResult;
  Event& m_exited;
  Event& m_destroyed;
  std::vector<unsigned>& m_messages;
};

TEST(WorkerThread, MessagesPostedRightAfterCreationArriveAndTheObjectDeletesItself) {
  Event exited(true);
  Event destroyed(true);
  std::vector<unsigned> messages;
  auto* thread = new RecordingThread(true, exited, destroyed, messages);
  ASSERT_TRUE(thread->CreateThread());
  const ThreadId id = thread->ThreadIdentifier();
  EXPECT_NE(id, 0u);
  EXPECT_TRUE(thread->PostThreadMessage(WM_TEST));
  EXPECT_TRUE(PostThreadMessage(id, WM_TEST + 1));
  EXPECT_TRUE(PostThreadMessage(id, WM_QUIT));
  ASSERT_TRUE(destroyed.Wait(5000));
  EXPECT_TRUE(exited.Wait(0));
  EXPECT_EQ(messages, (std::vector<unsigned>{WM_TEST, WM_TEST + 1}));
  EXPECT_FALSE(PostThreadMessage(id, WM_TEST));
}

TEST(WorkerThread, FailedInitInstanceSkipsTheLoopButRunsExitInstance) {
  Event exited(true);
  Event destroyed(true);
  std::vector<unsigned> messages;
  auto* thread = new RecordingThread(false, exited, destroyed, messages);
  ASSERT_TRUE(thread->CreateThread());
  thread = nullptr;
  ASSERT_TRUE(destroyed.Wait(5000));
  EXPECT_TRUE(exited.Wait(0));
  EXPECT_TRUE(messages.empty());
}

TEST(WorkerThread, WithoutAutoDeleteTheObjectOutlivesItsThread) {
  Event exited(true);
  Event destroyed(true);
  std::vector<unsigned> messages;
  {
    RecordingThread thread(true, exited, destroyed, messages);
    thread.m_bAutoDelete = false;
    ASSERT_TRUE(thread.CreateThread());
    EXPECT_TRUE(thread.PostThreadMessage(WM_QUIT));
    ASSERT_TRUE(exited.Wait(5000));
    // The id goes away once the thread has finished with the object.
    for (int i = 0; i < 500 && thread.PostThreadMessage(WM_NULL); ++i) {
      std::this_thread::sleep_for(2ms);
    }
    EXPECT_FALSE(thread.PostThreadMessage(WM_NULL));
    EXPECT_FALSE(destroyed.Wait(0));
  }
  EXPECT_TRUE(destroyed.Wait(0));
}

TEST(Event, ManualResetReleasesEveryWaiterAndStaysSet) {
  Event event(true);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (event.Wait(5000)) {
        ++released;
      }
    });
  }
  std::this_thread::sleep_for(10ms);
  event.Set();
  for (auto& waiter : waiters) {
    waiter.join();
  }
  EXPECT_EQ(released, 3);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  event.Reset();
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
}

TEST(Event, AutoResetReleasesOneWaiterPerSet) {
  Event event(false, true);
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(0));
  std::atomic<int> released{0};
  std::thread a([&] { released += event.Wait(300) ? 1 : 0; });
  std::thread b([&] { released += event.Wait(300) ? 1 : 0; });
  std::this_thread::sleep_for(20ms);
  event.Set();
  a.join();
  b.join();
  EXPECT_EQ(released, 1);
}

TEST(Event, TimedWaitEndsAfterItsTimeout) {
  Event event(true);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(event, 40), WAIT_TIMEOUT);
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, 40ms);
  EXPECT_LT(waited, 2s);
}

TEST(Format, FormatsTextsLongerThanAnyFixedBuffer) {
  EXPECT_EQ(Format("Error=%d on port:%d", 10061, 21), "Error=10061 on port:21");
  EXPECT_EQ(Format("%s", ""), "");
  const std::string longText(5000, 'a');
  EXPECT_EQ(Format("[%s]", longText.c_str()), "[" + longText + "]");
}

// In a child process of its own, so that no thread of the test run is
// left to take the signals, and the run itself keeps them.
void ExitWithInterruptResult() {
  Event first(false);
  Event second(false);
  Event third(false);
  std::atomic<int> calls{0};
  std::atomic<int> signals{0};
  std::atomic<bool> onCallingThread{false};
  const auto callingThread = std::this_thread::get_id();
  SetInterruptHandler([&](int signal) {
    onCallingThread = onCallingThread || std::this_thread::get_id() == callingThread;
    signals = signals * 100 + signal;
    const int call = ++calls;
    (call == 1 ? first : call == 2 ? second : third).Set();
  });
  kill(getpid(), SIGINT);
  const bool firstSeen = first.Wait(5000);
  kill(getpid(), SIGTERM);
  const bool secondSeen = second.Wait(5000);
  kill(getpid(), SIGHUP);
  const bool thirdSeen = third.Wait(5000);
  const int expected = (SIGINT * 100 + SIGTERM) * 100 + SIGHUP;
  std::_Exit(firstSeen && secondSeen && thirdSeen && signals == expected && !onCallingThread ? 0 : 1);
}

TEST(InterruptDeathTest, HandlerRunsOnItsOwnThreadForEverySignal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ExitWithInterruptResult(), testing::ExitedWithCode(0), "");
}

}  // namespace

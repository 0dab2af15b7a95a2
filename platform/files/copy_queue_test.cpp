#include "platform/files/copy_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(CopyQueue, RunsJobsInOrderBesideThePoster) {
  CCopyQueue queue;
  std::vector<int> order;
  const std::thread::id poster = std::this_thread::get_id();
  std::atomic<bool> elsewhere{true};
  for (int i = 0; i < 5; ++i)
    queue.Post([&order, &elsewhere, poster, i] {
      order.push_back(i);
      elsewhere = elsewhere && std::this_thread::get_id() != poster;
    });
  EXPECT_TRUE(queue.Wait(nullptr));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_TRUE(elsewhere);
  // After a Wait the queue takes work again.
  queue.Post([&order] { order.push_back(5); });
  EXPECT_TRUE(queue.Wait(nullptr));
  EXPECT_EQ(order.size(), 6u);
}

// The first failure drops what waits behind it and is thrown once, by the
// next Post or by Wait; a stopped queue has forgotten it.
TEST(CopyQueue, TheFirstFailureDropsTheRestAndIsThrown) {
  for (const bool byPost : {false, true}) {
    SCOPED_TRACE(byPost ? "thrown by Post" : "thrown by Wait");
    CCopyQueue queue;
    std::atomic<int> ran{0};
    queue.Post([] {
      std::this_thread::sleep_for(20ms);
      throw CFileException("a", "first");
    });
    queue.Post([] { throw CFileException("b", "second"); });
    queue.Post([&ran] { ++ran; });
    try {
      if (byPost) {
        for (int i = 0; i < 200; ++i) {
          queue.Post([] {});
          std::this_thread::sleep_for(5ms);
        }
      } else {
        queue.Wait(nullptr);
      }
      FAIL() << "no failure";
    } catch (const CFileException& error) {
      EXPECT_EQ(error.m_strFileName, "a");
    }
    EXPECT_EQ(ran, 0);
    queue.Stop();
    EXPECT_TRUE(queue.Wait(nullptr));
  }
}

// Wait returns only once the last job has ended: a failure of that job
// would otherwise be lost, and a short file taken for a whole one.
TEST(CopyQueue, WaitHearsTheFailureOfTheLastJobStillRunning) {
  CCopyQueue queue;
  queue.Post([] {
    std::this_thread::sleep_for(100ms);
    throw CFileException("last", "failed late");
  });
  std::this_thread::sleep_for(20ms);  // the job has begun; nothing waits behind it
  EXPECT_THROW(queue.Wait(nullptr), CFileException);
}

TEST(CopyQueue, ACancelledWaitStopsTheQueue) {
  CCopyQueue queue;
  std::atomic<int> ran{0};
  for (int i = 0; i < 100; ++i)
    queue.Post([&ran] {
      ++ran;
      std::this_thread::sleep_for(10ms);
    });
  int asked = 0;
  EXPECT_FALSE(queue.Wait([&asked] { return ++asked > 2; }));
  EXPECT_LT(ran, 100);
}

}  // namespace

#include "standin/engine/platform_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace standin {
namespace {

// Pumps this thread's messages until done() holds.
template <typename Done>
void PumpUntil(Done done) {
  MSG message;
  while (!done() && GetMessageW(&message, nullptr, 0, 0)) DispatchMessageW(&message);
}

TEST(PlatformQueue, DeliversTasksFromManyThreadsOnItsThreadInFifoOrder) {
  constexpr int kThreads = 8;
  constexpr int kTasksPerThread = 400;
  PlatformQueue queue;
  ASSERT_TRUE(queue.Attach());
  const DWORD platform_thread = GetCurrentThreadId();
  std::vector<std::pair<int, int>> delivered;
  std::atomic<int> wrong_thread{0};
  // Each task carries a global ticket taken under a lock together with its
  // Post, so the post order across threads is known.
  std::mutex post_mutex;
  int next_ticket = 0;
  std::vector<int> tickets;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < kTasksPerThread; ++i) {
        std::lock_guard<std::mutex> lock(post_mutex);
        const int ticket = next_ticket++;
        queue.Post([&, t, i, ticket] {
          if (GetCurrentThreadId() != platform_thread) ++wrong_thread;
          delivered.emplace_back(t, i);
          tickets.push_back(ticket);
        });
      }
    });
  }
  PumpUntil([&] { return delivered.size() == kThreads * kTasksPerThread; });
  for (auto& sender : senders) sender.join();

  EXPECT_EQ(wrong_thread, 0);
  ASSERT_EQ(tickets.size(), static_cast<size_t>(kThreads * kTasksPerThread));
  for (size_t k = 0; k < tickets.size(); ++k) ASSERT_EQ(tickets[k], static_cast<int>(k));
}

TEST(PlatformQueue, HoldsTasksPostedBeforeAttachUntilThen) {
  PlatformQueue queue;
  std::vector<int> order;
  std::thread early([&] {
    queue.Post([&] { order.push_back(1); });
    queue.Post([&] { order.push_back(2); });
  });
  early.join();
  EXPECT_TRUE(order.empty());
  ASSERT_TRUE(queue.Attach());
  queue.Post([&] { order.push_back(3); });
  PumpUntil([&] { return order.size() == 3; });
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(PlatformQueue, StopDropsWhatIsQueuedAndRefusesMore) {
  PlatformQueue queue;
  ASSERT_TRUE(queue.Attach());
  int ran = 0;
  queue.Post([&] { ++ran; });
  queue.Post([&] { ++ran; });
  EXPECT_EQ(queue.Stop(), 2u);
  EXPECT_FALSE(queue.Post([&] { ++ran; }));
  EXPECT_EQ(queue.Stop(), 0u);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  EXPECT_EQ(ran, 0);
}

TEST(PlatformQueue, ATaskMayDestroyTheQueueItRunsOn) {
  auto* queue = new PlatformQueue();
  ASSERT_TRUE(queue->Attach());
  bool destroyed = false;
  queue->Post([&] {
    delete queue;
    destroyed = true;
  });
  queue->Post([] { FAIL() << "ran after its queue was destroyed"; });
  PumpUntil([&] { return destroyed; });
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  EXPECT_TRUE(destroyed);
}

TEST(PlatformQueue, OneShotTimerRunsOnceAndRepeatingTimerUntilStopped) {
  PlatformQueue queue;
  ASSERT_TRUE(queue.Attach());
  int once = 0;
  int repeated = 0;
  queue.StartTimer(1, 10, [&] { ++once; }, false);
  queue.StartTimer(2, 10, [&] {
    if (++repeated == 3) queue.StopTimer(2);
  }, true);
  PumpUntil([&] { return once == 1 && repeated == 3; });
  // One more round of the one-shot period passes without further runs.
  queue.StartTimer(3, 50, [] {}, false);
  bool sentinel = false;
  queue.StartTimer(4, 60, [&] { sentinel = true; }, false);
  PumpUntil([&] { return sentinel; });
  EXPECT_EQ(once, 1);
  EXPECT_EQ(repeated, 3);
}

}  // namespace
}  // namespace standin

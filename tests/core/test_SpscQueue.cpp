#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "core/SpscQueue.h"

using namespace ondrell;

TEST(SpscQueue, HoldsNElementsAndDropsTheNewestWhenFull) {
  SpscQueue<int, 4> q;
  EXPECT_EQ(q.ElementsAvailable(), 0u);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(q.Push(i));
  EXPECT_FALSE(q.Push(99));
  EXPECT_EQ(q.ElementsAvailable(), 4u);
  int v = -1;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(q.Pop(v));
    EXPECT_EQ(v, i);
  }
  EXPECT_FALSE(q.Pop(v));
  EXPECT_EQ(v, 3);
}

TEST(SpscQueue, CountsAcrossTheWrapAround) {
  SpscQueue<int, 3> q;
  int v = 0;
  for (int round = 0; round < 10; ++round) {
    EXPECT_TRUE(q.Push(round));
    EXPECT_TRUE(q.Push(round + 100));
    EXPECT_EQ(q.ElementsAvailable(), 2u);
    ASSERT_TRUE(q.Pop(v));
    EXPECT_EQ(v, round);
    EXPECT_EQ(q.ElementsAvailable(), 1u);
    ASSERT_TRUE(q.Pop(v));
    EXPECT_EQ(v, round + 100);
  }
}

struct Item {
  uint32_t sequence;
  uint32_t check;  // derived from sequence: a torn element would not match
};

// One producer thread, one consumer thread. A producer that retries loses nothing and the order holds;
// a producer that does not retry loses exactly the elements it was told were dropped.
TEST(SpscQueue, TwoThreadsKeepOrderAndLoseNothingBeyondCapacity) {
  constexpr uint32_t kCount = 100000;
  for (bool retry : {true, false}) {
    SpscQueue<Item, 32> q;
    std::atomic<bool> done{false};
    uint32_t accepted = 0;
    std::thread producer([&] {
      for (uint32_t i = 0; i < kCount; ++i) {
        const Item item{i, i * 2654435761u};
        if (retry) {
          while (!q.Push(item)) std::this_thread::yield();
          ++accepted;
        } else if (q.Push(item)) {
          ++accepted;
        }
      }
      done = true;
    });
    uint32_t received = 0;
    int64_t previous = -1;
    bool inOrder = true;
    bool intact = true;
    Item item{};
    for (;;) {
      const bool finished = done.load();
      while (q.Pop(item)) {
        ++received;
        inOrder = inOrder && (retry ? static_cast<int64_t>(item.sequence) == previous + 1
                                     : static_cast<int64_t>(item.sequence) > previous);
        intact = intact && item.check == item.sequence * 2654435761u;
        previous = item.sequence;
      }
      if (finished) break;
    }
    producer.join();
    EXPECT_TRUE(inOrder) << retry;
    EXPECT_TRUE(intact) << retry;
    EXPECT_EQ(received, accepted) << retry;
    if (retry) {
      EXPECT_EQ(received, kCount);
    }
  }
}

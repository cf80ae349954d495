// The shared caches: FNV-1a keys, lookup rules, user counts that empty the cache, lookup-then-add under the
// lock from several threads, and the process-wide bitmap cache searched in scale order.

#include "graphics/GraphicsCaches.h"
#include "graphics/SharedCache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace ondrell::graphics;

namespace {

// An item that counts how many of its kind are alive.
struct Counted
{
  explicit Counted(std::atomic<int>& alive) : mAlive(alive) { ++mAlive; }
  ~Counted() { --mAlive; }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;
  std::atomic<int>& mAlive;
};

} // namespace

TEST(CacheKey, Fnv1aMatchesThePublishedVectors)
{
  EXPECT_EQ(Fnv1a64(""), 0xcbf29ce484222325ull);
  EXPECT_EQ(Fnv1a64("a"), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(Fnv1a64("foobar"), 0x85944171f73967e8ull);
}

TEST(CacheKey, KeyTextAppendsTheScaleWithOneDecimal)
{
  EXPECT_EQ(CacheKeyText("QEQ_back.png", 2.0), "QEQ_back.png-2.0x");
  EXPECT_EQ(CacheKeyText("QEQ_back.png", 1.0), "QEQ_back.png-1.0x");
  EXPECT_EQ(CacheKeyText("Roboto-Regular", 1.5), "Roboto-Regular-1.5x");
  EXPECT_EQ(CacheKeyText("x", 0.96), "x-1.0x");
  EXPECT_EQ(CacheKeyText("x", 1.25), "x-1.2x"); // exactly half way: rounds to even, as printf does
  EXPECT_EQ(CacheKeyHash("QEQ_back.png", 2.0), Fnv1a64("QEQ_back.png-2.0x"));
}

TEST(SharedCache, LookupNeedsExactNameAndScaleAndFindsTheFirstEntry)
{
  std::atomic<int> alive = 0;
  SharedCache<Counted> cache;
  EXPECT_EQ(cache.Find("a", 1.0), nullptr);

  Counted* first = cache.Add(std::make_unique<Counted>(alive), "knob.png", 1.0);
  Counted* second = cache.Add(std::make_unique<Counted>(alive), "knob.png", 1.0);
  Counted* other = cache.Add(std::make_unique<Counted>(alive), "knob.png", 2.0);
  EXPECT_EQ(cache.Size(), 3u);
  EXPECT_EQ(cache.Find("knob.png", 1.0), first);
  EXPECT_EQ(cache.Find("knob.png", 2.0), other);
  EXPECT_EQ(cache.Find("KNOB.png", 1.0), nullptr); // names compare case-sensitively
  EXPECT_EQ(cache.Find("knob.png", 3.0), nullptr);
  EXPECT_EQ(cache.Find("knob.png", 1.04), nullptr); // same key text "-1.0x", different scale

  EXPECT_TRUE(cache.Remove(first));
  EXPECT_EQ(alive, 2);
  EXPECT_EQ(cache.Find("knob.png", 1.0), second);
  EXPECT_FALSE(cache.Remove(first));
  EXPECT_EQ(cache.Add(nullptr, "none", 1.0), nullptr);
  EXPECT_EQ(cache.Size(), 2u);
}

TEST(SharedCache, TheLastUserLeavingEmptiesTheCache)
{
  std::atomic<int> alive = 0;
  SharedCache<Counted> cache;
  EXPECT_EQ(cache.AddUser(), 1);
  EXPECT_EQ(cache.AddUser(), 2);
  cache.Add(std::make_unique<Counted>(alive), "a", 1.0);
  cache.Add(std::make_unique<Counted>(alive), "b", 2.0);

  EXPECT_EQ(cache.RemoveUser(), 1);
  EXPECT_EQ(alive, 2); // a second window still uses them
  EXPECT_NE(cache.Find("a", 1.0), nullptr);

  EXPECT_EQ(cache.RemoveUser(), 0);
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(cache.Size(), 0u);

  EXPECT_EQ(cache.RemoveUser(), 0); // unbalanced: stays at 0
  EXPECT_EQ(cache.UserCount(), 0);
}

TEST(SharedCache, LookupThenAddUnderTheLockLoadsEachItemOnce)
{
  std::atomic<int> alive = 0;
  std::atomic<int> loads = 0;
  SharedCache<Counted> cache;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
  {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i)
      {
        const auto lock = cache.Acquire();
        if (cache.Find("shared.png", 2.0) == nullptr)
        {
          ++loads;
          cache.Add(std::make_unique<Counted>(alive), "shared.png", 2.0);
        }
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(cache.Size(), 1u);
}

TEST(BitmapCache, FindCachedBitmapSearchesInScaleOrderAndUsersEmptyIt)
{
  SharedCache<APIBitmap>& cache = BitmapCache();
  ASSERT_EQ(cache.Size(), 0u);
  {
    const GraphicsCacheUser firstWindow;
    APIBitmap* twoX = cache.Add(std::make_unique<APIBitmap>(1328, 430, 2.0f, 1.0f), "QEQ_back.png", 2.0);
    {
      const GraphicsCacheUser secondWindow;
      EXPECT_EQ(cache.UserCount(), 2);
      EXPECT_EQ(TypefaceCache().UserCount(), 2);

      const struct
      {
        int target;
        int source;
      } cases[] = {{1, 2}, {2, 2}, {3, 2}, {4, 2}};
      for (const auto& c : cases)
      {
        int source = 0;
        EXPECT_EQ(FindCachedBitmap("QEQ_back.png", c.target, source), twoX) << "target " << c.target;
        EXPECT_EQ(source, c.source) << "target " << c.target;
      }
      APIBitmap* oneX = cache.Add(std::make_unique<APIBitmap>(664, 215, 1.0f, 1.0f), "QEQ_back.png", 1.0);
      int source = 0;
      EXPECT_EQ(FindCachedBitmap("QEQ_back.png", 1, source), oneX);
      EXPECT_EQ(source, 1);
      EXPECT_EQ(FindCachedBitmap("QEQ_back.png", 3, source), twoX); // 3, then 2
      EXPECT_EQ(source, 2);
      EXPECT_EQ(FindCachedBitmap("qeq_back.png", 1, source), nullptr);
    }
    EXPECT_EQ(cache.UserCount(), 1);
    EXPECT_EQ(cache.Size(), 2u); // the first window still holds them
  }
  EXPECT_EQ(cache.UserCount(), 0);
  EXPECT_EQ(cache.Size(), 0u);
  EXPECT_EQ(TypefaceCache().UserCount(), 0);
}

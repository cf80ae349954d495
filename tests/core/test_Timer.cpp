#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "core/Timer.h"
#include "tests/core/TestPlugin.h"

using namespace ondrell;
using namespace std::chrono_literals;

namespace {

// Waits (bounded) until pred holds.
template <typename Pred>
bool Eventually(Pred pred, std::chrono::milliseconds limit = 5000ms) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

}  // namespace

TEST(MainThreadTimer, FiresOnlyWhenPumpedAfterItsPeriod) {
  int ticks = 0;
  auto timer = Timer::Create([&](Timer& t) {
    ++ticks;
    EXPECT_EQ(t.PeriodMs(), 100);
  }, 100);
  EXPECT_TRUE(timer->IsRunning());
  EXPECT_EQ(Timer::PumpMainThreadTimers(), 0);  // its period has not passed
  std::this_thread::sleep_for(120ms);
  EXPECT_EQ(ticks, 0);  // nothing happens without a pump
  EXPECT_EQ(Timer::PumpMainThreadTimers(), 1);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(Timer::PumpMainThreadTimers(), 0);  // a late timer does not catch up
  std::this_thread::sleep_for(120ms);
  timer->Stop();
  timer->Stop();
  EXPECT_FALSE(timer->IsRunning());
  EXPECT_EQ(Timer::PumpMainThreadTimers(), 0);
  EXPECT_EQ(ticks, 1);
}

TEST(MainThreadTimer, CallbacksMayCreateStopAndDestroyTimers) {
  std::unique_ptr<Timer> other;
  std::unique_ptr<Timer> self;
  int otherTicks = 0;
  int selfTicks = 0;
  self = Timer::Create([&](Timer&) {
    ++selfTicks;
    other = Timer::Create([&](Timer&) { ++otherTicks; }, 1);  // created under the lock, same thread
    self.reset();                                              // destroys the running timer itself
  }, 1);
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(Timer::PumpMainThreadTimers(), 1);
  EXPECT_EQ(selfTicks, 1);
  EXPECT_EQ(self, nullptr);
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(Timer::PumpMainThreadTimers(), 1);
  EXPECT_EQ(otherTicks, 1);
}

TEST(SelfDrivenTimer, TicksOnItsOwnThreadUntilStopped) {
  std::atomic<int> ticks{0};
  std::atomic<bool> otherThread{true};
  const auto caller = std::this_thread::get_id();
  auto timer = Timer::Create([&](Timer&) {
    if (std::this_thread::get_id() == caller) otherThread = false;
    ++ticks;
  }, 2, Timer::Drive::OwnThread);
  EXPECT_TRUE(Eventually([&] { return ticks.load() >= 3; }));
  timer->Stop();
  const int atStop = ticks.load();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(ticks.load(), atStop);  // no callback starts after Stop returns
  EXPECT_TRUE(otherThread.load());
  EXPECT_EQ(Timer::PumpMainThreadTimers(), 0);  // self-driven timers are not pumped
}

TEST(SelfDrivenTimer, MayStopOrDestroyItselfFromItsCallback) {
  std::atomic<int> ticks{0};
  auto stopper = Timer::Create([&](Timer& t) {
    ++ticks;
    t.Stop();
  }, 1, Timer::Drive::OwnThread);
  EXPECT_TRUE(Eventually([&] { return !stopper->IsRunning(); }));
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(ticks.load(), 1);
  stopper.reset();

  std::atomic<bool> destroyed{false};
  std::unique_ptr<Timer> selfDestroying;
  std::atomic<Timer*> handle{nullptr};
  selfDestroying = Timer::Create([&](Timer&) {
    if (handle.load() == nullptr) return;
    std::unique_ptr<Timer> mine(handle.exchange(nullptr));
    mine.reset();
    destroyed = true;
  }, 1, Timer::Drive::OwnThread);
  handle = selfDestroying.release();
  EXPECT_TRUE(Eventually([&] { return destroyed.load(); }));
}

// The self-driven timer waits for the process-wide lock while a main-thread callback holds it, and a
// main-thread callback may stop a self-driven timer without deadlocking.
TEST(SelfDrivenTimer, StoppingFromAMainThreadCallbackDoesNotDeadlock) {
  std::atomic<int> ticks{0};
  auto worker = Timer::Create([&](Timer&) { ++ticks; }, 1, Timer::Drive::OwnThread);
  ASSERT_TRUE(Eventually([&] { return ticks.load() >= 1; }));
  auto main = Timer::Create([&](Timer&) {
    std::this_thread::sleep_for(5ms);  // the worker is now likely waiting for the lock
    worker->Stop();
  }, 1);
  std::this_thread::sleep_for(3ms);
  EXPECT_EQ(Timer::PumpMainThreadTimers(), 1);
  EXPECT_FALSE(worker->IsRunning());
}

TEST(IdleTimer, StartIdleTimerTicksThroughThePump) {
  test::TestPlugin p;
  p.StartIdleTimer();
  p.QueueParamValueForEditor(8, -3.0, false);
  std::this_thread::sleep_for(25ms);
  EXPECT_GE(Timer::PumpMainThreadTimers(), 1);
  EXPECT_EQ(p.log, (std::vector<std::string>{"ForEditor(8,Editor Delegate)", "OnIdle"}));
  p.StartIdleTimer();  // replaces the running timer
  std::this_thread::sleep_for(25ms);
  EXPECT_EQ(Timer::PumpMainThreadTimers(), 1);
}

// The audio thread queues host changes while a self-driven idle timer drains them on its own thread.
TEST(IdleTimer, HostChangesCrossThreadsToASelfDrivenIdleTimer) {
  struct Counting : test::TestPlugin {
    void SendParamValueToEditor(int, double value, bool) override {
      delivered.fetch_add(1);
      if (value != -20.0 + 0.5 * 30.0 && value != 10.0) wrong.fetch_add(1);
    }
    void OnIdle() override {}
    std::atomic<int> delivered{0};
    std::atomic<int> wrong{0};
  } p;
  p.StartIdleTimer(Timer::Drive::OwnThread);
  int queued = 0;
  std::thread audio([&] {
    for (int i = 0; i < 2000; ++i) {
      const double n = (i % 2) ? 1.0 : 0.5;
      p.GetParam(8)->SetNormalised(n);
      queued += p.QueueParamValueForEditor(8, n, true);
      if (i % 100 == 0) std::this_thread::sleep_for(1ms);
    }
  });
  audio.join();
  EXPECT_TRUE(Eventually([&] { return p.delivered.load() == queued; }));
  p.StopIdleTimer();
  EXPECT_EQ(p.wrong.load(), 0);
  EXPECT_GT(queued, 0);
}

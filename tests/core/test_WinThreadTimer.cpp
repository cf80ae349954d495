// Windows thread timers: ticks from the creating thread's own message loop, only there, and never a second tick
// straight after one the pump ran.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "core/Timer.h"

using namespace ondrell;
using namespace std::chrono_literals;

namespace {

// Runs the calling thread's message loop for the given time, or until stop() holds.
template <typename Stop>
void RunMessageLoop(std::chrono::milliseconds limit, Stop stop) {
  const auto end = std::chrono::steady_clock::now() + limit;
  MSG msg;
  while (!stop() && std::chrono::steady_clock::now() < end) {
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&msg);
    else
      Sleep(1);
  }
}

}  // namespace

TEST(WinThreadTimer, TicksFromTheThreadsMessageLoop) {
  int ticks = 0;
  auto timer = Timer::Create([&](Timer& t) {
    ++ticks;
    EXPECT_EQ(t.PeriodMs(), 10);
  }, 10);
  ASSERT_TRUE(timer->IsRunning());
  RunMessageLoop(5000ms, [&] { return ticks >= 3; });
  EXPECT_GE(ticks, 3);
  timer->Stop();
  const int atStop = ticks;
  RunMessageLoop(60ms, [] { return false; });
  EXPECT_EQ(ticks, atStop);  // a message queued before Stop finds no timer
}

TEST(WinThreadTimer, AMessageRightAfterAPumpedTickDoesNotTickAgain) {
  int ticks = 0;
  auto timer = Timer::Create([&](Timer&) { ++ticks; }, 200);
  std::this_thread::sleep_for(230ms);  // the system's timer has expired too
  EXPECT_EQ(Timer::PumpMainThreadTimers(), 1);
  RunMessageLoop(50ms, [] { return false; });
  EXPECT_EQ(ticks, 1);
}

TEST(WinThreadTimer, EachThreadRunsOnlyItsOwnTimers) {
  std::atomic<int> otherTicks{0};
  std::atomic<bool> onOtherThread{true};
  std::atomic<bool> done{false};
  std::thread other([&] {
    const auto self = std::this_thread::get_id();
    auto timer = Timer::Create([&](Timer&) {
      if (std::this_thread::get_id() != self) onOtherThread = false;
      ++otherTicks;
    }, 5);
    RunMessageLoop(5000ms, [&] { return done.load(); });
  });
  // This thread's pump never runs the other thread's timer, whatever identifier the system gave it.
  int pumped = 0;
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (otherTicks.load() < 3 && std::chrono::steady_clock::now() < end) {
    pumped += Timer::PumpMainThreadTimers();
    std::this_thread::sleep_for(1ms);
  }
  done = true;
  other.join();
  EXPECT_GE(otherTicks.load(), 3);
  EXPECT_TRUE(onOtherThread.load());
  EXPECT_EQ(pumped, 0);
}

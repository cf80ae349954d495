#include "core/Timer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Trace.h"
#include "core/TimerRegistry.h"

namespace ondrell {

namespace {

using Clock = std::chrono::steady_clock;
using timer_detail::Registry;
using timer_detail::TimerRegistry;

void Unregister(Timer* timer) {
  TimerRegistry& registry = Registry();
  std::lock_guard guard(registry.lock);
  std::erase(registry.timers, timer);
}

// Runs its own thread. The state is shared with the thread, so the timer object may go away (even from its
// own callback) while the thread finishes.
class ThreadTimer final : public Timer {
 public:
  ThreadTimer(Callback callback, int periodMs) : Timer(periodMs), mState(std::make_shared<State>()) {
    mState->callback = std::move(callback);
    mState->owner = this;
    // The thread runs callbacks only under the registry lock, so holding it here makes mThread complete
    // before the first callback can look at it (a callback may stop or destroy this timer).
    TimerRegistry& registry = Registry();
    std::lock_guard guard(registry.lock);
    registry.timers.push_back(this);
    mThread = std::thread([state = mState, periodMs] { Run(state, periodMs); });
  }

  ~ThreadTimer() override {
    Stop();
    if (mThread.joinable()) mThread.detach();  // only when destroyed from its own callback; Run then ends
  }

  void Stop() override {
    {
      std::lock_guard guard(mState->waitLock);
      mState->stop.store(true);
    }
    mState->wake.notify_all();
    // From its own callback the thread cannot be joined; it ends after the callback returns, and a later Stop
    // or the destructor from another thread joins it.
    if (mThread.joinable() && std::this_thread::get_id() != mThread.get_id()) mThread.join();
    Unregister(this);
  }

  bool IsRunning() const override { return !mState->stop.load(); }

 private:
  struct State {
    Callback callback;
    Timer* owner = nullptr;
    std::atomic<bool> stop{false};
    std::mutex waitLock;
    std::condition_variable wake;
  };

  static void Run(const std::shared_ptr<State>& state, int periodMs) {
    TimerRegistry& registry = Registry();
    const auto period = std::chrono::milliseconds(periodMs);
    Clock::time_point due = Clock::now() + period;
    for (;;) {
      {
        std::unique_lock lock(state->waitLock);
        if (state->wake.wait_until(lock, due, [&] { return state->stop.load(); })) return;
      }
      // Waiting for the lock keeps checking for Stop, so a thread that holds the lock (a main-thread callback)
      // may stop this timer and wait for its thread without a deadlock.
      while (!registry.lock.try_lock()) {
        if (state->stop.load()) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (!state->stop.load()) state->callback(*state->owner);
      registry.lock.unlock();
      due += period;
      const Clock::time_point now = Clock::now();
      if (due <= now) due = now + period;
    }
  }

  std::shared_ptr<State> mState;
  std::thread mThread;
};

}  // namespace

std::unique_ptr<Timer> Timer::Create(Callback callback, int periodMs, Drive drive) {
  periodMs = std::max(periodMs, 1);
  ONDRELL_TRACE("ondrell::Timer::Create", "period %d ms", periodMs);
  if (drive == Drive::OwnThread) return std::make_unique<ThreadTimer>(std::move(callback), periodMs);
  return timer_detail::MakeMainThreadTimer(std::move(callback), periodMs);
}

namespace timer_detail {

TimerRegistry& Registry() {
  static TimerRegistry registry;
  return registry;
}

}  // namespace timer_detail

}  // namespace ondrell

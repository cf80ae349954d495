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

namespace ondrell {

namespace {

using Clock = std::chrono::steady_clock;

class MainThreadTimer;

// The process-wide timer list and its lock. The lock is recursive so that a callback, which runs with the lock
// held, may create or stop timers on its own thread.
struct TimerRegistry {
  std::recursive_mutex lock;
  std::vector<Timer*> timers;                  // every running timer
  std::vector<MainThreadTimer*> pumped;        // the running main-thread timers, in creation order
  uint64_t generation = 0;                     // bumped whenever `pumped` changes
};

TimerRegistry& Registry() {
  static TimerRegistry registry;
  return registry;
}

void Unregister(Timer* timer) {
  TimerRegistry& registry = Registry();
  std::lock_guard guard(registry.lock);
  std::erase(registry.timers, timer);
}

// Ticks come from Timer::PumpMainThreadTimers on the host's main thread.
class MainThreadTimer final : public Timer {
 public:
  MainThreadTimer(Callback callback, int periodMs)
      : Timer(periodMs),
        mCallback(std::make_shared<Callback>(std::move(callback))),
        mDue(Clock::now() + std::chrono::milliseconds(periodMs)) {
    TimerRegistry& registry = Registry();
    std::lock_guard guard(registry.lock);
    registry.timers.push_back(this);
    registry.pumped.push_back(this);
    ++registry.generation;
    mRunning = true;
  }

  ~MainThreadTimer() override { Stop(); }

  void Stop() override {
    TimerRegistry& registry = Registry();
    std::lock_guard guard(registry.lock);
    if (!mRunning) return;
    mRunning = false;
    std::erase(registry.timers, static_cast<Timer*>(this));
    std::erase(registry.pumped, this);
    ++registry.generation;
  }

  bool IsRunning() const override {
    std::lock_guard guard(Registry().lock);
    return mRunning;
  }

  // Called by the pump with the registry lock held. Returns whether the callback ran.
  bool FireIfDue(Clock::time_point now) {
    if (!mRunning || now < mDue) return false;
    mDue += std::chrono::milliseconds(PeriodMs());
    if (mDue <= now) mDue = now + std::chrono::milliseconds(PeriodMs());
    // Holding a reference keeps the callable alive even if the callback destroys this timer.
    const std::shared_ptr<Callback> callback = mCallback;
    (*callback)(*this);
    return true;
  }

 private:
  const std::shared_ptr<Callback> mCallback;
  Clock::time_point mDue;  // guarded by the registry lock
  bool mRunning = false;   // guarded by the registry lock
};

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
  return std::make_unique<MainThreadTimer>(std::move(callback), periodMs);
}

int Timer::PumpMainThreadTimers() {
  TimerRegistry& registry = Registry();
  std::lock_guard guard(registry.lock);
  const Clock::time_point now = Clock::now();
  int fired = 0;
  // A callback may create or stop timers (same thread, recursive lock). When the list changes, scanning starts
  // over; timers that already fired have moved their due time past `now` and are skipped.
  for (size_t i = 0; i < registry.pumped.size();) {
    const uint64_t generation = registry.generation;
    if (registry.pumped[i]->FireIfDue(now)) ++fired;
    i = registry.generation == generation ? i + 1 : 0;
  }
  return fired;
}

}  // namespace ondrell

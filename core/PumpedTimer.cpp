// Main-thread timers on Linux: a plug-in has no message loop of its own there, so the adapters pump them from
// the host's main-thread hooks (Timer::PumpMainThreadTimers).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "core/Timer.h"
#include "core/TimerRegistry.h"

namespace ondrell {

namespace {

using Clock = std::chrono::steady_clock;
using timer_detail::Registry;
using timer_detail::TimerRegistry;

class MainThreadTimer;

// The running main-thread timers in creation order, guarded by the registry lock.
struct PumpedTimers {
  std::vector<MainThreadTimer*> timers;
  uint64_t generation = 0;  // bumped whenever `timers` changes
};

PumpedTimers& Pumped() {
  static PumpedTimers pumped;
  return pumped;
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
    Pumped().timers.push_back(this);
    ++Pumped().generation;
    mRunning = true;
  }

  ~MainThreadTimer() override { Stop(); }

  void Stop() override {
    TimerRegistry& registry = Registry();
    std::lock_guard guard(registry.lock);
    if (!mRunning) return;
    mRunning = false;
    std::erase(registry.timers, static_cast<Timer*>(this));
    std::erase(Pumped().timers, this);
    ++Pumped().generation;
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

}  // namespace

namespace timer_detail {

std::unique_ptr<Timer> MakeMainThreadTimer(Timer::Callback callback, int periodMs) {
  return std::make_unique<MainThreadTimer>(std::move(callback), periodMs);
}

}  // namespace timer_detail

int Timer::PumpMainThreadTimers() {
  TimerRegistry& registry = Registry();
  std::lock_guard guard(registry.lock);
  PumpedTimers& pumped = Pumped();
  const Clock::time_point now = Clock::now();
  int fired = 0;
  // A callback may create or stop timers (same thread, recursive lock). When the list changes, scanning starts
  // over; timers that already fired have moved their due time past `now` and are skipped.
  for (size_t i = 0; i < pumped.timers.size();) {
    const uint64_t generation = pumped.generation;
    if (pumped.timers[i]->FireIfDue(now)) ++fired;
    i = pumped.generation == generation ? i + 1 : 0;
  }
  return fired;
}

}  // namespace ondrell

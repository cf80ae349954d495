// Main-thread timers on Windows: thread timers without a window (SetTimer with no window handle), whose
// WM_TIMER messages the thread's message loop dispatches to one shared timer procedure. The procedure finds the
// timer by its thread and identifier in the process-wide list and runs its callback with the list's lock held.
// Hosts that drive the adapters' main-thread hooks without a message loop get the ticks from
// Timer::PumpMainThreadTimers instead; a tick the pump ran is not run again by a message that follows at once.
#include <windows.h>

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

class WinThreadTimer;

// The running thread timers in creation order, guarded by the registry lock.
struct ThreadTimerList {
  std::vector<WinThreadTimer*> timers;
  uint64_t generation = 0;  // bumped whenever `timers` changes
};

ThreadTimerList& ThreadTimers() {
  static ThreadTimerList list;
  return list;
}

// Threads: created, stopped and destroyed on the thread whose message loop drives it (KillTimer only works
// there); the callback runs on that thread. Owns the system timer and the callback.
class WinThreadTimer final : public Timer {
 public:
  WinThreadTimer(Callback callback, int periodMs)
      : Timer(periodMs),
        mCallback(std::make_shared<Callback>(std::move(callback))),
        mThread(GetCurrentThreadId()),
        mDue(Clock::now() + std::chrono::milliseconds(periodMs)) {
    TimerRegistry& registry = Registry();
    std::lock_guard guard(registry.lock);
    // The system picks the identifier; 0 means it refused, and the timer then never ticks.
    mId = SetTimer(nullptr, 0, static_cast<UINT>(periodMs), &TimerProc);
    if (mId != 0) {
      registry.timers.push_back(this);
      ThreadTimers().timers.push_back(this);
      ++ThreadTimers().generation;
    }
  }

  ~WinThreadTimer() override { Stop(); }

  void Stop() override {
    TimerRegistry& registry = Registry();
    std::lock_guard guard(registry.lock);
    if (mId == 0) return;
    KillTimer(nullptr, mId);
    std::erase(registry.timers, static_cast<Timer*>(this));
    std::erase(ThreadTimers().timers, this);
    ++ThreadTimers().generation;
    mId = 0;
  }

  bool IsRunning() const override {
    std::lock_guard guard(Registry().lock);
    return mId != 0;
  }

  // Runs the callback when the timer belongs to the calling thread and its next tick is due; a system tick is
  // accepted up to half a period early (its clock is not ours), which still refuses one that follows a pumped
  // tick at once. Called with the registry lock held. Returns whether the callback ran.
  bool FireIfDue(Clock::time_point now, bool systemTick) {
    if (mId == 0 || mThread != GetCurrentThreadId()) return false;
    const auto period = std::chrono::milliseconds(PeriodMs());
    if (now < (systemTick ? mDue - period / 2 : mDue)) return false;
    mDue = now + period;
    // Holding a reference keeps the callable alive even if the callback destroys this timer.
    const std::shared_ptr<Callback> callback = mCallback;
    (*callback)(*this);
    return true;
  }

 private:
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    std::lock_guard guard(Registry().lock);
    const DWORD thread = GetCurrentThreadId();
    // Thread timer identifiers are only unique per thread, so both must match. A timer stopped after its
    // message was queued is no longer in the list.
    for (WinThreadTimer* timer : ThreadTimers().timers) {
      if (timer->mId == id && timer->mThread == thread) {
        timer->FireIfDue(Clock::now(), true);
        return;
      }
    }
  }

  const std::shared_ptr<Callback> mCallback;
  const DWORD mThread;
  UINT_PTR mId = 0;          // guarded by the registry lock; 0 when stopped
  Clock::time_point mDue;    // guarded by the registry lock
};

}  // namespace

namespace timer_detail {

std::unique_ptr<Timer> MakeMainThreadTimer(Timer::Callback callback, int periodMs) {
  return std::make_unique<WinThreadTimer>(std::move(callback), periodMs);
}

}  // namespace timer_detail

int Timer::PumpMainThreadTimers() {
  TimerRegistry& registry = Registry();
  std::lock_guard guard(registry.lock);
  ThreadTimerList& list = ThreadTimers();
  const Clock::time_point now = Clock::now();
  int fired = 0;
  // A callback may create or stop timers (same thread, recursive lock). When the list changes, scanning starts
  // over; timers that already fired have moved their due time past `now` and are skipped.
  for (size_t i = 0; i < list.timers.size();) {
    const uint64_t generation = list.generation;
    if (list.timers[i]->FireIfDue(now, false)) ++fired;
    i = list.generation == generation ? i + 1 : 0;
  }
  return fired;
}

}  // namespace ondrell

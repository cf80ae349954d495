#pragma once
#include <functional>
#include <memory>

namespace ondrell {

// A periodic callback. Create picks how the ticks are driven:
//  - Drive::HostMainThread: ticks come from whoever owns the host's main thread, which calls
//    Timer::PumpMainThreadTimers() from its main-thread hooks (the CLAP and VST2 adapters do). A Linux plug-in
//    has no message loop of its own; pumping replaces the loop that delivers timer messages elsewhere. On
//    Windows the timer is a thread timer of the creating thread, driven by that thread's message loop; the pump
//    runs the ticks already due there as well, for hosts that call the hooks without a loop.
//  - Drive::OwnThread: the timer runs a thread of its own (tests and tools).
// Every running timer sits in one process-wide list guarded by one recursive lock; a callback runs with that
// lock held, so it may create or stop timers on its own thread but must not wait for another thread that
// needs the lock. A self-driven timer may stop itself, and may even be destroyed, from its own callback.
// Threads: Create/Stop/destroy on the owning thread; callbacks on the pumping thread or the timer's thread.
class Timer {
 public:
  using Callback = std::function<void(Timer&)>;
  enum class Drive { HostMainThread, OwnThread };

  // A running timer that fires every periodMs milliseconds (at least 1). Never null.
  static std::unique_ptr<Timer> Create(Callback callback, int periodMs, Drive drive = Drive::HostMainThread);

  // Runs, under the process-wide lock, the callback of every main-thread timer whose period has elapsed since it
  // last fired (at most once per timer and call; a late timer does not catch up; on Windows only the calling
  // thread's timers). Returns the number run.
  static int PumpMainThreadTimers();

  virtual ~Timer() = default;
  // Stops the timer; no callback starts after Stop returns (called from another thread than a self-driven
  // timer's own, Stop also waits for a running callback to finish). Stopping twice does nothing.
  virtual void Stop() = 0;
  virtual bool IsRunning() const = 0;
  int PeriodMs() const { return mPeriodMs; }

 protected:
  explicit Timer(int periodMs) : mPeriodMs(periodMs) {}

 private:
  const int mPeriodMs;
};

}  // namespace ondrell

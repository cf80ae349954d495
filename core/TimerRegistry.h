#pragma once
// Shared by the timer implementations (core/Timer.cpp, core/PumpedTimer.cpp, core/win/WinThreadTimer.cpp):
// the process-wide timer list and its lock, and the system's main-thread timer.
#include <memory>
#include <mutex>
#include <vector>

#include "core/Timer.h"

namespace ondrell::timer_detail {

// The lock is recursive so that a callback, which runs with the lock held, may create or stop timers on its own
// thread. Every running timer is in `timers`.
struct TimerRegistry {
  std::recursive_mutex lock;
  std::vector<Timer*> timers;
};

TimerRegistry& Registry();

// A running timer whose ticks come from the host's main thread (Timer::Drive::HostMainThread): pumped by the
// adapters on Linux, a Windows thread timer on Windows. Never null.
std::unique_ptr<Timer> MakeMainThreadTimer(Timer::Callback callback, int periodMs);

}  // namespace ondrell::timer_detail

#include "vst2/IdleThreadTimer.h"

#include <algorithm>
#include <chrono>

namespace ondrell {

IdleThreadTimer::IdleThreadTimer(Callback callback, int periodMs)
    : Timer(std::max(periodMs, 1)), mCallback(std::move(callback)), mThread([this] { Run(); }) {}

IdleThreadTimer::~IdleThreadTimer() { Stop(); }

void IdleThreadTimer::Stop() {
  {
    std::lock_guard guard(mLock);
    mStop = true;
  }
  mWake.notify_all();
  if (mThread.joinable()) mThread.join();
}

bool IdleThreadTimer::IsRunning() const {
  std::lock_guard guard(mLock);
  return !mStop;
}

void IdleThreadTimer::Run() {
  using Clock = std::chrono::steady_clock;
  const auto period = std::chrono::milliseconds(PeriodMs());
  Clock::time_point due = Clock::now() + period;
  for (;;) {
    {
      std::unique_lock lock(mLock);
      if (mWake.wait_until(lock, due, [this] { return mStop; })) return;
    }
    mCallback(*this);
    // A late tick does not make the next ones catch up.
    due += period;
    const Clock::time_point now = Clock::now();
    if (due <= now) due = now + period;
  }
}

}  // namespace ondrell

#pragma once
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/Timer.h"

namespace ondrell {

// A timer that runs its callback every period on a thread of its own, outside the process-wide timer list: its
// callback holds no process-wide lock, so it may call into the host (which may in turn wait for the host's main
// thread) without blocking the main thread's timer pump. The VST2 adapter uses it for idle ticks while the editor
// is closed and the host therefore sends no effEditIdle.
// Threads: created, stopped and destroyed on one thread (not the timer's own); the callback runs on the timer's
// thread. Owns the thread.
class IdleThreadTimer final : public Timer {
 public:
  IdleThreadTimer(Callback callback, int periodMs);
  ~IdleThreadTimer() override;

  // Wakes the thread and waits for it to end; no callback runs after Stop returns.
  void Stop() override;
  bool IsRunning() const override;

 private:
  void Run();

  const Callback mCallback;
  mutable std::mutex mLock;  // guards mStop
  std::condition_variable mWake;
  bool mStop = false;
  std::thread mThread;  // last: starts once everything it reads is built
};

}  // namespace ondrell

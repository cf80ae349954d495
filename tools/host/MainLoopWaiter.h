#pragma once
// How the host's main thread sleeps between its chores: until another thread wakes it, a watched descriptor is
// ready, or the time is up. On Linux an eventfd and poll (MainLoopWaiter.cpp); Windows has no descriptors to
// watch, and its wait runs the thread's message loop instead, so that thread timers and windows of the
// main thread get their messages (win/MainLoopWaiterWin.cpp).
#include <cstdint>
#include <vector>

namespace ondrell::host {

// Threads: Wait on the main thread only; Wake from any thread. Owns its wake-up object.
class MainLoopWaiter {
 public:
  // Whether Wait can watch descriptors (CLAP's posix-fd-support is offered only then).
  static const bool kWatchesDescriptors;

  struct Watch {
    int fd;
    bool read;
    bool write;
  };
  struct Ready {
    int fd;
    bool read;
    bool write;
    bool error;
  };

  MainLoopWaiter();
  ~MainLoopWaiter();
  MainLoopWaiter(const MainLoopWaiter&) = delete;
  MainLoopWaiter& operator=(const MainLoopWaiter&) = delete;

  // Ends the current or the next Wait early.
  void Wake();
  // Sleeps at most timeoutMs; returns the watched descriptors that became ready.
  std::vector<Ready> Wait(int timeoutMs, const std::vector<Watch>& watches);

 private:
  std::intptr_t mHandle;  // the eventfd, or the Windows event handle
};

}  // namespace ondrell::host

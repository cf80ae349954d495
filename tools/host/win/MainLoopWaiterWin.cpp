#include "tools/host/MainLoopWaiter.h"

#include <windows.h>

namespace ondrell::host {

const bool MainLoopWaiter::kWatchesDescriptors = false;

MainLoopWaiter::MainLoopWaiter()
    : mHandle(reinterpret_cast<std::intptr_t>(CreateEventW(nullptr, FALSE, FALSE, nullptr))) {}

MainLoopWaiter::~MainLoopWaiter() {
  if (mHandle) CloseHandle(reinterpret_cast<HANDLE>(mHandle));
}

void MainLoopWaiter::Wake() {
  if (mHandle) SetEvent(reinterpret_cast<HANDLE>(mHandle));
}

std::vector<MainLoopWaiter::Ready> MainLoopWaiter::Wait(int timeoutMs, const std::vector<Watch>&) {
  // Wakes for the event, for any message of this thread, or at the timeout; the messages waiting then are
  // dispatched (the plug-in's thread timers among them).
  const HANDLE event = reinterpret_cast<HANDLE>(mHandle);
  const DWORD timeout = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  if (event)
    MsgWaitForMultipleObjectsEx(1, &event, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  else
    MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return {};
}

}  // namespace ondrell::host

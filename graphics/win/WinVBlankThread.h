#pragma once

// The display tick of an editor window on Windows 8 and later: a thread at time-critical priority that waits for
// each vertical blank of the window's display (the D3DKMT functions of gdi32, looked up by name) and posts a tick
// message with a running counter to the window. Without those functions, or while no adapter can be opened, it
// posts a tick every 16 ms instead.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

struct HWND__;

namespace ondrell::graphics {

// Threads: made, queried and destroyed on the window's thread; the thread it runs only reads the window handle
// and the stop flag and advances the counter. Owns the thread; thread and object share the state, so a thread
// that outlives a bounded stop never reads freed memory, and it holds its own reference to this module.
class WinVBlankThread
{
public:
  // The tick message; its wParam carries the counter value after the tick.
  static constexpr unsigned kTickMessage = 0x0400 + 1; // WM_USER + 1
  static constexpr unsigned kFallbackPeriodMs = 16;
  // How long a failed adapter open keeps the thread on the 16 ms ticks before it tries again.
  static constexpr unsigned kReopenDelayMs = 1000;
  static constexpr unsigned kStopTimeoutMs = 10000;

  // What the thread paces its ticks by.
  enum class Pacing : int { Starting = 0, Sleeping = 1, VerticalBlank = 2 };

  // Starts posting ticks to window; the three functions are looked up in library (gdi32.dll normally).
  WinVBlankThread(HWND__* window, const wchar_t* library = L"gdi32.dll");
  // Stops the thread and waits for it, at most kStopTimeoutMs; a thread still waiting in the system after that is
  // left to end by itself (it posts nothing more).
  ~WinVBlankThread();
  WinVBlankThread(const WinVBlankThread&) = delete;
  WinVBlankThread& operator=(const WinVBlankThread&) = delete;

  // Whether the thread could be started.
  bool Started() const { return mThread != nullptr; }
  // The number of ticks posted so far.
  uint32_t Counter() const;
  // Sleeping while the functions are missing or no adapter is open; VerticalBlank while it waits for blanks.
  Pacing CurrentPacing() const;

  struct Shared;

private:
  std::shared_ptr<Shared> mShared;
  void* mThread = nullptr;
};

} // namespace ondrell::graphics

#pragma once

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#define QUORL_HAS_SSE_CONTROL 1
#endif

namespace ondrell {

// Switches on flush-to-zero and denormals-are-zero for its lifetime and restores the caller's floating-point
// control state on every way out, so denormal numbers never reach the recursive filters.
// Threads: affects only the thread that creates it. Owns the saved control word.
class FloatingPointGuard
{
public:
  static constexpr unsigned kFlushToZero = 0x8000;
  static constexpr unsigned kDenormalsAreZero = 0x0040;

  FloatingPointGuard()
  {
#if QUORL_HAS_SSE_CONTROL
    mSaved = _mm_getcsr();
    _mm_setcsr(mSaved | kFlushToZero | kDenormalsAreZero);
#endif
  }
  ~FloatingPointGuard()
  {
#if QUORL_HAS_SSE_CONTROL
    _mm_setcsr(mSaved);
#endif
  }
  FloatingPointGuard(const FloatingPointGuard&) = delete;
  FloatingPointGuard& operator=(const FloatingPointGuard&) = delete;

  // The current control word (0 where the processor has none we manage).
  static unsigned Current()
  {
#if QUORL_HAS_SSE_CONTROL
    return _mm_getcsr();
#else
    return 0;
#endif
  }

private:
  unsigned mSaved = 0;
};

} // namespace ondrell

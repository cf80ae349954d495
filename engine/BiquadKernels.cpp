#include "engine/BiquadDesign.h"
#include "engine/BiquadSection.h"
#include "engine/CoefficientMath.h"
#include "engine/SmoothingLanes.h"
#include "engine/WideTarget.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>
#if QUORL_HAS_WIDE_TARGETS
#include <immintrin.h>
#endif

// The kernels take and return vectors by value but are always inlined into code of their own instruction set,
// so the calling convention GCC warns about (reported at the end of the file) never applies.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace ondrell {

namespace kernels_sse2 {
constexpr int kWidth = 2;
#include "engine/BiquadKernels.inc"
} // namespace kernels_sse2

#if QUORL_HAS_WIDE_TARGETS
QUORL_BEGIN_TARGET_AVX2
namespace kernels_avx2 {
constexpr int kWidth = 4;
#include "engine/BiquadKernels.inc"
} // namespace kernels_avx2
QUORL_END_TARGET

QUORL_BEGIN_TARGET_AVX512
namespace kernels_avx512 {
constexpr int kWidth = 8;
#include "engine/BiquadKernels.inc"
} // namespace kernels_avx512
QUORL_END_TARGET
#endif

BiquadDesign<double> DesignBiquad(int32_t type, double q, double hz, double dB, double rate)
{
  return kernels_sse2::Design<double>(type, q, hz, dB, rate);
}

BiquadDesignBatchFunction SelectBiquadDesignBatch(WideKernels kernels)
{
  switch (kernels)
  {
#if QUORL_HAS_WIDE_TARGETS
  case WideKernels::Avx512: return &kernels_avx512::DesignBatch;
  case WideKernels::Avx2: return &kernels_avx2::DesignBatch;
#endif
  default: return &kernels_sse2::DesignBatch;
  }
}

SmoothingStepFunction SelectSmoothingStep(WideKernels kernels)
{
  switch (kernels)
  {
#if QUORL_HAS_WIDE_TARGETS
  case WideKernels::Avx512: return &kernels_avx512::StepSmoothing;
  case WideKernels::Avx2: return &kernels_avx2::StepSmoothing;
#endif
  default: return &kernels_sse2::StepSmoothing;
  }
}

namespace coefficient_math {
double Cosine(double x)
{
  return kernels_sse2::CosSin(x).c;
}
double Sine(double x)
{
  return kernels_sse2::CosSin(x).s;
}
double Exponential(double x)
{
  return kernels_sse2::Exp(x);
}
} // namespace coefficient_math

} // namespace ondrell

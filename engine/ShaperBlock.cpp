#include "engine/ShaperBlock.h"

#include "engine/ShaperSine.h"

#include <algorithm>
#include <initializer_list>
#include <limits>

#if QUORL_HAS_WIDE_TARGETS
#include <immintrin.h>
#endif

namespace ondrell {

namespace {

void ShaperBlockSse2(const double* x, double* s, int count)
{
  using simd::Lanes2;
  const Lanes2 low = Lanes2::Both(-1.0);
  const Lanes2 high = Lanes2::Both(1.0);
  int j = 0;
  for (; j + 2 <= count; j += 2)
    ShaperSine(simd::Min(simd::Max(Lanes2::Load(x + j), low), high)).Store(s + j);
  for (; j < count; ++j)
    s[j] = ShaperSine(std::min(std::max(x[j], -1.0), 1.0));
}

void OutputStageSse2(const double* x, double* out, int count, double weight, double gain)
{
  using simd::Lanes2;
  const Lanes2 low = Lanes2::Both(-1.0);
  const Lanes2 high = Lanes2::Both(1.0);
  const Lanes2 w = Lanes2::Both(weight);
  const Lanes2 g = Lanes2::Both(gain);
  int j = 0;
  for (; j + 2 <= count; j += 2)
  {
    const Lanes2 in = simd::FiniteOrZero(Lanes2::Load(x + j));
    const Lanes2 s = ShaperSine(simd::Min(simd::Max(in, low), high));
    simd::FiniteOrZero(w * s + in * g).Store(out + j);
  }
  for (; j < count; ++j)
  {
    const double in = simd::FiniteOrZero(x[j]);
    const double s = ShaperSine(std::min(std::max(in, -1.0), 1.0));
    out[j] = simd::FiniteOrZero(weight * s + in * gain);
  }
}

#if QUORL_HAS_WIDE_TARGETS
// ShaperSine's operations on 4 and on 8 doubles: the same coefficients, the same order.
QUORL_TARGET_AVX2 inline __m256d Sine4(__m256d x)
{
  using namespace shaper_sine;
  const __m256d z = _mm256_mul_pd(x, x);
  __m256d p = _mm256_set1_pd(kC17);
  for (double c : {kC15, kC13, kC11, kC9, kC7, kC5, kC3})
    p = _mm256_add_pd(_mm256_mul_pd(p, z), _mm256_set1_pd(c));
  return _mm256_add_pd(x, _mm256_mul_pd(_mm256_mul_pd(x, z), p));
}

QUORL_TARGET_AVX512 inline __m512d Sine8(__m512d x)
{
  using namespace shaper_sine;
  const __m512d z = _mm512_mul_pd(x, x);
  __m512d p = _mm512_set1_pd(kC17);
  for (double c : {kC15, kC13, kC11, kC9, kC7, kC5, kC3})
    p = _mm512_add_pd(_mm512_mul_pd(p, z), _mm512_set1_pd(c));
  return _mm512_add_pd(x, _mm512_mul_pd(_mm512_mul_pd(x, z), p));
}

// Clamped to [-1, 1] as by max then min (written with a full mask: the unmasked forms read an undefined operand).
QUORL_TARGET_AVX512 inline __m512d Clamp8(__m512d x)
{
  const __m512d low = _mm512_set1_pd(-1.0);
  const __m512d high = _mm512_set1_pd(1.0);
  const __m512d raised = _mm512_mask_max_pd(x, static_cast<__mmask8>(0xFF), x, low);
  return _mm512_mask_min_pd(raised, static_cast<__mmask8>(0xFF), raised, high);
}

// As simd::FiniteOrZero: finite elements keep their value, the others become 0.
QUORL_TARGET_AVX2 inline __m256d FiniteOrZero4(__m256d x)
{
  const __m256d magnitude = _mm256_andnot_pd(_mm256_set1_pd(-0.0), x);
  return _mm256_and_pd(x, _mm256_cmp_pd(magnitude, _mm256_set1_pd(std::numeric_limits<double>::max()), _CMP_LE_OQ));
}

QUORL_TARGET_AVX512 inline __m512d FiniteOrZero8(__m512d x)
{
  const __m512d magnitude = _mm512_castsi512_pd(
    _mm512_and_epi64(_mm512_castpd_si512(x), _mm512_set1_epi64(0x7FFFFFFFFFFFFFFF)));
  return _mm512_maskz_mov_pd(_mm512_cmp_pd_mask(magnitude, _mm512_set1_pd(std::numeric_limits<double>::max()),
                                                _CMP_LE_OQ),
                             x);
}

QUORL_TARGET_AVX2 void ShaperBlockAvx2(const double* x, double* s, int count)
{
  const __m256d low = _mm256_set1_pd(-1.0);
  const __m256d high = _mm256_set1_pd(1.0);
  int j = 0;
  for (; j + 4 <= count; j += 4)
    _mm256_storeu_pd(s + j, Sine4(_mm256_min_pd(_mm256_max_pd(_mm256_loadu_pd(x + j), low), high)));
  ShaperBlockSse2(x + j, s + j, count - j);
}

QUORL_TARGET_AVX512 void ShaperBlockAvx512(const double* x, double* s, int count)
{
  int j = 0;
  for (; j + 8 <= count; j += 8)
    _mm512_storeu_pd(s + j, Sine8(Clamp8(_mm512_loadu_pd(x + j))));
  ShaperBlockSse2(x + j, s + j, count - j);
}

QUORL_TARGET_AVX2 void OutputStageAvx2(const double* x, double* out, int count, double weight, double gain)
{
  const __m256d low = _mm256_set1_pd(-1.0);
  const __m256d high = _mm256_set1_pd(1.0);
  const __m256d w = _mm256_set1_pd(weight);
  const __m256d g = _mm256_set1_pd(gain);
  int j = 0;
  for (; j + 4 <= count; j += 4)
  {
    const __m256d in = FiniteOrZero4(_mm256_loadu_pd(x + j));
    const __m256d s = Sine4(_mm256_min_pd(_mm256_max_pd(in, low), high));
    _mm256_storeu_pd(out + j, FiniteOrZero4(_mm256_add_pd(_mm256_mul_pd(w, s), _mm256_mul_pd(in, g))));
  }
  OutputStageSse2(x + j, out + j, count - j, weight, gain);
}

QUORL_TARGET_AVX512 void OutputStageAvx512(const double* x, double* out, int count, double weight, double gain)
{
  const __m512d w = _mm512_set1_pd(weight);
  const __m512d g = _mm512_set1_pd(gain);
  int j = 0;
  for (; j + 8 <= count; j += 8)
  {
    const __m512d in = FiniteOrZero8(_mm512_loadu_pd(x + j));
    const __m512d s = Sine8(Clamp8(in));
    _mm512_storeu_pd(out + j, FiniteOrZero8(_mm512_add_pd(_mm512_mul_pd(w, s), _mm512_mul_pd(in, g))));
  }
  OutputStageSse2(x + j, out + j, count - j, weight, gain);
}
#endif

} // namespace

ShaperBlockFunction SelectShaperBlock(WideKernels kernels)
{
  switch (kernels)
  {
#if QUORL_HAS_WIDE_TARGETS
  case WideKernels::Avx512: return &ShaperBlockAvx512;
  case WideKernels::Avx2: return &ShaperBlockAvx2;
#endif
  default: return &ShaperBlockSse2;
  }
}

OutputStageFunction SelectOutputStage(WideKernels kernels)
{
  switch (kernels)
  {
#if QUORL_HAS_WIDE_TARGETS
  case WideKernels::Avx512: return &OutputStageAvx512;
  case WideKernels::Avx2: return &OutputStageAvx2;
#endif
  default: return &OutputStageSse2;
  }
}

} // namespace ondrell

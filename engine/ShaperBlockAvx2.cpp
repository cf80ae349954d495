// Compiled with -mavx2 (engine/CMakeLists.txt) and called only where the processor has AVX2. It includes nothing but
// the intrinsics, so that no inline function of a shared header is emitted here with AVX2 instructions (the linker
// could pick that copy for every caller).
#include "engine/ShaperBlock.h"

#include <immintrin.h>

namespace ondrell {

namespace {

// The operations of ShaperSine (engine/ShaperSine.h) on four doubles: the same coefficients, the same order.
inline __m256d Sine4(__m256d x)
{
  const __m256d z = _mm256_mul_pd(x, x);
  __m256d p = _mm256_set1_pd(1.0 / 355687428096000.0);
  p = _mm256_add_pd(_mm256_mul_pd(p, z), _mm256_set1_pd(-1.0 / 1307674368000.0));
  p = _mm256_add_pd(_mm256_mul_pd(p, z), _mm256_set1_pd(1.0 / 6227020800.0));
  p = _mm256_add_pd(_mm256_mul_pd(p, z), _mm256_set1_pd(-1.0 / 39916800.0));
  p = _mm256_add_pd(_mm256_mul_pd(p, z), _mm256_set1_pd(1.0 / 362880.0));
  p = _mm256_add_pd(_mm256_mul_pd(p, z), _mm256_set1_pd(-1.0 / 5040.0));
  p = _mm256_add_pd(_mm256_mul_pd(p, z), _mm256_set1_pd(1.0 / 120.0));
  p = _mm256_add_pd(_mm256_mul_pd(p, z), _mm256_set1_pd(-1.0 / 6.0));
  return _mm256_add_pd(x, _mm256_mul_pd(_mm256_mul_pd(x, z), p));
}

inline __m128d Sine2(__m128d x)
{
  const __m128d z = _mm_mul_pd(x, x);
  __m128d p = _mm_set1_pd(1.0 / 355687428096000.0);
  p = _mm_add_pd(_mm_mul_pd(p, z), _mm_set1_pd(-1.0 / 1307674368000.0));
  p = _mm_add_pd(_mm_mul_pd(p, z), _mm_set1_pd(1.0 / 6227020800.0));
  p = _mm_add_pd(_mm_mul_pd(p, z), _mm_set1_pd(-1.0 / 39916800.0));
  p = _mm_add_pd(_mm_mul_pd(p, z), _mm_set1_pd(1.0 / 362880.0));
  p = _mm_add_pd(_mm_mul_pd(p, z), _mm_set1_pd(-1.0 / 5040.0));
  p = _mm_add_pd(_mm_mul_pd(p, z), _mm_set1_pd(1.0 / 120.0));
  p = _mm_add_pd(_mm_mul_pd(p, z), _mm_set1_pd(-1.0 / 6.0));
  return _mm_add_pd(x, _mm_mul_pd(_mm_mul_pd(x, z), p));
}

} // namespace

void ShaperBlockAvx2(const double* x, double* s, int count)
{
  const __m256d low = _mm256_set1_pd(-1.0);
  const __m256d high = _mm256_set1_pd(1.0);
  int j = 0;
  for (; j + 4 <= count; j += 4)
    _mm256_storeu_pd(s + j, Sine4(_mm256_min_pd(_mm256_max_pd(_mm256_loadu_pd(x + j), low), high)));
  for (; j < count; ++j)
  {
    const __m128d one = _mm_min_sd(_mm_max_sd(_mm_set_sd(x[j]), _mm_set_sd(-1.0)), _mm_set_sd(1.0));
    _mm_store_sd(s + j, Sine2(one));
  }
}

} // namespace ondrell

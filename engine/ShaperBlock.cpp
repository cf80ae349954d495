#include "engine/ShaperBlock.h"

#include "engine/ShaperSine.h"

#include <algorithm>

namespace ondrell {

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

ShaperBlockFunction SelectShaperBlock()
{
#if QUORL_HAS_AVX2_VARIANT
  if (__builtin_cpu_supports("avx2"))
    return &ShaperBlockAvx2;
#endif
  return &ShaperBlockSse2;
}

} // namespace ondrell

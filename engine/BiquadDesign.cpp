#include "engine/BiquadDesign.h"

#include <cstring>

// The vector helpers are always inlined into the kernel of their width (GCC reports the calling convention of
// their instances at the end of the file, so the warning stays off for all of it).
#pragma GCC diagnostic ignored "-Wpsabi"

namespace ondrell {

namespace {

template <typename D>
[[gnu::always_inline]] inline D LoadVector(const double* p)
{
  D v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename D>
[[gnu::always_inline]] inline void StoreVector(double* p, const D& v)
{
  std::memcpy(p, &v, sizeof v);
}

// Entries [from, from + W) of the batch on vectors of W doubles.
template <typename D>
[[gnu::always_inline]] inline void DesignEntries(int32_t type, D rate, int from, BiquadDesignBatch& b)
{
  const BiquadDesign<D> d =
    DesignBiquad<D>(type, LoadVector<D>(b.q + from), LoadVector<D>(b.hz + from), LoadVector<D>(b.dB + from), rate);
  StoreVector(b.A + from, d.A);
  StoreVector(b.w0 + from, d.w0);
  StoreVector(b.sinW0 + from, d.sinW0);
  StoreVector(b.cosW0 + from, d.cosW0);
  StoreVector(b.alpha + from, d.alpha);
  StoreVector(b.b0 + from, d.b0);
  StoreVector(b.b1 + from, d.b1);
  StoreVector(b.b2 + from, d.b2);
  StoreVector(b.a1 + from, d.a1);
  StoreVector(b.a2 + from, d.a2);
}

// Whole vectors of W first, what is left one at a time.
template <int W>
[[gnu::always_inline]] inline void DesignAll(int32_t type, int32_t rate, int first, int count, BiquadDesignBatch& b)
{
  using D = typename coefficient_math::Vector<W>::D;
  const double r = rate;
  const int end = first + count;
  int j = first;
  for (; j + W <= end; j += W)
    DesignEntries<D>(type, D{} + r, j, b);
  for (; j < end; ++j)
    DesignEntries<double>(type, r, j, b);
}

void DesignSse2(int32_t type, int32_t rate, int first, int count, BiquadDesignBatch& b)
{
  DesignAll<2>(type, rate, first, count, b);
}

#if QUORL_HAS_WIDE_TARGETS
QUORL_TARGET_AVX2 void DesignAvx2(int32_t type, int32_t rate, int first, int count, BiquadDesignBatch& b)
{
  DesignAll<4>(type, rate, first, count, b);
}

QUORL_TARGET_AVX512 void DesignAvx512(int32_t type, int32_t rate, int first, int count, BiquadDesignBatch& b)
{
  DesignAll<8>(type, rate, first, count, b);
}
#endif

} // namespace

BiquadDesignBatchFunction SelectBiquadDesignBatch(WideKernels kernels)
{
  switch (kernels)
  {
#if QUORL_HAS_WIDE_TARGETS
  case WideKernels::Avx512: return &DesignAvx512;
  case WideKernels::Avx2: return &DesignAvx2;
#endif
  default: return &DesignSse2;
  }
}

} // namespace ondrell

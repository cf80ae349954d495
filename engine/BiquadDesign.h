#pragma once

#include "engine/CoefficientMath.h"
#include "engine/WideTarget.h"

#include <cstdint>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace ondrell {

// The coefficient computation of a biquad section (Audio EQ Cookbook responses, normalised so that a0 is 1) and
// the values derived on the way, for one set of values (D = double) or for a vector of them with one response
// type (D a vector of CoefficientMath.h). Every lane performs the operations of the scalar computation in the
// same order, so a batch gives bit for bit what one computation at a time gives.
// Threads: pure functions.
template <typename D>
struct BiquadDesign
{
  D A, w0, sinW0, cosW0, alpha;
  D b0, b1, b2, a1, a2;
};

namespace biquad_design {
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kLn10Over20 = 0.11512925464970229; // A = 10^(dB/20)
inline constexpr double kLn10Over40 = 0.057564627324851146; // A = 10^(dB/40)
} // namespace biquad_design

// type: 0 low-pass, 1 high-pass, 2 band-pass (constant skirt gain), 3 band-pass (0 dB peak), 4 notch, 5 all-pass,
// 7 low shelf, 8 high shelf, anything else peaking. q, hz and dB: the smoothed values; rate in samples per second.
template <typename D>
[[gnu::always_inline]] inline BiquadDesign<D> DesignBiquad(int32_t type, D q, D hz, D dB, D rate)
{
  using namespace biquad_design;
  namespace cm = coefficient_math;
  BiquadDesign<D> d;
  d.w0 = kTwoPi * hz / rate;
  const cm::CosSinResult<D> cs = cm::CosSin(d.w0);
  const D c = cs.c;
  const D s = cs.s;
  d.cosW0 = c;
  d.sinW0 = s;
  d.alpha = s / (2.0 * q);
  const D alpha = d.alpha;
  const D one = D{} + 1.0;

  D b0, b1, b2, a0, a1, a2;
  switch (type)
  {
  case 0: // low-pass
    d.A = one;
    b0 = (1.0 - c) * 0.5;
    b1 = 1.0 - c;
    b2 = (1.0 - c) * 0.5;
    a0 = 1.0 + alpha;
    a1 = -2.0 * c;
    a2 = 1.0 - alpha;
    break;
  case 1: // high-pass
    d.A = one;
    b0 = (1.0 + c) * 0.5;
    b1 = -(1.0 + c);
    b2 = (1.0 + c) * 0.5;
    a0 = 1.0 + alpha;
    a1 = -2.0 * c;
    a2 = 1.0 - alpha;
    break;
  case 2: // band-pass, constant skirt gain
    d.A = cm::Exp(dB * kLn10Over20);
    b0 = s * 0.5;
    b1 = D{};
    b2 = -s * 0.5;
    a0 = 1.0 + alpha;
    a1 = -2.0 * c;
    a2 = 1.0 - alpha;
    break;
  case 3: // band-pass, constant 0 dB peak gain
    d.A = cm::Exp(dB * kLn10Over20);
    b0 = alpha;
    b1 = D{};
    b2 = -alpha;
    a0 = 1.0 + alpha;
    a1 = -2.0 * c;
    a2 = 1.0 - alpha;
    break;
  case 4: // notch
    d.A = cm::Exp(dB * kLn10Over20);
    b0 = one;
    b1 = -2.0 * c;
    b2 = one;
    a0 = 1.0 + alpha;
    a1 = -2.0 * c;
    a2 = 1.0 - alpha;
    break;
  case 5: // all-pass
    d.A = cm::Exp(dB * kLn10Over20);
    b0 = 1.0 - alpha;
    b1 = -2.0 * c;
    b2 = 1.0 + alpha;
    a0 = 1.0 + alpha;
    a1 = -2.0 * c;
    a2 = 1.0 - alpha;
    break;
  case 7: // low shelf
  {
    const D A = cm::Exp(dB * kLn10Over40);
    d.A = A;
    const D t = 2.0 * cm::Sqrt(A) * alpha;
    b0 = A * ((A + 1.0) - (A - 1.0) * c + t);
    b1 = 2.0 * A * ((A - 1.0) - (A + 1.0) * c);
    b2 = A * ((A + 1.0) - (A - 1.0) * c - t);
    a0 = (A + 1.0) + (A - 1.0) * c + t;
    a1 = -2.0 * ((A - 1.0) + (A + 1.0) * c);
    a2 = (A + 1.0) + (A - 1.0) * c - t;
    break;
  }
  case 8: // high shelf
  {
    const D A = cm::Exp(dB * kLn10Over40);
    d.A = A;
    const D t = 2.0 * cm::Sqrt(A) * alpha;
    b0 = A * ((A + 1.0) + (A - 1.0) * c + t);
    b1 = -2.0 * A * ((A - 1.0) + (A + 1.0) * c);
    b2 = A * ((A + 1.0) + (A - 1.0) * c - t);
    a0 = (A + 1.0) - (A - 1.0) * c + t;
    a1 = 2.0 * ((A - 1.0) - (A + 1.0) * c);
    a2 = (A + 1.0) - (A - 1.0) * c - t;
    break;
  }
  default: // peaking, and any unknown type number
  {
    const D A = cm::Exp(dB * kLn10Over40);
    d.A = A;
    b0 = 1.0 + alpha * A;
    b1 = -2.0 * c;
    b2 = 1.0 - alpha * A;
    a0 = 1.0 + (1.0 / A) * alpha;
    a1 = -2.0 * c;
    a2 = 1.0 - (1.0 / A) * alpha;
    break;
  }
  }

  const D k = 1.0 / a0;
  d.b0 = b0 * k;
  d.b1 = b1 * k;
  d.b2 = b2 * k;
  d.a1 = a1 * k;
  d.a2 = a2 * k;
  return d;
}

// Many computations of one response type at one rate, planar: entry j from q[j], hz[j] and dB[j] into element j
// of the other arrays, for entries first .. first + count - 1. Runs on the vector variant chosen (all give the
// same results).
struct BiquadDesignBatch
{
  static constexpr int kCapacity = 72;
  alignas(64) double q[kCapacity], hz[kCapacity], dB[kCapacity];
  alignas(64) double A[kCapacity], w0[kCapacity], sinW0[kCapacity], cosW0[kCapacity], alpha[kCapacity];
  alignas(64) double b0[kCapacity], b1[kCapacity], b2[kCapacity], a1[kCapacity], a2[kCapacity];

  BiquadDesign<double> Result(int j) const
  {
    return {A[j], w0[j], sinW0[j], cosW0[j], alpha[j], b0[j], b1[j], b2[j], a1[j], a2[j]};
  }
};
using BiquadDesignBatchFunction = void (*)(int32_t type, int32_t rate, int first, int count,
                                           BiquadDesignBatch& batch);
BiquadDesignBatchFunction SelectBiquadDesignBatch(WideKernels kernels);

} // namespace ondrell

#pragma GCC diagnostic pop

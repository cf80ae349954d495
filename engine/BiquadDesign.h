#pragma once

#include "engine/ElementaryMath.h"

#include <cmath>
#include <cstdint>

namespace ondrell {

// The Audio EQ Cookbook coefficients of one response type from the smoothed Q, frequency and gain and the rate,
// normalised so that a0 = 1, with the values they derive from. Written once for one double (BiquadSection) and
// for Lanes2 (many sections or many samples of one section's glide at once), with the same operations in the
// same order, so both give the same results. Sine, cosine and exponential are ElementaryMath's.
// Threads: pure functions.
template <typename V>
struct BiquadValues
{
  V a;     // the amplitude factor A
  V w0;    // 2 pi f / rate
  V sinW0;
  V cosW0;
  V alpha;
  V b0, b1, b2, a1, a2;
};

namespace biquad_design {

inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kLn10Over20 = 0.11512925464970229; // A = 10^(dB/20)
inline constexpr double kLn10Over40 = 0.057564627324851146; // A = 10^(dB/40)

inline double SquareRoot(double x) { return std::sqrt(x); }
inline simd::Lanes2 SquareRoot(simd::Lanes2 x) { return simd::Sqrt(x); }

} // namespace biquad_design

// Type numbers as BiquadSection::Type; any other number is peaking.
template <typename V>
BiquadValues<V> DesignBiquad(int32_t type, V q, V frequency, V gain, V rate)
{
  using namespace biquad_design;
  const auto c = [q](double value) { return elementary::Both(value, q); };
  BiquadValues<V> v;
  v.w0 = c(kTwoPi) * frequency / rate;
  SinCos(v.w0, v.sinW0, v.cosW0);
  const V co = v.cosW0;
  const V s = v.sinW0;
  v.alpha = s / (c(2.0) * q);
  const V alpha = v.alpha;
  const V one = c(1.0);

  V b0, b1, b2, a0, a1, a2;
  switch (type)
  {
  case 0: // low-pass
    v.a = one;
    b0 = (one - co) * c(0.5);
    b1 = one - co;
    b2 = (one - co) * c(0.5);
    a0 = one + alpha;
    a1 = c(-2.0) * co;
    a2 = one - alpha;
    break;
  case 1: // high-pass
    v.a = one;
    b0 = (one + co) * c(0.5);
    b1 = -(one + co);
    b2 = (one + co) * c(0.5);
    a0 = one + alpha;
    a1 = c(-2.0) * co;
    a2 = one - alpha;
    break;
  case 2: // band-pass, constant skirt gain
    v.a = Exp(gain * c(kLn10Over20));
    b0 = s * c(0.5);
    b1 = c(0.0);
    b2 = -s * c(0.5);
    a0 = one + alpha;
    a1 = c(-2.0) * co;
    a2 = one - alpha;
    break;
  case 3: // band-pass, constant 0 dB peak gain
    v.a = Exp(gain * c(kLn10Over20));
    b0 = alpha;
    b1 = c(0.0);
    b2 = -alpha;
    a0 = one + alpha;
    a1 = c(-2.0) * co;
    a2 = one - alpha;
    break;
  case 4: // notch
    v.a = Exp(gain * c(kLn10Over20));
    b0 = one;
    b1 = c(-2.0) * co;
    b2 = one;
    a0 = one + alpha;
    a1 = c(-2.0) * co;
    a2 = one - alpha;
    break;
  case 5: // all-pass
    v.a = Exp(gain * c(kLn10Over20));
    b0 = one - alpha;
    b1 = c(-2.0) * co;
    b2 = one + alpha;
    a0 = one + alpha;
    a1 = c(-2.0) * co;
    a2 = one - alpha;
    break;
  case 7: // low shelf
  {
    const V A = Exp(gain * c(kLn10Over40));
    v.a = A;
    const V t = c(2.0) * SquareRoot(A) * alpha;
    b0 = A * ((A + one) - (A - one) * co + t);
    b1 = c(2.0) * A * ((A - one) - (A + one) * co);
    b2 = A * ((A + one) - (A - one) * co - t);
    a0 = (A + one) + (A - one) * co + t;
    a1 = c(-2.0) * ((A - one) + (A + one) * co);
    a2 = (A + one) + (A - one) * co - t;
    break;
  }
  case 8: // high shelf
  {
    const V A = Exp(gain * c(kLn10Over40));
    v.a = A;
    const V t = c(2.0) * SquareRoot(A) * alpha;
    b0 = A * ((A + one) + (A - one) * co + t);
    b1 = c(-2.0) * A * ((A - one) + (A + one) * co);
    b2 = A * ((A + one) + (A - one) * co - t);
    a0 = (A + one) - (A - one) * co + t;
    a1 = c(2.0) * ((A - one) - (A + one) * co);
    a2 = (A + one) - (A - one) * co - t;
    break;
  }
  default: // peaking, and any unknown type number
  {
    const V A = Exp(gain * c(kLn10Over40));
    v.a = A;
    b0 = one + alpha * A;
    b1 = c(-2.0) * co;
    b2 = one - alpha * A;
    a0 = one + (one / A) * alpha;
    a1 = c(-2.0) * co;
    a2 = one - (one / A) * alpha;
    break;
  }
  }

  const V k = one / a0;
  v.b0 = b0 * k;
  v.b1 = b1 * k;
  v.b2 = b2 * k;
  v.a1 = a1 * k;
  v.a2 = a2 * k;
  return v;
}

} // namespace ondrell

#pragma once

#include "engine/SimdLanes.h"

namespace ondrell {

// sin(x) for |x| <= 1, the range the shaper's clamped input is in, without a library call: the Taylor series
// to x^17, whose next term (x^19 / 19! < 8.3e-18) lies below half an ulp of the result, evaluated by Horner's
// rule in x^2 as x + x z P(z). Within 1 ulp of the true sine (measured in ShaperSineTest); the same
// operations on one double and on each lane of Lanes2, so scalar and vector results are identical.
// Threads: pure functions.
namespace shaper_sine {

inline constexpr double kC3 = -1.0 / 6.0;
inline constexpr double kC5 = 1.0 / 120.0;
inline constexpr double kC7 = -1.0 / 5040.0;
inline constexpr double kC9 = 1.0 / 362880.0;
inline constexpr double kC11 = -1.0 / 39916800.0;
inline constexpr double kC13 = 1.0 / 6227020800.0;
inline constexpr double kC15 = -1.0 / 1307674368000.0;
inline constexpr double kC17 = 1.0 / 355687428096000.0;

} // namespace shaper_sine

inline double ShaperSine(double x)
{
  using namespace shaper_sine;
  const double z = x * x;
  double p = kC17;
  p = p * z + kC15;
  p = p * z + kC13;
  p = p * z + kC11;
  p = p * z + kC9;
  p = p * z + kC7;
  p = p * z + kC5;
  p = p * z + kC3;
  return x + x * z * p;
}

inline simd::Lanes2 ShaperSine(simd::Lanes2 x)
{
  using namespace shaper_sine;
  using simd::Lanes2;
  const Lanes2 z = x * x;
  Lanes2 p = Lanes2::Both(kC17);
  p = p * z + Lanes2::Both(kC15);
  p = p * z + Lanes2::Both(kC13);
  p = p * z + Lanes2::Both(kC11);
  p = p * z + Lanes2::Both(kC9);
  p = p * z + Lanes2::Both(kC7);
  p = p * z + Lanes2::Both(kC5);
  p = p * z + Lanes2::Both(kC3);
  return x + x * z * p;
}

} // namespace ondrell

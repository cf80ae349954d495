#pragma once

#include "engine/SimdLanes.h"

#include <cmath>
#include <initializer_list>

namespace ondrell {

// Sine, cosine and the exponential for the filter coefficients, written once for one double and for Lanes2, so
// that a section computed alone (BiquadSection) and many computed together in vectors (the chain's glide) get
// the same values bit for bit. Within 1 ulp of the true values (ElementaryMathTest): the same class as the C
// library, whose own results they may differ from by that ulp.
// - SinCos: x reduced by the nearest multiple k of pi/2 in three parts (Cody and Waite; k pi/2 exact for
//   |x| < 1e5), then the Taylor series of sine to r^17 and cosine to r^18 on |r| <= pi/4, whose next terms lie
//   below 2e-19, and the quadrant k mod 4.
// - Exp: x reduced by the nearest multiple k of ln 2 in two parts, the Taylor series to r^13 on |r| <= ln 2 / 2
//   (next term below 5e-18), scaled by 2^k.
// Arguments beyond those ranges (|x| >= 1e5 for the trigonometric functions, |x| > 700 for the exponential),
// infinities and NaN go to the C library.
// Threads: pure functions.
namespace elementary {

inline constexpr double kRoundingMagic = 6755399441055744.0; // 1.5 x 2^52: x + it - it rounds x to a whole number
inline constexpr double kTwoOverPi = 0.6366197723675814;
inline constexpr double kHalfPi1 = 1.5707963267341256; // pi/2 = kHalfPi1 + kHalfPi2 + kHalfPi3, 33 bits each
inline constexpr double kHalfPi2 = 6.077100506303966e-11;
inline constexpr double kHalfPi3 = 2.0222662487959506e-21;
inline constexpr double kTrigLimit = 1e5;
inline constexpr double kOneOverLn2 = 1.4426950408889634;
inline constexpr double kLn2High = 0.6931471806019545; // ln 2 = kLn2High + kLn2Low, the first with 32 bits
inline constexpr double kLn2Low = -4.2009150726810846e-11;
inline constexpr double kExpLimit = 700.0;

// The scalar forms of the lane operations.
inline bool Less(double a, double b) { return a < b; }
inline bool NotLess(double a, double b) { return !(a < b); }
inline bool Equal(double a, double b) { return a == b; }
inline double Select(bool mask, double a, double b) { return mask ? a : b; }
inline bool Any(bool mask) { return mask; }
inline double Abs(double x) { return std::fabs(x); }
inline double ScaleByPowerOfTwo(double a, double k) { return std::ldexp(a, static_cast<int>(k)); }
inline double Both(double x, double) { return x; }
inline simd::Lanes2 Both(double x, simd::Lanes2) { return simd::Lanes2::Both(x); }
using simd::Abs;
using simd::Any;
using simd::Equal;
using simd::Less;
using simd::NotLess;
using simd::ScaleByPowerOfTwo;
using simd::Select;

inline double LibrarySin(double x) { return std::sin(x); }
inline double LibraryCos(double x) { return std::cos(x); }
inline double LibraryExp(double x) { return std::exp(x); }
inline simd::Lanes2 LibrarySin(simd::Lanes2 x) { return simd::Lanes2::Of(std::sin(x.Lane0()), std::sin(x.Lane1())); }
inline simd::Lanes2 LibraryCos(simd::Lanes2 x) { return simd::Lanes2::Of(std::cos(x.Lane0()), std::cos(x.Lane1())); }
inline simd::Lanes2 LibraryExp(simd::Lanes2 x) { return simd::Lanes2::Of(std::exp(x.Lane0()), std::exp(x.Lane1())); }

template <typename V>
V Round(V x)
{
  const V magic = Both(kRoundingMagic, x);
  return (x + magic) - magic;
}

} // namespace elementary

template <typename V>
void SinCos(V x, V& sine, V& cosine)
{
  using namespace elementary;
  const auto c = [x](double value) { return Both(value, x); };
  const V k = Round(x * c(kTwoOverPi));
  const V r = ((x - k * c(kHalfPi1)) - k * c(kHalfPi2)) - k * c(kHalfPi3);
  const V z = r * r;
  V ps = c(1.0 / 355687428096000.0);
  for (double coefficient : {-1.0 / 1307674368000.0, 1.0 / 6227020800.0, -1.0 / 39916800.0, 1.0 / 362880.0,
                             -1.0 / 5040.0, 1.0 / 120.0, -1.0 / 6.0})
    ps = ps * z + c(coefficient);
  const V s = r + r * z * ps;
  V pc = c(-1.0 / 6402373705728000.0);
  for (double coefficient : {1.0 / 20922789888000.0, -1.0 / 87178291200.0, 1.0 / 479001600.0, -1.0 / 3628800.0,
                             1.0 / 40320.0, -1.0 / 720.0, 1.0 / 24.0, -0.5})
    pc = pc * z + c(coefficient);
  const V co = c(1.0) + z * pc;
  // The quadrant q = k mod 4: k / 4 - 3/8 lies within 1/2 of floor(k / 4).
  const V quadrant = k - c(4.0) * Round(k * c(0.25) - c(0.375));
  const auto is = [&](double q) { return Equal(quadrant, c(q)); };
  sine = Select(is(0.0), s, Select(is(1.0), co, Select(is(2.0), -s, -co)));
  cosine = Select(is(0.0), co, Select(is(1.0), -s, Select(is(2.0), -co, s)));
  const auto outside = NotLess(Abs(x), c(kTrigLimit));
  if (Any(outside))
  {
    sine = Select(outside, LibrarySin(x), sine);
    cosine = Select(outside, LibraryCos(x), cosine);
  }
}

template <typename V>
V Exp(V x)
{
  using namespace elementary;
  const auto c = [x](double value) { return Both(value, x); };
  const V k = Round(x * c(kOneOverLn2));
  const V r = (x - k * c(kLn2High)) - k * c(kLn2Low);
  V p = c(1.0 / 6227020800.0);
  for (double coefficient : {1.0 / 479001600.0, 1.0 / 39916800.0, 1.0 / 3628800.0, 1.0 / 362880.0, 1.0 / 40320.0,
                             1.0 / 5040.0, 1.0 / 720.0, 1.0 / 120.0, 1.0 / 24.0, 1.0 / 6.0, 0.5, 1.0, 1.0})
    p = p * r + c(coefficient);
  V result = ScaleByPowerOfTwo(p, k);
  const auto outside = NotLess(Abs(x), c(kExpLimit));
  if (Any(outside))
    result = Select(outside, LibraryExp(x), result);
  return result;
}

} // namespace ondrell

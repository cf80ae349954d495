#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <type_traits>

// The functions below take and return vectors by value and are always inlined, into code compiled for the
// vector width in use, so the calling convention GCC warns about never applies.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace ondrell::coefficient_math {

// The cosine, sine and exponential the biquad sections compute their coefficients with, written once for one
// double and for vectors of W doubles (the compiler's vector extension), with the same operations in the same
// order on every lane, so a batch of coefficient computations on vectors gives bit for bit what the sections'
// scalar computation gives, on every processor and in every build. No fused multiply-add is formed
// (-ffp-contract=off). Within its range each is within 2 ulp of the C library's (CoefficientMathTest);
// outside it (beyond |x| = 2^19 for the cosine and sine, 700 for the exponential, or not finite) the C library
// answers, lane by lane.
// Threads: pure functions.

using Double2 = double __attribute__((vector_size(16)));
using Double4 = double __attribute__((vector_size(32)));
using Double8 = double __attribute__((vector_size(64)));

template <int W>
struct Vector;
template <>
struct Vector<1>
{
  using D = double;
};
template <>
struct Vector<2>
{
  using D = Double2;
};
template <>
struct Vector<4>
{
  using D = Double4;
};
template <>
struct Vector<8>
{
  using D = Double8;
};

// Lanes of a double (1) or of a vector, and the integer type of the same shape (a vector's comparisons give it).
template <typename D>
inline constexpr int kLanes = static_cast<int>(sizeof(D) / sizeof(double));
template <typename D>
using IntOf = std::conditional_t<kLanes<D> == 1, int64_t, decltype(D{} < D{})>;

template <typename D>
[[gnu::always_inline]] inline double Lane(const D& v, int l)
{
  if constexpr (kLanes<D> == 1)
    return (void)l, v;
  else
    return v[l];
}

template <typename D>
[[gnu::always_inline]] inline void SetLane(D& v, int l, double x)
{
  if constexpr (kLanes<D> == 1)
    (void)l, v = x;
  else
    v[l] = x;
}

// Lane-wise `condition ? a : b` for a comparison's result.
template <typename D, typename M>
[[gnu::always_inline]] inline D Select(M condition, D a, D b)
{
  return condition ? a : b;
}

template <typename D>
[[gnu::always_inline]] inline D Sqrt(D x)
{
  if constexpr (kLanes<D> == 1)
    return std::sqrt(x);
  else
  {
    for (int l = 0; l < kLanes<D>; ++l)
      x[l] = std::sqrt(x[l]);
    return x;
  }
}

// 1.5 x 2^52: adding and subtracting it rounds a double of magnitude below 2^51 to the nearest whole number,
// which then also stands in the low bits of the sum.
inline constexpr double kRoundingShift = 6755399441055744.0;

inline constexpr double kTwoOverPi = 0.6366197723675814;
// pi/2 in three parts: the first two have 33 significant bits, so q times either is exact for |q| < 2^20.
inline constexpr double kHalfPi1 = 1.5707963267341256;
inline constexpr double kHalfPi2 = 6.077100506303966e-11;
inline constexpr double kHalfPi3 = 2.0222662487959506e-21;
inline constexpr double kTrigLimit = 524288.0; // 2^19

// Taylor coefficients 1/n!: for |r| <= pi/4 the first omitted term lies below half an ulp of the result.
inline constexpr double kInvFact[] = {
  1.0,
  1.0,
  1.0 / 2.0,
  1.0 / 6.0,
  1.0 / 24.0,
  1.0 / 120.0,
  1.0 / 720.0,
  1.0 / 5040.0,
  1.0 / 40320.0,
  1.0 / 362880.0,
  1.0 / 3628800.0,
  1.0 / 39916800.0,
  1.0 / 479001600.0,
  1.0 / 6227020800.0,
  1.0 / 87178291200.0,
  1.0 / 1307674368000.0,
  1.0 / 20922789888000.0,
  1.0 / 355687428096000.0,
  1.0 / 6402373705728000.0,
};

template <typename D>
struct CosSinResult
{
  D c, s;
};

// cos(x) and sin(x): x reduced by the nearest multiple q of pi/2 to |r| <= pi/4, the Taylor series of both there
// (sine to r^17, cosine to r^18, by Horner's rule in r^2), and the pair rotated by q quarter turns.
template <typename D>
[[gnu::always_inline]] inline CosSinResult<D> CosSin(D x)
{
  using I = IntOf<D>;
  const D shifted = x * kTwoOverPi + kRoundingShift;
  const D q = shifted - kRoundingShift;
  const D r = ((x - q * kHalfPi1) - q * kHalfPi2) - q * kHalfPi3;
  const D z = r * r;

  D ps = D{} + -kInvFact[17];
  ps = ps * z + kInvFact[15];
  ps = ps * z + -kInvFact[13];
  ps = ps * z + kInvFact[11];
  ps = ps * z + -kInvFact[9];
  ps = ps * z + kInvFact[7];
  ps = ps * z + -kInvFact[5];
  ps = ps * z + kInvFact[3];
  const D sinR = r - r * z * ps;

  D pc = D{} + -kInvFact[18];
  pc = pc * z + kInvFact[16];
  pc = pc * z + -kInvFact[14];
  pc = pc * z + kInvFact[12];
  pc = pc * z + -kInvFact[10];
  pc = pc * z + kInvFact[8];
  pc = pc * z + -kInvFact[6];
  pc = pc * z + kInvFact[4];
  const D cosR = (1.0 - z * 0.5) + z * z * pc;

  const I quadrant = std::bit_cast<I>(shifted) & 3;
  const auto odd = (quadrant & 1) != 0;
  const D c0 = Select(odd, -sinR, cosR);
  const D s0 = Select(odd, cosR, sinR);
  const auto negate = (quadrant & 2) != 0;
  CosSinResult<D> out{Select(negate, -c0, c0), Select(negate, -s0, s0)};

  const auto inRange = (x < kTrigLimit) & (x > -kTrigLimit);
  if constexpr (kLanes<D> == 1)
  {
    if (!inRange) [[unlikely]]
      out = {std::cos(x), std::sin(x)};
  }
  else
  {
    for (int l = 0; l < kLanes<D>; ++l)
      if (!inRange[l]) [[unlikely]]
      {
        out.c[l] = std::cos(x[l]);
        out.s[l] = std::sin(x[l]);
      }
  }
  return out;
}

inline constexpr double kInvLn2 = 1.4426950408889634;
// ln 2 in two parts: the first has 32 significant bits, so n times it is exact for |n| < 2^21.
inline constexpr double kLn2Hi = 0.6931471803691238;
inline constexpr double kLn2Lo = 1.9082149292705877e-10;
inline constexpr double kExpLimit = 700.0;

// exp(x): x = n ln 2 + r with |r| <= ln 2 / 2, the Taylor series of exp(r) to r^14 (Horner's rule), scaled by 2^n
// through the exponent bits.
template <typename D>
[[gnu::always_inline]] inline D Exp(D x)
{
  using I = IntOf<D>;
  const D shifted = x * kInvLn2 + kRoundingShift;
  const D n = shifted - kRoundingShift;
  const D r = (x - n * kLn2Hi) - n * kLn2Lo;
  D p = D{} + kInvFact[14];
  for (int k = 13; k >= 1; --k)
    p = p * r + kInvFact[k];
  p = p * r + 1.0;
  const I whole = std::bit_cast<I>(shifted) - std::bit_cast<int64_t>(kRoundingShift);
  D out = p * std::bit_cast<D>((whole + 1023) << 52);

  const auto inRange = (x < kExpLimit) & (x > -kExpLimit);
  if constexpr (kLanes<D> == 1)
  {
    if (!inRange) [[unlikely]]
      out = std::exp(x);
  }
  else
  {
    for (int l = 0; l < kLanes<D>; ++l)
      if (!inRange[l]) [[unlikely]]
        out[l] = std::exp(x[l]);
  }
  return out;
}

} // namespace ondrell::coefficient_math

#pragma GCC diagnostic pop

#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

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

// W doubles: one double, or a vector of W.
template <int W>
  requires(W == 1 || W == 2 || W == 4 || W == 8)
using Vector = std::conditional_t<W == 1, double,
                                  std::conditional_t<W == 2, Double2, std::conditional_t<W == 4, Double4, Double8>>>;

// Lanes of a double (1) or of a vector, and the integer type of the same shape (a vector's comparisons give it).
template <typename D>
inline constexpr int kLanes = static_cast<int>(sizeof(D) / sizeof(double));
template <typename D>
using IntOf = std::conditional_t<kLanes<D> == 1, int64_t, decltype(D{} < D{})>;

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

inline constexpr double kInvLn2 = 1.4426950408889634;
// ln 2 in two parts: the first has 32 significant bits, so n times it is exact for |n| < 2^21.
inline constexpr double kLn2Hi = 0.6931471803691238;
inline constexpr double kLn2Lo = 1.9082149292705877e-10;
inline constexpr double kExpLimit = 700.0;

// The scalar forms (the kernels' own instances: engine/BiquadKernels.inc).
double Cosine(double x);
double Sine(double x);
double Exponential(double x);

} // namespace ondrell::coefficient_math


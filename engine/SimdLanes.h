#pragma once

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QUORL_HAS_SSE2 1
#endif

#include <limits>

namespace ondrell::simd {

// Two doubles processed together, one per channel: lane 0 is channel 0 (mono or left), lane 1 channel 1. Every
// operation works lane by lane with exactly the rounding of the same scalar operation, so a computation written
// once on Lanes2 gives both channels what the scalar code gives each of them. SSE2 is the x86-64 baseline; other
// processors get the same operations on plain doubles.
// Threads: a value type without shared state.
#if QUORL_HAS_SSE2
struct Lanes2
{
  __m128d v;

  static Lanes2 Zero() { return {_mm_setzero_pd()}; }
  static Lanes2 Both(double x) { return {_mm_set1_pd(x)}; }
  static Lanes2 Of(double lane0, double lane1) { return {_mm_set_pd(lane1, lane0)}; }
  // Two consecutive doubles: an interleaved stereo frame.
  static Lanes2 Load(const double* frame) { return {_mm_loadu_pd(frame)}; }
  void Store(double* frame) const { _mm_storeu_pd(frame, v); }
  double Lane0() const { return _mm_cvtsd_f64(v); }
  double Lane1() const { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }
};

inline Lanes2 operator+(Lanes2 a, Lanes2 b) { return {_mm_add_pd(a.v, b.v)}; }
inline Lanes2 operator-(Lanes2 a, Lanes2 b) { return {_mm_sub_pd(a.v, b.v)}; }
inline Lanes2 operator*(Lanes2 a, Lanes2 b) { return {_mm_mul_pd(a.v, b.v)}; }
inline Lanes2 operator/(Lanes2 a, Lanes2 b) { return {_mm_div_pd(a.v, b.v)}; }
inline Lanes2 Min(Lanes2 a, Lanes2 b) { return {_mm_min_pd(a.v, b.v)}; }
inline Lanes2 Max(Lanes2 a, Lanes2 b) { return {_mm_max_pd(a.v, b.v)}; }
inline Lanes2 Abs(Lanes2 a) { return {_mm_andnot_pd(_mm_set1_pd(-0.0), a.v)}; }
// Finite lanes keep their value; NaN and infinities become 0.
inline Lanes2 FiniteOrZero(Lanes2 a)
{
  const __m128d finite = _mm_cmple_pd(Abs(a).v, _mm_set1_pd(std::numeric_limits<double>::max()));
  return {_mm_and_pd(a.v, finite)};
}
#else
struct Lanes2
{
  double v[2];

  static Lanes2 Zero() { return {{0.0, 0.0}}; }
  static Lanes2 Both(double x) { return {{x, x}}; }
  static Lanes2 Of(double lane0, double lane1) { return {{lane0, lane1}}; }
  static Lanes2 Load(const double* frame) { return {{frame[0], frame[1]}}; }
  void Store(double* frame) const
  {
    frame[0] = v[0];
    frame[1] = v[1];
  }
  double Lane0() const { return v[0]; }
  double Lane1() const { return v[1]; }
};

inline Lanes2 operator+(Lanes2 a, Lanes2 b) { return {{a.v[0] + b.v[0], a.v[1] + b.v[1]}}; }
inline Lanes2 operator-(Lanes2 a, Lanes2 b) { return {{a.v[0] - b.v[0], a.v[1] - b.v[1]}}; }
inline Lanes2 operator*(Lanes2 a, Lanes2 b) { return {{a.v[0] * b.v[0], a.v[1] * b.v[1]}}; }
inline Lanes2 operator/(Lanes2 a, Lanes2 b) { return {{a.v[0] / b.v[0], a.v[1] / b.v[1]}}; }
// Lane-wise as the SSE2 instructions: the second operand when either is NaN.
inline Lanes2 Min(Lanes2 a, Lanes2 b) { return {{a.v[0] < b.v[0] ? a.v[0] : b.v[0], a.v[1] < b.v[1] ? a.v[1] : b.v[1]}}; }
inline Lanes2 Max(Lanes2 a, Lanes2 b) { return {{a.v[0] > b.v[0] ? a.v[0] : b.v[0], a.v[1] > b.v[1] ? a.v[1] : b.v[1]}}; }
inline Lanes2 Abs(Lanes2 a) { return {{a.v[0] < 0.0 ? -a.v[0] : a.v[0], a.v[1] < 0.0 ? -a.v[1] : a.v[1]}}; }
inline Lanes2 FiniteOrZero(Lanes2 a)
{
  const double max = std::numeric_limits<double>::max();
  const auto keep = [max](double x) { return (x < 0.0 ? -x : x) <= max ? x : 0.0; };
  return {{keep(a.v[0]), keep(a.v[1])}};
}
#endif

inline Lanes2& operator+=(Lanes2& a, Lanes2 b) { return a = a + b; }

// The scalar counterpart of FiniteOrZero.
inline double FiniteOrZero(double x)
{
  return (x < 0.0 ? -x : x) <= std::numeric_limits<double>::max() ? x : 0.0;
}

} // namespace ondrell::simd

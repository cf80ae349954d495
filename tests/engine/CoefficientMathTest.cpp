#include "engine/BiquadDesign.h"
#include "engine/CoefficientMath.h"
#include "engine/WideTarget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace cm = ondrell::coefficient_math;

namespace {

// Distance in units in the last place from the value computed in extended precision.
double UlpError(double got, long double truth)
{
  const double t = static_cast<double>(truth);
  const double ulp = std::nextafter(std::fabs(t), std::numeric_limits<double>::infinity()) - std::fabs(t);
  return static_cast<double>(std::fabs(static_cast<long double>(got) - truth) / ulp);
}

// cos(w) and sin(w) in extended precision, independently of any library (whose long double functions are not
// accurate everywhere, MinGW's among them): w reduced by the nearest multiple of pi/2, given in three parts whose
// first two have 40 bits (so their products with the multiple are exact), then the Taylor series to r^29.
void TrueCosSin(double w, long double& c, long double& s)
{
  const long double p1 = 0x1.921fb54442p+0L;
  const long double p2 = 0x1.a308d31318p-41L;
  const long double p3 = 6.3683171635109501396e-25L;
  const long double x = w;
  const long double k = std::floor(x / (p1 + p2) + 0.5L);
  const long double r = ((x - k * p1) - k * p2) - k * p3;
  long double term = r, sinR = 0.0L, cosR = 0.0L, cosTerm = 1.0L;
  for (int n = 1; n < 30; n += 2)
  {
    sinR += term;
    cosR += cosTerm;
    term *= -r * r / static_cast<long double>((n + 1) * (n + 2));
    cosTerm *= -r * r / static_cast<long double>(n * (n + 1));
  }
  switch (static_cast<long long>(k) & 3)
  {
  case 0: c = cosR, s = sinR; break;
  case 1: c = -sinR, s = cosR; break;
  case 2: c = -cosR, s = -sinR; break;
  default: c = sinR, s = -cosR; break;
  }
}

std::vector<ondrell::WideKernels> KernelsHere()
{
  std::vector<ondrell::WideKernels> kernels = {ondrell::WideKernels::Sse2};
  if (ondrell::DetectWideKernels() != ondrell::WideKernels::Sse2)
    kernels.push_back(ondrell::WideKernels::Avx2);
  if (ondrell::DetectWideKernels() == ondrell::WideKernels::Avx512)
    kernels.push_back(ondrell::WideKernels::Avx512);
  return kernels;
}

} // namespace

// The cosine and sine of every angle a section can have (0 to pi, the whole audio range, and beyond, for corners
// above half the rate) and the exponential of every gain a section uses (and far beyond) lie within 2 ulp of the
// values computed in extended precision.
TEST(CoefficientMath, WithinTwoUlpOverTheRangesTheSectionsUse)
{
  std::mt19937_64 rng(17);
  std::uniform_real_distribution<double> angle(0.0, 40.0);
  std::uniform_real_distribution<double> exponent(-40.0, 40.0);
  double worstCos = 0.0, worstSin = 0.0, worstExp = 0.0;
  const auto checkAngle = [&](double w) {
    long double c = 0.0L, s = 0.0L;
    TrueCosSin(w, c, s);
    worstCos = std::max(worstCos, UlpError(cm::Cosine(w), c));
    worstSin = std::max(worstSin, UlpError(cm::Sine(w), s));
  };
  for (int i = 0; i <= 400000; ++i)
    checkAngle(3.141592653589793 * i / 400000.0);
  for (int i = 0; i < 400000; ++i)
    checkAngle(angle(rng));
  for (double w : {1e-5, 2.6e-4, 0.7853981633974483, 1.5707963267948966, 3.141592653589793, 4.71238898038469,
                   6.283185307179586, 1000.0, 524287.9})
    checkAngle(w);
  for (int i = 0; i < 400000; ++i)
  {
    const double x = exponent(rng);
    worstExp = std::max(worstExp, UlpError(cm::Exponential(x), std::exp(static_cast<long double>(x))));
  }
  for (double x : {0.0, -0.0, 1e-300, 0.34657359027997264, -0.34657359027997264, 699.9, -699.9, 1.0})
    worstExp = std::max(worstExp, UlpError(cm::Exponential(x), std::exp(static_cast<long double>(x))));
  std::printf("[ math     ] largest error: cosine %.2f ulp, sine %.2f ulp, exponential %.2f ulp\n", worstCos, worstSin,
              worstExp);
  EXPECT_LE(worstCos, 2.0);
  EXPECT_LE(worstSin, 2.0);
  EXPECT_LE(worstExp, 2.0);
}

// Outside the ranges the C library answers: huge and non-finite angles, exponents past overflow and underflow.
// (Through a volatile, so that the compiler does not compute the library's value itself.)
TEST(CoefficientMath, OutsideItsRangeTheLibraryAnswers)
{
  for (double w : {524288.0, -524288.0, 1e7, 1e300})
  {
    volatile double opaque = w;
    EXPECT_EQ(cm::Cosine(w), std::cos(opaque)) << w;
    EXPECT_EQ(cm::Sine(w), std::sin(opaque)) << w;
  }
  for (double w : {HUGE_VAL, -HUGE_VAL, std::nan("")})
  {
    EXPECT_TRUE(std::isnan(cm::Cosine(w))) << w;
    EXPECT_TRUE(std::isnan(cm::Sine(w))) << w;
  }
  EXPECT_EQ(cm::Exponential(800.0), HUGE_VAL);
  EXPECT_EQ(cm::Exponential(-800.0), 0.0);
  EXPECT_EQ(cm::Exponential(HUGE_VAL), HUGE_VAL);
  EXPECT_EQ(cm::Exponential(-HUGE_VAL), 0.0);
  volatile double limit = 700.0;
  EXPECT_EQ(cm::Exponential(700.0), std::exp(limit));
  EXPECT_TRUE(std::isnan(cm::Exponential(std::nan(""))));
}

// A batch gives what one computation at a time gives, bit for bit, for every response type and every vector
// variant: random values, runs that share their angle or their gain (computed once), lengths that leave a tail
// shorter than a vector, and values out of the functions' ranges in some lanes.
TEST(CoefficientMath, BatchesGiveTheScalarResultsBitForBit)
{
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> q(0.3, 8.0), hz(1.0, 30000.0), dB(-30.0, 30.0);
  // The same bits, or both NaN (which NaN an operation passes on depends on its operands' order).
  const auto same = [](double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
  };
  for (ondrell::WideKernels kernels : KernelsHere())
  {
    const ondrell::BiquadDesignBatchFunction design = ondrell::SelectBiquadDesignBatch(kernels);
    for (int type = -1; type <= 9; ++type)
      for (int shape = 0; shape < 4; ++shape)
      {
        const int first = 1 + shape;
        const int count = 64 - shape * 7;
        const int rate = shape == 3 ? 8000 : 48000;
        ondrell::BiquadDesignBatch batch{};
        for (int j = first; j < first + count; ++j)
        {
          batch.q[j] = shape == 1 ? 0.7 : q(rng);
          batch.hz[j] = shape == 1 ? 12000.0 : hz(rng);
          batch.dB[j] = shape == 2 ? -4.5 : dB(rng);
        }
        if (shape == 3)
        {
          batch.hz[first + 2] = 1e12; // an angle past the polynomial's range
          batch.dB[first + 5] = 9000.0; // an exponent past it
          batch.hz[first + 9] = std::nan("");
        }
        design(type, rate, first, count, batch);
        for (int j = first; j < first + count; ++j)
        {
          const ondrell::BiquadDesign<double> e =
            ondrell::DesignBiquad(type, batch.q[j], batch.hz[j], batch.dB[j], static_cast<double>(rate));
          const ondrell::BiquadDesign<double> g = batch.Result(j);
          const bool equal = same(g.A, e.A) && same(g.w0, e.w0) && same(g.sinW0, e.sinW0) && same(g.cosW0, e.cosW0)
                             && same(g.alpha, e.alpha) && same(g.b0, e.b0) && same(g.b1, e.b1)
                             && same(g.b2, e.b2) && same(g.a1, e.a1) && same(g.a2, e.a2);
          ASSERT_TRUE(equal) << "kernels " << static_cast<int>(kernels) << " type " << type << " shape " << shape
                             << " entry " << j;
        }
      }
  }
}

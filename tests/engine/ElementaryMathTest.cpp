#include "engine/ElementaryMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>

using ondrell::simd::Lanes2;

namespace {

int64_t UlpDistance(double a, double b)
{
  if (a == b)
    return 0;
  int64_t ia = 0, ib = 0;
  std::memcpy(&ia, &a, sizeof a);
  std::memcpy(&ib, &b, sizeof b);
  if ((ia < 0) != (ib < 0))
    return INT64_MAX;
  return ia > ib ? ia - ib : ib - ia;
}

} // namespace

// Over the arguments the coefficients take (w0 = 2 pi f / rate: 0 to about 10; the exponent of A: -3 to 3) and
// far beyond, sine, cosine and exponential lie within 1 ulp of the values computed in extended precision, the
// vector forms give the scalar forms' results lane by lane, and arguments out of range reach the C library.
TEST(ElementaryMath, WithinOneUlpAndTheSameInVectors)
{
  std::mt19937_64 rng(17);
  int64_t worstSin = 0, worstCos = 0, worstExp = 0;
  const auto check = [&](double x, double e) {
    double s = 0.0, c = 0.0;
    ondrell::SinCos(x, s, c);
    worstSin = std::max(worstSin, UlpDistance(s, static_cast<double>(std::sin(static_cast<long double>(x)))));
    worstCos = std::max(worstCos, UlpDistance(c, static_cast<double>(std::cos(static_cast<long double>(x)))));
    const double ex = ondrell::Exp(e);
    worstExp = std::max(worstExp, UlpDistance(ex, static_cast<double>(std::exp(static_cast<long double>(e)))));
    Lanes2 vs, vc;
    ondrell::SinCos(Lanes2::Of(x, -x), vs, vc);
    double s2 = 0.0, c2 = 0.0;
    ondrell::SinCos(-x, s2, c2);
    ASSERT_EQ(vs.Lane0(), s) << x;
    ASSERT_EQ(vc.Lane0(), c) << x;
    ASSERT_EQ(vs.Lane1(), s2) << x;
    ASSERT_EQ(vc.Lane1(), c2) << x;
    const Lanes2 ve = ondrell::Exp(Lanes2::Of(-e, e));
    ASSERT_EQ(ve.Lane1(), ex) << e;
    ASSERT_EQ(ve.Lane0(), ondrell::Exp(-e)) << e;
  };
  std::uniform_real_distribution<double> w(0.0, 10.0), g(-3.0, 3.0), wide(-2000.0, 2000.0), huge(-650.0, 650.0);
  for (int i = 0; i < 300000; ++i)
    check(w(rng), g(rng));
  for (int i = 0; i < 100000; ++i)
    check(wide(rng), huge(rng));
  for (double x : {0.0, 1e-300, 1e-8, 0.7853981633974483, 1.5707963267948966, 3.141592653589793, 99999.0})
    check(x, x / 1000.0);
  std::printf("[ math     ] largest distance from the true values: sine %lld, cosine %lld, exponential %lld ulp\n",
              static_cast<long long>(worstSin), static_cast<long long>(worstCos), static_cast<long long>(worstExp));
  EXPECT_LE(worstSin, 1);
  EXPECT_LE(worstCos, 1);
  EXPECT_LE(worstExp, 1);

  // Beyond the reduction's range, and infinities and NaN: the library's answers.
  for (double x : {2e5, -1e9, 1e300, HUGE_VAL, -HUGE_VAL})
  {
    double s = 0.0, c = 0.0;
    ondrell::SinCos(x, s, c);
    EXPECT_TRUE(std::isnan(std::sin(x)) ? std::isnan(s) : s == std::sin(x)) << x;
    EXPECT_TRUE(std::isnan(std::cos(x)) ? std::isnan(c) : c == std::cos(x)) << x;
  }
  for (double e : {701.0, -745.0, 1e6, HUGE_VAL, -HUGE_VAL})
    EXPECT_EQ(ondrell::Exp(e), std::exp(e)) << e;
  double s = 0.0, c = 0.0;
  ondrell::SinCos(std::nan(""), s, c);
  EXPECT_TRUE(std::isnan(s) && std::isnan(c));
  EXPECT_TRUE(std::isnan(ondrell::Exp(std::nan(""))));
}

#include "engine/ShaperSine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>

using ondrell::ShaperSine;
using ondrell::simd::Lanes2;

namespace {

// Distance in units in the last place between two doubles of the same sign.
int64_t UlpDistance(double a, double b)
{
  int64_t ia = 0, ib = 0;
  std::memcpy(&ia, &a, sizeof a);
  std::memcpy(&ib, &b, sizeof b);
  return ia > ib ? ia - ib : ib - ia;
}

} // namespace

// Over [-1, 1] - a dense grid, random points and the ends - the polynomial lies within 1 ulp of the sine
// computed in extended precision and of std::sin, gives exactly x where sin(x) rounds to x, and the vector form
// gives the scalar form's result in each lane.
TEST(ShaperSine, WithinOneUlpOfTheSineOnTheClampedRange)
{
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  int64_t worstTrue = 0, worstStd = 0;
  const auto check = [&](double x) {
    const double s = ShaperSine(x);
    const double truth = static_cast<double>(std::sin(static_cast<long double>(x)));
    if (x != 0.0)
    {
      worstTrue = std::max(worstTrue, UlpDistance(s, truth));
      worstStd = std::max(worstStd, UlpDistance(s, std::sin(x)));
    }
    const Lanes2 v = ShaperSine(Lanes2::Of(x, -x));
    ASSERT_EQ(v.Lane0(), s) << x;
    ASSERT_EQ(v.Lane1(), ShaperSine(-x)) << x;
  };
  for (int i = -200000; i <= 200000; ++i)
    check(i / 200000.0);
  for (int i = 0; i < 400000; ++i)
    check(uniform(rng));
  for (double x : {1.0, -1.0, 1e-8, -1e-8, 1e-300, 5e-324, 0.5})
    check(x);
  for (double x : {1e-9, -3e-12, 1e-300})
    EXPECT_EQ(ShaperSine(x), x);
  std::printf("[ sine     ] largest distance: %lld ulp from the true sine, %lld ulp from std::sin\n",
              static_cast<long long>(worstTrue), static_cast<long long>(worstStd));
  EXPECT_LE(worstTrue, 1);
  EXPECT_LE(worstStd, 1);
}

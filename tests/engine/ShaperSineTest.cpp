#include "engine/ShaperBlock.h"
#include "engine/ShaperSine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>
#include <algorithm>

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

namespace {

// The variants this processor can run, baseline first.
std::vector<ondrell::WideKernels> RunnableKernels()
{
  std::vector<ondrell::WideKernels> kernels = {ondrell::WideKernels::Sse2};
  const ondrell::WideKernels widest = ondrell::DetectWideKernels();
  if (widest != ondrell::WideKernels::Sse2)
    kernels.push_back(ondrell::WideKernels::Avx2);
  if (widest == ondrell::WideKernels::Avx512)
    kernels.push_back(ondrell::WideKernels::Avx512);
  return kernels;
}

} // namespace

// Every vector variant of the block functions gives the baseline's results bit for bit, for every length (the
// tails shorter than a vector included) and for input beyond +-1, NaN and infinities.
TEST(ShaperSine, BlockVariantsGiveTheSameResults)
{
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> uniform(-1.5, 1.5);
  std::vector<double> x(203);
  for (double& v : x)
    v = uniform(rng);
  x[5] = std::nan("");
  x[17] = HUGE_VAL;
  x[18] = -HUGE_VAL;
  x[40] = 1e-310;
  std::printf("[ kernels  ] variants run here: %zu\n", RunnableKernels().size());
  for (int count = 0; count <= static_cast<int>(x.size()); count += count < 20 ? 1 : 37)
  {
    std::vector<double> sines[3], outputs[3];
    const std::vector<ondrell::WideKernels> kernels = RunnableKernels();
    for (size_t k = 0; k < kernels.size(); ++k)
    {
      std::vector<double> finite(x.begin(), x.begin() + count);
      for (double& v : finite)
        v = std::isfinite(v) ? v : 0.0;
      sines[k].assign(static_cast<size_t>(count), -7.0);
      ondrell::SelectShaperBlock(kernels[k])(finite.data(), sines[k].data(), count);
      outputs[k].assign(x.begin(), x.begin() + count);
      ondrell::SelectOutputStage(kernels[k])(outputs[k].data(), outputs[k].data(), count, 0.01 + 4.0 / 60.0, 0.63);
      for (int j = 0; j < count; ++j)
      {
        ASSERT_EQ(std::memcmp(&sines[k][j], &sines[0][j], sizeof(double)), 0) << "variant " << k << ", " << j;
        ASSERT_EQ(std::memcmp(&outputs[k][j], &outputs[0][j], sizeof(double)), 0) << "variant " << k << ", " << j;
        ASSERT_TRUE(std::isfinite(outputs[k][j]));
        const double in = std::isfinite(x[j]) ? x[j] : 0.0;
        ASSERT_EQ(sines[0][j], ShaperSine(std::min(std::max(in, -1.0), 1.0))) << j;
      }
    }
  }
}

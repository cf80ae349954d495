#include "engine/Oversampler.h"
#include "engine/Resampler.h"
#include "tests/engine/SignalTools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

using ondrell::Oversampler;
using ondrell::Resampler;
using namespace quorl_test;

namespace {

// Sends x through an up/down pair in blocks of `block` samples and returns the base-rate output.
std::vector<double> ThroughPair(Resampler& up, Resampler& down, const std::vector<double>& x, int block)
{
  std::vector<double> y;
  for (size_t at = 0; at < x.size(); at += static_cast<size_t>(block))
  {
    const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(block), x.size() - at));
    double* high = nullptr;
    const int m = up.Process(x.data() + at, n, high);
    EXPECT_EQ(m, 4 * n);
    double* low = nullptr;
    const int k = down.Process(high, m, low);
    EXPECT_EQ(k, n);
    y.insert(y.end(), low, low + k);
  }
  return y;
}

size_t PeakIndex(const std::vector<double>& y)
{
  size_t peak = 0;
  for (size_t i = 1; i < y.size(); ++i)
    if (std::fabs(y[i]) > std::fabs(y[peak]))
      peak = i;
  return peak;
}

} // namespace

TEST(Resampler, EveryCallYieldsItsFullShare)
{
  for (int block : {1, 32, 100, 512, 1024})
  {
    Resampler up(48000.0, 192000.0, 1024, 10.0, 120.0, Resampler::PhaseResponse::Minimum);
    Resampler down(192000.0, 48000.0, 4096, 10.0, 120.0, Resampler::PhaseResponse::Minimum);
    ASSERT_TRUE(up.IsValid());
    ASSERT_TRUE(down.IsValid());
    std::vector<double> x(static_cast<size_t>(block) * std::max(4, 6000 / block));
    for (size_t i = 0; i < x.size(); ++i)
      x[i] = std::sin(0.05 * static_cast<double>(i));
    ThroughPair(up, down, x, block);
  }
}

// The reported latency of a pair is where an impulse comes out, to the sample, for every quality preset.
TEST(Resampler, ReportedLatencyIsTheDelayOfAnImpulse)
{
  for (int quality = 0; quality <= 5; ++quality)
  {
    const Oversampler::QualityPreset p = Oversampler::Preset(quality);
    Resampler up(48000.0, 192000.0, 1024, p.transitionBandPercent, p.attenuationDb, p.phase);
    Resampler down(192000.0, 48000.0, 4096, p.transitionBandPercent, p.attenuationDb, p.phase);
    const double latency = down.Latency() / 4.0 + up.Latency();
    std::vector<double> x(static_cast<size_t>(latency) + 4000, 0.0);
    const size_t at = 1237;
    x[at] = 0.5;
    const std::vector<double> y = ThroughPair(up, down, x, 512);
    EXPECT_NEAR(static_cast<double>(PeakIndex(y) - at), latency, 1.0) << "preset " << quality;
    // Nothing arrives before the impulse.
    for (size_t i = 0; i < at; ++i)
      ASSERT_EQ(y[i], 0.0) << i;
  }
}

TEST(Resampler, PassBandIsFlatAndImagesAreSuppressed)
{
  const double rate = 48000.0;
  Resampler up(rate, 4 * rate, 1024, 10.0, 120.0, Resampler::PhaseResponse::Minimum);
  Resampler down(4 * rate, rate, 4096, 10.0, 120.0, Resampler::PhaseResponse::Minimum);
  const int blocks = 120;
  std::vector<double> x(512 * blocks), high, low;
  for (size_t i = 0; i < x.size(); ++i)
    x[i] = 0.5 * std::sin(2.0 * kPi * 1000.0 * static_cast<double>(i) / rate);
  for (int b = 0; b < blocks; ++b)
  {
    double* h = nullptr;
    const int m = up.Process(x.data() + 512 * b, 512, h);
    high.insert(high.end(), h, h + m);
    double* l = nullptr;
    const int k = down.Process(h, m, l);
    low.insert(low.end(), l, l + k);
  }
  // Whole periods of 1 kHz, after the start-up: 192 samples per period at 192 kHz, 48 at 48 kHz.
  const size_t highWindow = 192 * 250;
  const double passUp = AmplitudeAt(high, high.size() - highWindow, highWindow, 1000.0, 4 * rate);
  const double image = AmplitudeAt(high, high.size() - highWindow, highWindow, 47000.0, 4 * rate);
  const double passPair = AmplitudeAt(low, low.size() - 48 * 250, 48 * 250, 1000.0, rate);
  EXPECT_NEAR(ToDb(passUp / 0.5), 0.0, 0.01);
  EXPECT_NEAR(ToDb(passPair / 0.5), 0.0, 0.01);
  EXPECT_LT(ToDb(image / 0.5), -110.0);
}

TEST(Resampler, RefusesBadArgumentsAndOverlongInput)
{
  double* out = nullptr;
  Resampler broken(0.0, 48000.0, 512, 10.0, 120.0, Resampler::PhaseResponse::Minimum);
  EXPECT_FALSE(broken.IsValid());
  const std::vector<double> x(2048, 0.1);
  EXPECT_EQ(broken.Process(x.data(), 512, out), 0);

  Resampler up(48000.0, 192000.0, 512, 10.0, 120.0, Resampler::PhaseResponse::Minimum);
  EXPECT_EQ(up.Process(x.data(), 513, out), 0);
  EXPECT_EQ(up.Process(x.data(), -1, out), 0);
  EXPECT_EQ(up.Process(nullptr, 16, out), 0);
  EXPECT_EQ(up.Process(x.data(), 512, out), 2048);
}

TEST(Resampler, SiblingSharesTheDelayButNotTheHistory)
{
  Resampler up(44100.0, 176400.0, 1024, 5.0, 150.0, Resampler::PhaseResponse::Minimum);
  const std::vector<double> x(1024, 0.25);
  double* out = nullptr;
  up.Process(x.data(), 1024, out);
  const auto sibling = up.CreateSibling();
  EXPECT_EQ(sibling->Latency(), up.Latency());
  const std::vector<double> silence(1024, 0.0);
  double* quiet = nullptr;
  ASSERT_EQ(sibling->Process(silence.data(), 1024, quiet), 4096);
  for (int i = 0; i < 4096; ++i)
    ASSERT_EQ(quiet[i], 0.0);
}

// The delay depends on the ratio and the quality settings only: a converter made like another for new rates of
// the same ratio reports what a fresh measurement gives; another ratio is measured anew.
TEST(Resampler, CreateLikeReusesTheDelayOnlyForTheSameRatio)
{
  const Resampler at48(48000.0, 192000.0, 1024, 10.0, 120.0, Resampler::PhaseResponse::Minimum);
  const auto at44 = at48.CreateLike(44100.0, 176400.0, 256);
  const Resampler fresh44(44100.0, 176400.0, 256, 10.0, 120.0, Resampler::PhaseResponse::Minimum);
  EXPECT_EQ(at44->Latency(), fresh44.Latency());
  EXPECT_EQ(at44->MaxInputLength(), 256);

  const auto doubling = at48.CreateLike(48000.0, 96000.0, 512);
  const Resampler freshDoubling(48000.0, 96000.0, 512, 10.0, 120.0, Resampler::PhaseResponse::Minimum);
  EXPECT_EQ(doubling->Latency(), freshDoubling.Latency());
  EXPECT_NE(doubling->Latency(), at48.Latency());
}

// A pair that has just carried loud audio and is then cleared answers silence with exact silence and an impulse
// as a new pair does, for every quality preset, wherever the earlier audio ended within libsoxr's blocks (how far
// its traces reach depends on that): the loud part's length steps through 24 values 97 samples apart. The new
// pair is a sibling: same filters, history of its own.
// The two may differ only as two new pairs do when one of them has first seen some silence: libsoxr convolves in
// blocks through a transform and works to the precision its settings ask for, so its rounding depends on where a
// sample falls within its blocks (measured: from 3e-8 for preset 0 down to 5e-14 for presets 4 and 5, against an
// impulse of 0.5). The tolerance lies 40 dB below the preset's own stop-band attenuation, the accuracy the
// converter is built for, which leaves that rounding a factor of 7 or more. Leftovers of the earlier audio show up
// first where the output must be exactly zero, before the impulse.
TEST(Resampler, ClearLeavesNoTraceOfEarlierInput)
{
  constexpr int kBlock = 100;
  std::vector<double> loud(1000 + 97 * 24);
  uint32_t seed = 12345u;
  for (double& v : loud)
  {
    seed = seed * 1664525u + 1013904223u;
    v = static_cast<double>(seed) / 2147483648.0 - 1.0;
  }
  for (int quality = 0; quality <= 5; ++quality)
  {
    const Oversampler::QualityPreset p = Oversampler::Preset(quality);
    Resampler up(48000.0, 192000.0, 1024, p.transitionBandPercent, p.attenuationDb, p.phase);
    Resampler down(192000.0, 48000.0, 4096, p.transitionBandPercent, p.attenuationDb, p.phase);
    ASSERT_TRUE(up.IsValid() && down.IsValid()) << quality;
    const double latency = down.Latency() / 4.0 + up.Latency();
    const size_t at = 2001;
    std::vector<double> x(at + static_cast<size_t>(latency) + 4000, 0.0);
    x[at] = 0.5;
    const auto newUp = up.CreateSibling();
    const auto newDown = down.CreateSibling();
    const std::vector<double> expected = ThroughPair(*newUp, *newDown, x, kBlock);
    const double tolerance = x[at] * std::pow(10.0, -(p.attenuationDb + 40.0) / 20.0);

    double worst = 0.0;
    for (size_t length = 1000; length <= loud.size(); length += 97)
    {
      ThroughPair(up, down, std::vector<double>(loud.begin(), loud.begin() + static_cast<std::ptrdiff_t>(length)),
                  kBlock);
      up.Clear();
      down.Clear();
      const std::vector<double> y = ThroughPair(up, down, x, kBlock);
      ASSERT_EQ(y.size(), expected.size());
      for (size_t i = 0; i < at; ++i)
        ASSERT_EQ(y[i], 0.0) << "preset " << quality << ", loud part " << length << ", sample " << i;
      for (size_t i = 0; i < y.size(); ++i)
        worst = std::max(worst, std::fabs(y[i] - expected[i]));
      ASSERT_LE(worst, tolerance) << "preset " << quality << ", loud part " << length;
      ASSERT_NEAR(static_cast<double>(PeakIndex(y) - at), latency, 1.0) << "preset " << quality;
    }
    std::printf("[ cleared  ] preset %d: largest difference from a new pair %.3g (tolerance %.3g)\n", quality, worst,
                tolerance);
  }
}

#include "engine/Oversampler.h"
#include "tests/engine/SignalTools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using ondrell::HalfBandFilter;
using ondrell::Oversampler;
using namespace quorl_test;

namespace {

// Both channels of a base-rate signal through Upsample and Downsample in blocks, with nothing between.
struct Pair
{
  explicit Pair(int quality, int factor = 4, int maxLength = 1024) : os(factor, quality, 48000.0, maxLength) {}

  // Returns channel 0's output; channel 1 gets `right` (or silence).
  std::vector<double> Run(const std::vector<double>& left, int block, const std::vector<double>* right = nullptr,
                          std::vector<double>* rightOut = nullptr)
  {
    std::vector<double> y(left.size(), 0.0);
    if (rightOut)
      rightOut->assign(left.size(), 0.0);
    for (size_t at = 0; at < left.size(); at += static_cast<size_t>(block))
    {
      const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(block), left.size() - at));
      const double* in[2] = {left.data() + at, right ? right->data() + at : nullptr};
      EXPECT_EQ(os.Upsample(in, n), os.Factor() * n);
      double* out[2] = {y.data() + at, rightOut ? rightOut->data() + at : nullptr};
      EXPECT_EQ(os.Downsample(out, os.Factor() * n), n);
    }
    return y;
  }

  // The high-rate signal of channel 0 for a base-rate input, in blocks.
  std::vector<double> Up(const std::vector<double>& x, int block)
  {
    std::vector<double> high;
    for (size_t at = 0; at < x.size(); at += static_cast<size_t>(block))
    {
      const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(block), x.size() - at));
      const double* in[2] = {x.data() + at, nullptr};
      const int m = os.Upsample(in, n);
      for (int i = 0; i < m; ++i)
        high.push_back(os.HighRate()[2 * i]);
    }
    return high;
  }

  // The base-rate output for a high-rate input on channel 0.
  std::vector<double> Down(const std::vector<double>& high, int block)
  {
    std::vector<double> y;
    const int factor = os.Factor();
    std::vector<double> low(static_cast<size_t>(block));
    for (size_t at = 0; at < high.size(); at += static_cast<size_t>(block * factor))
    {
      const int m = static_cast<int>(std::min<size_t>(static_cast<size_t>(block * factor), high.size() - at));
      for (int i = 0; i < m; ++i)
      {
        os.HighRate()[2 * i] = high[at + static_cast<size_t>(i)];
        os.HighRate()[2 * i + 1] = 0.0;
      }
      double* out[2] = {low.data(), nullptr};
      const int k = os.Downsample(out, m);
      y.insert(y.end(), low.begin(), low.begin() + k);
    }
    return y;
  }

  Oversampler os;
};

size_t PeakIndex(const std::vector<double>& y)
{
  size_t peak = 0;
  for (size_t i = 1; i < y.size(); ++i)
    if (std::fabs(y[i]) > std::fabs(y[peak]))
      peak = i;
  return peak;
}

// The frequency response of an elliptic stage, computed here from its all-pass coefficients.
double StageMagnitude(const HalfBandFilter& stage, double cyclesPerSample)
{
  const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * cyclesPerSample);
  const std::complex<double> z2 = z1 * z1;
  std::complex<double> a0 = 1.0, a1 = 1.0;
  for (double a : stage.Branch(0))
    a0 *= (a + z2) / (1.0 + a * z2);
  for (double a : stage.Branch(1))
    a1 *= (a + z2) / (1.0 + a * z2);
  return std::abs(0.5 * (a0 + z1 * a1));
}

double FirMagnitude(const HalfBandFilter& stage, double cyclesPerSample)
{
  std::complex<double> sum = 0.0;
  const auto& taps = stage.Taps();
  for (size_t m = 0; m < taps.size(); ++m)
    sum += taps[m] * std::polar(1.0, -2.0 * kPi * cyclesPerSample * static_cast<double>(m));
  return std::abs(sum);
}

} // namespace

// Preset 2 is two elliptic stages of 10 and 4 all-pass coefficients, preset 3 of 14 and 6. Each stage's computed
// response is down by at least the preset's attenuation from the mirror of the pass edge on, -3 dB at a quarter
// of its rate, and within the ripple power complementarity allows (10^(-attenuation / 10)) of 1 in the pass
// band: the closed-form design meets its targets.
TEST(Oversampler, EllipticStagesMeetTheirDesignTargets)
{
  const int coefficients[5][2] = {{5, 3}, {7, 3}, {10, 4}, {14, 6}, {21, 7}};
  for (int quality = 0; quality <= 4; ++quality)
  {
    const Oversampler os(4, quality, 48000.0, 64);
    const Oversampler::QualityPreset preset = Oversampler::Preset(quality);
    ASSERT_EQ(os.StageCount(), 2);
    for (int k = 0; k < 2; ++k)
    {
      const HalfBandFilter& stage = os.Stage(k);
      const int count = static_cast<int>(stage.Branch(0).size() + stage.Branch(1).size());
      EXPECT_EQ(count, coefficients[quality][k]) << "preset " << quality << " stage " << k;
      const double passEdge = (1.0 - preset.transitionBandPercent / 100.0) / 2.0 / (2 << k);
      double passWorst = 0.0, stopWorst = 0.0;
      for (int i = 0; i <= 2000; ++i)
      {
        passWorst = std::max(passWorst, std::fabs(StageMagnitude(stage, passEdge * i / 2000.0) - 1.0));
        const double stop = 0.5 - passEdge + (passEdge * i / 2000.0);
        stopWorst = std::max(stopWorst, StageMagnitude(stage, stop));
      }
      // (or the rounding of the evaluation, where that bound is below it)
      EXPECT_LT(passWorst, std::max(std::pow(10.0, -preset.attenuationDb / 10.0), 1e-14))
        << "preset " << quality << " stage " << k;
      EXPECT_LT(ToDb(stopWorst), -preset.attenuationDb) << "preset " << quality << " stage " << k;
      EXPECT_NEAR(ToDb(StageMagnitude(stage, 0.25)), -3.0103, 1e-3);
    }
  }
}

// The linear-phase preset: symmetric FIR half-bands (every other tap zero, the middle one 1/2) with at least
// 180 dB in the stop band.
TEST(Oversampler, LinearPhaseStagesAreSymmetricHalfBands)
{
  const Oversampler os(4, 5, 48000.0, 64);
  const Oversampler::QualityPreset preset = Oversampler::Preset(5);
  for (int k = 0; k < 2; ++k)
  {
    const HalfBandFilter& stage = os.Stage(k);
    ASSERT_TRUE(stage.IsLinearPhase());
    const auto& taps = stage.Taps();
    ASSERT_EQ(taps.size() % 4, 3u);
    const size_t middle = taps.size() / 2;
    EXPECT_EQ(taps[middle], 0.5);
    for (size_t m = 0; m < taps.size(); ++m)
    {
      ASSERT_EQ(taps[m], taps[taps.size() - 1 - m]) << m;
      if (m != middle && (m + middle) % 2 == 0)
      {
        ASSERT_EQ(taps[m], 0.0) << m;
      }
    }
    const double passEdge = (1.0 - preset.transitionBandPercent / 100.0) / 2.0 / (2 << k);
    double stopWorst = 0.0;
    for (int i = 0; i <= 400; ++i)
      stopWorst = std::max(stopWorst, FirMagnitude(stage, 0.5 - passEdge + passEdge * i / 400.0));
    EXPECT_LT(ToDb(stopWorst), -preset.attenuationDb) << "stage " << k;
    EXPECT_NEAR(FirMagnitude(stage, 0.0), 1.0, 1e-14);
  }
}

// The reported latency is where an impulse comes out of the up/down pair, within one sample, for every preset and
// both factors, in blocks of any length. Targets: real-time preset at most 8 samples, offline at most 12.
TEST(Oversampler, LatencyIsTheDelayOfAnImpulse)
{
  for (int factor : {2, 4})
    for (int quality = 0; quality <= 5; ++quality)
      for (int block : {1, 37, 512})
      {
        Pair pair(quality, factor, 512);
        const int latency = pair.os.Latency();
        EXPECT_EQ(latency, static_cast<int>(std::round(pair.os.ExactLatency())));
        std::vector<double> x(static_cast<size_t>(latency) + 3000, 0.0);
        const size_t at = 1001;
        x[at] = 0.5;
        const std::vector<double> y = pair.Run(x, block);
        const long delay = static_cast<long>(PeakIndex(y)) - static_cast<long>(at);
        EXPECT_NEAR(static_cast<double>(delay), latency, 1.0) << "factor " << factor << " preset " << quality;
        for (size_t i = 0; i < at; ++i)
          ASSERT_EQ(y[i], 0.0) << "nothing before the impulse";
        if (factor == 4 && block == 512)
          std::printf("[ latency  ] preset %d: %d samples (group delay %.3f), impulse peak at %ld\n", quality,
                      latency, pair.os.ExactLatency(), delay);
      }
  EXPECT_LE(Oversampler(4, Oversampler::kRealtimeQuality, 48000.0, 64).Latency(), 8);
  EXPECT_LE(Oversampler(4, Oversampler::kOfflineQuality, 48000.0, 64).Latency(), 12);
}

// Images of the upsampler and aliases of the downsampler, measured with tones on exact bins of the window so that
// the projections are free of leakage: for content up to the pass edge ((1 - transition) fs / 2: 0.45 fs for
// the real-time preset, 0.475 fs offline), every image k fs +- f in the 4x signal, and every tone beyond the
// mirrored edge that would fold below the pass edge, lie at least the preset's attenuation below the tone.
TEST(Oversampler, ImagesAndAliasesBelowTheAttenuation)
{
  constexpr size_t kWindow = 4096; // base-rate samples; the high-rate window holds 4 x as many
  const double rate = 1.0;         // frequencies as fractions of the base rate
  for (int quality : {0, 1, 2, 3, 4, 5})
  {
    const Oversampler::QualityPreset preset = Oversampler::Preset(quality);
    const double attenuation = preset.attenuationDb;
    const double edge = (1.0 - preset.transitionBandPercent / 100.0) / 2.0;
    const auto edgeBin = static_cast<size_t>(edge * kWindow);
    double worstImage = -400.0, worstAlias = -400.0;
    for (size_t bin : {size_t{41}, size_t{410}, size_t{1024}, edgeBin - 100, edgeBin})
    {
      Pair pair(quality);
      const double f = static_cast<double>(bin) / kWindow;
      const size_t settle = 16384;
      const std::vector<double> x = Sine(settle + kWindow, f, rate, 1.0);
      const std::vector<double> high = pair.Up(x, 512);
      const size_t begin = 4 * settle;
      const double tone = AmplitudeAt(high, begin, 4 * kWindow, f / 4.0, rate);
      EXPECT_NEAR(tone, 1.0, 1e-9);
      for (int k = 1; k <= 3; ++k)
        for (double image : {k - f, k + f})
          if (image < 2.0)
            worstImage = std::max(worstImage, ToDb(AmplitudeAt(high, begin, 4 * kWindow, image / 4.0, rate) / tone));
    }
    for (size_t bin = kWindow - edgeBin; bin < 2 * kWindow; bin += 137) // the mirrored edge and up
    {
      const double f = static_cast<double>(bin) / kWindow;
      const double alias = std::fabs(f - std::round(f));
      if (alias > edge)
        continue;
      Pair pair(quality);
      const size_t settle = 16384;
      const std::vector<double> high = Sine(4 * (settle + kWindow), f / 4.0, rate, 1.0);
      const std::vector<double> y = pair.Down(high, 512);
      worstAlias = std::max(worstAlias, ToDb(AmplitudeAt(y, settle, kWindow, alias, rate)));
    }
    std::printf("[ images   ] preset %d: worst image %.1f dB, worst alias %.1f dB (attenuation %.0f dB)\n", quality,
                worstImage, worstAlias, attenuation);
    EXPECT_LT(worstImage, -attenuation) << "preset " << quality;
    EXPECT_LT(worstAlias, -attenuation) << "preset " << quality;
  }
}

// Through the pair, the pass band is flat within 0.05 dB up to 20 kHz at 44.1, 48 and 96 kHz (real-time and
// offline; at 44.1 kHz 20 kHz lies just above 0.45 fs).
TEST(Oversampler, PassBandIsFlatTo20kHz)
{
  for (int quality : {Oversampler::kRealtimeQuality, Oversampler::kOfflineQuality})
    for (double rate : {44100.0, 48000.0, 96000.0})
    {
      const size_t window = static_cast<size_t>(rate / 10.0); // 0.1 s: whole periods of every multiple of 10 Hz
      double worst = 0.0;
      double at20k = 0.0;
      for (double hz : {20.0, 100.0, 1000.0, 5000.0, 10000.0, 15000.0, 18000.0, 19000.0, 20000.0})
      {
        Pair pair(quality);
        const size_t settle = 16384;
        const std::vector<double> x = Sine(settle + window, hz, rate, 1.0);
        const std::vector<double> y = pair.Run(x, 512);
        const double dB = ToDb(AmplitudeAt(y, settle, window, hz, rate));
        worst = std::max(worst, std::fabs(dB));
        if (hz == 20000.0)
          at20k = dB;
      }
      std::printf("[ pass     ] preset %d at %.1f kHz: largest deviation to 20 kHz %.2g dB, at 20 kHz %.3g dB\n",
                  quality, rate / 1000.0, worst, at20k);
      EXPECT_LT(worst, 0.05) << rate;
    }
}

// After priming from the history, the pair continues as one fed all along, within -100 dB of the signal (the
// residue the history length is chosen for lies far below), for every preset, whatever came before the history.
TEST(Oversampler, PrimingMatchesAContinuouslyFedPair)
{
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  for (int quality = 0; quality <= 5; ++quality)
  {
    Pair continuous(quality);
    Pair primed(quality);
    const int history = primed.os.HistoryLength();
    const size_t before = static_cast<size_t>(history) * 3 + 777;
    std::vector<double> left(before), right(before);
    for (size_t i = 0; i < before; ++i)
    {
      left[i] = noise(rng);
      right[i] = 0.5 * std::sin(0.3 * static_cast<double>(i));
    }
    std::vector<double> unused;
    continuous.Run(left, 300, &right, &unused);
    // The primed pair has seen something else entirely and only remembers the input.
    const std::vector<double> other(before, 0.9);
    primed.Run(other, 300, &other, &unused);
    for (size_t at = 0; at < before; at += 300)
    {
      const int n = static_cast<int>(std::min<size_t>(300, before - at));
      const double* in[2] = {left.data() + at, right.data() + at};
      primed.os.Remember(in, n);
    }
    primed.os.PrimeFromHistory();

    std::vector<double> nextLeft(4096), nextRight(4096);
    for (size_t i = 0; i < nextLeft.size(); ++i)
    {
      nextLeft[i] = noise(rng);
      nextRight[i] = 0.5 * std::sin(0.3 * static_cast<double>(before + i));
    }
    std::vector<double> expectedRight, gotRight;
    const std::vector<double> expected = continuous.Run(nextLeft, 256, &nextRight, &expectedRight);
    const std::vector<double> got = primed.Run(nextLeft, 256, &nextRight, &gotRight);
    double worst = 0.0;
    for (size_t i = 0; i < got.size(); ++i)
      worst = std::max({worst, std::fabs(got[i] - expected[i]), std::fabs(gotRight[i] - expectedRight[i])});
    // The replay usually lands on the very same values: what is left of the earlier input falls below rounding.
    std::printf("[ priming  ] preset %d: history %d frames, largest difference from a continuous pair %s\n",
                quality, history, worst == 0.0 ? "0 (identical)" : (std::to_string(ToDb(worst)) + " dB").c_str());
    EXPECT_LT(ToDb(std::max(worst, 1e-300)), -100.0) << "preset " << quality;
  }
}

// NaN and infinite input count as silence on their own channel and sample; the other channel and every other
// sample come out as they would without them, and every output is finite. Bad lengths are refused.
TEST(Oversampler, BadInputIsSilenceAndBadLengthsAreRefused)
{
  const std::vector<double> tone = Sine(3000, 1000.0, 48000.0, 0.8);
  for (double poison : {std::nan(""), HUGE_VAL, -HUGE_VAL})
  {
    Pair clean(2), poisoned(2);
    std::vector<double> left = tone, right = tone;
    std::vector<double> silenced = tone;
    left[1234] = poison;
    silenced[1234] = 0.0;
    std::vector<double> rightOut, cleanRight;
    const std::vector<double> y = poisoned.Run(left, 100, &right, &rightOut);
    const std::vector<double> expected = clean.Run(silenced, 100, &tone, &cleanRight);
    for (size_t i = 0; i < y.size(); ++i)
    {
      ASSERT_EQ(y[i], expected[i]) << i;
      ASSERT_EQ(rightOut[i], cleanRight[i]) << i;
    }
  }

  Oversampler os(4, 2, 48000.0, 256);
  const std::vector<double> x(300, 0.1);
  const double* in[2] = {x.data(), x.data()};
  EXPECT_EQ(os.Upsample(in, 257), 0);
  EXPECT_EQ(os.Upsample(in, -1), 0);
  EXPECT_EQ(os.Upsample(in, 256), 1024);
  std::vector<double> out(300);
  double* outs[2] = {out.data(), nullptr};
  EXPECT_EQ(os.Downsample(outs, 1023), 0);
  EXPECT_EQ(os.Downsample(outs, 1028), 0);
  EXPECT_EQ(os.Downsample(outs, 1024), 256);
  // No inputs at all: both channels silent.
  Oversampler silent(4, 2, 48000.0, 256), zeros(4, 2, 48000.0, 256);
  const std::vector<double> zero(16, 0.0);
  const double* zeroInputs[2] = {zero.data(), zero.data()};
  silent.Upsample(in, 256);
  zeros.Upsample(in, 256);
  EXPECT_EQ(silent.Upsample(nullptr, 16), 64);
  EXPECT_EQ(zeros.Upsample(zeroInputs, 16), 64);
  for (int i = 0; i < 128; ++i)
    ASSERT_EQ(silent.HighRate()[i], zeros.HighRate()[i]) << i;
}

// Clear forgets everything: after loud input, silence comes out as exact silence and an impulse as from a new pair.
TEST(Oversampler, ClearLeavesNoTrace)
{
  for (int quality = 0; quality <= 5; ++quality)
  {
    Pair used(quality), fresh(quality);
    used.Run(Sine(5000, 3000.0, 48000.0, 0.9), 333);
    used.os.Clear();
    std::vector<double> x(4000, 0.0);
    x[2001] = 0.5;
    const std::vector<double> y = used.Run(x, 256);
    const std::vector<double> expected = fresh.Run(x, 256);
    for (size_t i = 0; i < y.size(); ++i)
      ASSERT_EQ(y[i], expected[i]) << "preset " << quality << ", sample " << i;
  }
}

// Every vector variant the processor runs, and the stage-by-stage path the unrolled cascades stand for, give the
// same results bit for bit, for the real-time and the offline preset.
TEST(Oversampler, CascadeAndVariantsGiveTheSameResults)
{
  std::vector<ondrell::WideKernels> kernels = {ondrell::WideKernels::Sse2};
  if (ondrell::DetectWideKernels() != ondrell::WideKernels::Sse2)
    kernels.push_back(ondrell::WideKernels::Avx2);
  if (ondrell::DetectWideKernels() == ondrell::WideKernels::Avx512)
    kernels.push_back(ondrell::WideKernels::Avx512);
  const std::vector<double> left = Sine(3000, 1234.0, 48000.0, 0.7), right = Sine(3000, 97.0, 48000.0, 0.9);
  for (int quality : {Oversampler::kRealtimeQuality, Oversampler::kOfflineQuality})
  {
    // Stage by stage, from the oversampler's own designs.
    const Oversampler design(4, quality, 48000.0, 256);
    HalfBandFilter up1 = design.Stage(0), up2 = design.Stage(1), down1 = design.Stage(0), down2 = design.Stage(1);
    std::vector<double> expected(2 * left.size());
    for (size_t at = 0; at < left.size(); at += 200)
    {
      const int n = static_cast<int>(std::min<size_t>(200, left.size() - at));
      std::vector<double> base(2 * static_cast<size_t>(n)), middle(4 * static_cast<size_t>(n)),
        high(8 * static_cast<size_t>(n));
      for (int i = 0; i < n; ++i)
      {
        base[2 * static_cast<size_t>(i)] = left[at + static_cast<size_t>(i)];
        base[2 * static_cast<size_t>(i) + 1] = right[at + static_cast<size_t>(i)];
      }
      up1.Upsample(base.data(), n, middle.data());
      up2.Upsample(middle.data(), 2 * n, high.data());
      down2.Downsample(high.data(), 2 * n, middle.data());
      down1.Downsample(middle.data(), n, base.data());
      std::copy(base.begin(), base.end(), expected.begin() + static_cast<std::ptrdiff_t>(2 * at));
    }
    for (ondrell::WideKernels k : kernels)
    {
      Oversampler os(4, quality, 48000.0, 256, k);
      std::vector<double> outLeft(left.size()), outRight(left.size());
      for (size_t at = 0; at < left.size(); at += 200)
      {
        const int n = static_cast<int>(std::min<size_t>(200, left.size() - at));
        const double* in[2] = {left.data() + at, right.data() + at};
        double* out[2] = {outLeft.data() + at, outRight.data() + at};
        os.Downsample(out, os.Upsample(in, n));
      }
      for (size_t i = 0; i < left.size(); ++i)
      {
        ASSERT_EQ(outLeft[i], expected[2 * i]) << "preset " << quality << ", variant " << static_cast<int>(k);
        ASSERT_EQ(outRight[i], expected[2 * i + 1]) << "preset " << quality << ", variant " << static_cast<int>(k);
      }
    }
  }
}

// Input that overflows the recursive filters (finite, alternating near the largest double) leaves them holding
// values that are not finite; Recover empties them, after which the pair answers as a new one does. With finite
// state it changes nothing. (The linear-phase FIR keeps nothing but its inputs and forgets them by itself.)
TEST(Oversampler, RecoverEmptiesFiltersAnOverflowLeftNonFinite)
{
  for (int quality : {0, Oversampler::kRealtimeQuality, Oversampler::kOfflineQuality})
  {
    Pair used(quality), fresh(quality);
    used.Run(Sine(500, 1000.0, 48000.0, 0.5), 100);
    EXPECT_FALSE(used.os.Recover());
    std::vector<double> huge(64);
    for (size_t i = 0; i < huge.size(); ++i)
      huge[i] = i % 2 == 0 ? 1.7e308 : -1.7e308;
    for (double y : used.Run(huge, 64))
      ASSERT_TRUE(std::isfinite(y));
    EXPECT_TRUE(used.os.Recover()) << "preset " << quality;
    std::vector<double> x(2000, 0.0);
    x[1001] = 0.5;
    const std::vector<double> y = used.Run(x, 256);
    const std::vector<double> expected = fresh.Run(x, 256);
    for (size_t i = 0; i < y.size(); ++i)
      ASSERT_EQ(y[i], expected[i]) << "preset " << quality << ", sample " << i;
  }
}

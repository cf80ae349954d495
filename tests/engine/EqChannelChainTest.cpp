#include "engine/BiquadSection.h"
#include "engine/EqChannelChain.h"
#include "engine/FloatingPointGuard.h"
#include "engine/ShaperSine.h"
#include "tests/engine/SignalTools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

using ondrell::BiquadSection;
using ondrell::EqChannelChain;
using namespace quorl_test;

namespace {

// The chain written out sample by sample as the algorithm reads, on sections of its own: the sine of the clamped
// input; the high-pass when enabled; each band with a non-zero smoothed gain adding its share (signed for the low
// shelf, magnitude for the others) ahead of its section, stepped when not settled; the output stage. Input that
// is not finite counts as silence. The sine is the chain's own polynomial unless another is given.
class ReferenceChain
{
public:
  using Sine = double (*)(double);

  explicit ReferenceChain(int rate, Sine sine = &ondrell::ShaperSine) : mSine(sine)
  {
    const int types[5] = {1, 7, 6, 6, 8};
    const double qs[5] = {0.7071067811865476, 0.7, 0.7, 0.7, 0.7};
    const double hz[5] = {30.0, 35.0, 240.0, 2500.0, 12000.0};
    for (int c = 0; c < 2; ++c)
      for (int b = 0; b < 5; ++b)
      {
        BiquadSection& s = bands[b][c];
        s.SetType(types[b]);
        s.SetQ(qs[b]);
        s.SetFrequency(hz[b]);
        if (b > 0)
          s.SetGain(0.0);
        s.SetSampleRate(rate);
      }
    for (int c = 0; c < 2; ++c)
      for (int b = 0; b < 5; ++b)
      {
        bands[b][c].Reset();
        bands[b][c].SetType(bands[b][c].Type());
      }
  }

  void Apply(int index, double v)
  {
    const int i = static_cast<int>(v);
    const double hp[6] = {1, 30, 50, 80, 160, 300};
    const double ls[4] = {35, 60, 110, 220};
    const double m1[6] = {150, 180, 240, 400, 820, 1200};
    const double m2[7] = {220, 315, 640, 2500, 3150, 6000, 8000};
    for (int c = 0; c < 2; ++c)
      switch (index)
      {
      case 0:
        highPassOn = i != 0;
        bands[0][c].SetFrequency(hp[i]);
        break;
      case 1: bands[1][c].SetFrequency(ls[i]); break;
      case 2: bands[1][c].SetGain(v); break;
      case 3: bands[2][c].SetFrequency(m1[i]); break;
      case 4: bands[2][c].SetGain(v); break;
      case 5: bands[3][c].SetFrequency(m2[i]); break;
      case 6: bands[3][c].SetGain(v); break;
      case 7: bands[4][c].SetGain(v); break;
      case 8:
        gainDb = v;
        gainLinear = std::exp(v * 0.1151292546497);
        break;
      }
  }

  double Sample(double x, int c)
  {
    if (!std::isfinite(x))
      x = 0.0; // non-finite input counts as silence
    const double s = mSine(std::min(std::max(x, -1.0), 1.0));
    if (highPassOn)
    {
      if (!bands[0][c].IsSettled())
        bands[0][c].Step();
      x = bands[0][c].ProcessSample(x);
    }
    for (int b = 1; b < 5; ++b)
    {
      const double g = bands[b][c].CurrentGain();
      if (g == 0.0)
        continue;
      const double share = b == 1 ? g / 60.0 : std::fabs(g / (b == 4 ? 60.0 : 80.0));
      x = x + share * s;
      if (!bands[b][c].IsSettled())
        bands[b][c].Step();
      x = bands[b][c].ProcessSample(x);
    }
    return (std::fabs(gainDb / 60.0) + 0.01) * s + x * gainLinear;
  }

  BiquadSection bands[5][2];
  bool highPassOn = false;
  double gainDb = 0.0;
  double gainLinear = 1.0;

private:
  Sine mSine;
};

} // namespace

// Blocks of random length, with and without changes before them (so both settled and gliding blocks), give the
// reference's output bit for bit, on both channels, processed together, alone, or as interleaved frames: the
// vector kernels keep every operation and its order.
TEST(EqChannelChain, MatchesTheSampleBySampleAlgorithmExactly)
{
  const int rate = 48000;
  EqChannelChain chain(rate);
  ReferenceChain reference(rate);
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> signal(-1.4, 1.4);
  std::uniform_int_distribution<int> length(1, 400);
  std::uniform_int_distribution<int> whichParam(0, 8);
  std::uniform_int_distribution<int> level(-200, 200);
  const int counts[9] = {6, 4, 0, 6, 0, 7, 0, 0, 0};
  int settledBlocks = 0;
  int glidingBlocks = 0;

  for (int block = 0; block < 600; ++block)
  {
    if (block % 5 == 0)
    {
      const int p = whichParam(rng);
      const double v = counts[p] ? static_cast<double>(rng() % counts[p])
                                 : (level(rng) % 4 == 0 ? 0.0 : level(rng) / 10.0);
      chain.ApplyParam(p, v);
      if (p == 8)
        chain.UpdateGain(v);
      reference.Apply(p, v);
    }
    const int n = block % 5 == 4 ? 3000 : length(rng);
    for (int c = 0; c < 2; ++c)
    {
      bool settled = true;
      for (int b = 0; b < 5; ++b)
        settled = settled && chain.Section(static_cast<EqChannelChain::Band>(b), c).IsSettled();
      (settled ? settledBlocks : glidingBlocks) += 1;
    }
    std::vector<double> x[2];
    for (auto& channel : x)
    {
      channel.resize(static_cast<size_t>(n));
      for (double& v : channel)
        v = signal(rng);
    }
    std::vector<double> y[2] = {x[0], x[1]};
    // Now both channels at once, now one after the other, now as interleaved frames.
    const int how = block % 3;
    if (how == 0)
      chain.Process(y[0].data(), y[1].data(), n);
    else if (how == 1)
    {
      chain.ProcessChannel(y[0].data(), n, 0);
      chain.ProcessChannel(y[1].data(), n, 1);
    }
    else
    {
      std::vector<double> frames(2 * static_cast<size_t>(n));
      for (int i = 0; i < n; ++i)
        for (int c = 0; c < 2; ++c)
          frames[2 * static_cast<size_t>(i) + static_cast<size_t>(c)] = x[c][static_cast<size_t>(i)];
      chain.ProcessFrames(frames.data(), n, true, true);
      for (int i = 0; i < n; ++i)
        for (int c = 0; c < 2; ++c)
          y[c][static_cast<size_t>(i)] = frames[2 * static_cast<size_t>(i) + static_cast<size_t>(c)];
    }
    for (int c = 0; c < 2; ++c)
      for (int i = 0; i < n; ++i)
        ASSERT_EQ(y[c][static_cast<size_t>(i)], reference.Sample(x[c][static_cast<size_t>(i)], c))
          << "block " << block << " channel " << c << " sample " << i;
  }
  EXPECT_GT(settledBlocks, 100);
  EXPECT_GT(glidingBlocks, 100);
}

// The same, bit for bit, on inputs at the edges of the number range - denormal-scale samples, exact zeros, huge
// values and non-finite ones (which count as silence) - with and without flush-to-zero, all bands active and
// settled (so the settled-block kernel runs). Every output is finite and no section's history is ever poisoned.
TEST(EqChannelChain, MatchesTheAlgorithmBitForBitOnExtremeInputs)
{
  const int rate = 44100;
  struct Kind
  {
    const char* name;
    double scale;
    double special; // put at sample 7 when not 0
  };
  const Kind kinds[] = {{"denormal scale", 1e-310, 0.0}, {"near the smallest normal", 3e-308, 0.0},
                        {"zeros", 0.0, 0.0},            {"huge", 1e200, 0.0},
                        {"a NaN", 0.5, std::nan("")},    {"an infinity", 0.5, -HUGE_VAL}};
  for (bool flushToZero : {false, true})
  {
    EqChannelChain chain(rate);
    ReferenceChain reference(rate);
    const double settings[9] = {4, 1, -7.5, 5, 4.0, 6, -0.3, 12.0, -2.5};
    for (int p = 0; p < 9; ++p)
    {
      chain.ApplyParam(p, settings[p]);
      reference.Apply(p, settings[p]);
    }
    chain.UpdateGain(settings[8]);
    chain.UpdateRates(rate); // settled at the targets
    for (int c = 0; c < 2; ++c)
      for (auto& band : reference.bands)
      {
        band[c].Reset();
        band[c].SetType(band[c].Type());
      }

    std::mt19937 rng(99);
    std::uniform_real_distribution<double> signal(-1.0, 1.0);
    for (int round = 0; round < 4; ++round)
      for (const Kind& kind : kinds)
      {
        std::vector<double> x(300);
        for (double& v : x)
          v = signal(rng) * kind.scale;
        if (kind.special != 0.0)
          x[7] = kind.special;
        std::vector<double> y = x;
        const std::unique_ptr<ondrell::FloatingPointGuard> mode =
          flushToZero ? std::make_unique<ondrell::FloatingPointGuard>() : nullptr;
        chain.ProcessChannel(y.data(), static_cast<int>(y.size()), 0);
        for (size_t i = 0; i < x.size(); ++i)
        {
          const double expected = reference.Sample(x[i], 0);
          ASSERT_TRUE(std::isfinite(y[i])) << kind.name << ", sample " << i;
          ASSERT_EQ(std::memcmp(&y[i], &expected, sizeof(double)), 0)
            << kind.name << (flushToZero ? ", flush-to-zero" : "") << ", sample " << i << ": " << y[i] << " vs "
            << expected;
        }
        ASSERT_FALSE(chain.RecoverChannel(0)) << kind.name;
      }
  }
}

namespace {

// One section written from the algorithm with the C library's sine, cosine and exponential: the smoothers, the
// recomputation thresholds, the cookbook coefficients and direct form I, independent of the engine's code.
struct LibmSection
{
  int type = 6;
  double targetQ = 1.0, targetF = 1000.0, targetG = 0.0;
  double q = 1.0, f = 1000.0, g = 0.0;
  double rate = 48000.0;
  double sq = 0.0, sf = 0.0, sg = 0.0; // smoother states; the last target seen is the target here
  double lq = 0.0, lf = 0.0, lg = 0.0, lrate = 0.0;
  bool force = true;
  double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
  double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;

  void Reset()
  {
    q = sq = lq = targetQ;
    f = sf = lf = targetF;
    g = sg = lg = targetG;
    lrate = rate;
    force = true;
    x1 = x2 = y1 = y2 = 0.0;
    Compute();
  }
  bool Settled() const
  {
    return std::fabs(sq - targetQ) < 1e-6 && std::fabs(sf - targetF) < 1e-6 && std::fabs(sg - targetG) < 1e-6;
  }
  void Step()
  {
    const double w = 0.010000000000000009;
    q = sq = sq * 0.99 + targetQ * w;
    f = sf = sf * 0.99 + targetF * w;
    g = sg = sg * 0.99 + targetG * w;
    if (force || std::fabs(q - lq) > 0.0001 || std::fabs(f - lf) > f * 0.0001 || std::fabs(g - lg) > 0.0001
        || rate != lrate)
    {
      Compute();
      lq = q;
      lf = f;
      lg = g;
      lrate = rate;
      force = false;
    }
  }
  void Compute()
  {
    const double w0 = 6.283185307179586 * f / rate;
    const double c = std::cos(w0), s = std::sin(w0), alpha = s / (2.0 * q);
    double n0, n1, n2, d0, d1, d2;
    if (type == 1)
    {
      n0 = (1.0 + c) * 0.5, n1 = -(1.0 + c), n2 = (1.0 + c) * 0.5;
      d0 = 1.0 + alpha, d1 = -2.0 * c, d2 = 1.0 - alpha;
    }
    else if (type == 7 || type == 8)
    {
      const double A = std::exp(g * 0.057564627324851146), t = 2.0 * std::sqrt(A) * alpha;
      const double sign = type == 7 ? 1.0 : -1.0; // the high shelf mirrors the cosine's sign
      const double cs = sign * c;
      n0 = A * ((A + 1.0) - (A - 1.0) * cs + t);
      n1 = sign * 2.0 * A * ((A - 1.0) - (A + 1.0) * cs);
      n2 = A * ((A + 1.0) - (A - 1.0) * cs - t);
      d0 = (A + 1.0) + (A - 1.0) * cs + t;
      d1 = sign * -2.0 * ((A - 1.0) + (A + 1.0) * cs);
      d2 = (A + 1.0) + (A - 1.0) * cs - t;
    }
    else
    {
      const double A = std::exp(g * 0.057564627324851146);
      n0 = 1.0 + alpha * A, n1 = -2.0 * c, n2 = 1.0 - alpha * A;
      d0 = 1.0 + (1.0 / A) * alpha, d1 = -2.0 * c, d2 = 1.0 - (1.0 / A) * alpha;
    }
    const double k = 1.0 / d0;
    b0 = n0 * k, b1 = n1 * k, b2 = n2 * k, a1 = d1 * k, a2 = d2 * k;
  }
  double Process(double x)
  {
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1, x1 = x, y2 = y1, y1 = y;
    return y;
  }
};

// The chain written with LibmSection and a given sine, all five bands active.
struct LibmChain
{
  LibmChain(int rate, const double (&settings)[8], double (*sine)(double)) : mSine(sine)
  {
    const int types[5] = {1, 7, 6, 6, 8};
    const double q[5] = {0.7071067811865476, 0.7, 0.7, 0.7, 0.7};
    const double hp[6] = {1, 30, 50, 80, 160, 300}, ls[4] = {35, 60, 110, 220};
    const double m1[6] = {150, 180, 240, 400, 820, 1200}, m2[7] = {220, 315, 640, 2500, 3150, 6000, 8000};
    const double f[5] = {hp[static_cast<int>(settings[0])], ls[static_cast<int>(settings[1])],
                         m1[static_cast<int>(settings[3])], m2[static_cast<int>(settings[5])], 12000.0};
    const double g[5] = {0.0, settings[2], settings[4], settings[6], settings[7]};
    for (int b = 0; b < 5; ++b)
    {
      bands[b].type = types[b];
      bands[b].rate = rate;
      bands[b].targetQ = q[b];
      bands[b].targetF = f[b];
      bands[b].targetG = g[b];
      bands[b].Reset();
    }
  }
  // From the construction defaults (where a freshly built chain's sections sit) towards the settings: each
  // parameter change in index order sets its band's target with one smoothing step, and the glide follows.
  void StartFromDefaults()
  {
    const double defaults[5] = {30.0, 35.0, 240.0, 2500.0, 12000.0};
    double f[5], g[5];
    for (int b = 0; b < 5; ++b)
    {
      f[b] = bands[b].targetF;
      g[b] = bands[b].targetG;
      bands[b].targetF = defaults[b];
      bands[b].targetG = 0.0;
      bands[b].Reset();
    }
    const auto change = [this](int b, double* target, double value) {
      *target = value;
      bands[b].Step();
    };
    change(0, &bands[0].targetF, f[0]);
    for (int b = 1; b < 4; ++b)
    {
      change(b, &bands[b].targetF, f[b]);
      change(b, &bands[b].targetG, g[b]);
    }
    change(4, &bands[4].targetG, g[4]);
  }
  double Sample(double x)
  {
    const double s = mSine(std::min(std::max(x, -1.0), 1.0));
    if (!bands[0].Settled())
      bands[0].Step();
    x = bands[0].Process(x);
    for (int b = 1; b < 5; ++b)
    {
      const double g = bands[b].g;
      x = x + (b == 1 ? g / 60.0 : std::fabs(g / (b == 4 ? 60.0 : 80.0))) * s;
      if (!bands[b].Settled())
        bands[b].Step();
      x = bands[b].Process(x);
    }
    return 0.01 * s + x;
  }
  LibmSection bands[5];
  double (*mSine)(double);
};

double StdSine(double x)
{
  return std::sin(x);
}

// std::sin moved by one ulp towards zero: the formula as it would be with a sine rounded the other way.
double NudgedSine(double x)
{
  return std::nextafter(std::sin(x), 0.0);
}

} // namespace

// Against the formula written with the C library (its sine in the shaper, its sine, cosine and exponential in the
// coefficients), the chain differs by rounding only: by no more than that formula differs from itself when its
// shaper's sine is rounded the other way. Both differences come from the direct-form-I recursion, whose own
// rounding noise low sections amplify (poles near z = 1: the more, the higher the rate); the measured figures are
// printed. All five bands active at +-20 dB, settled, and gliding from the defaults.
TEST(EqChannelChain, DiffersFromTheLibraryFormulaOnlyByRounding)
{
  const double settings[8] = {1, 0, 20.0, 0, -20.0, 3, 20.0, -20.0};
  for (int rate : {48000, 192000})
    for (bool glide : {false, true})
    {
      EqChannelChain chain(rate);
      for (int p = 0; p < 8; ++p)
        chain.ApplyParam(p, settings[p]);
      LibmChain exact(rate, settings, &StdSine);
      LibmChain nudged(rate, settings, &NudgedSine);
      if (glide)
      {
        exact.StartFromDefaults();
        nudged.StartFromDefaults();
      }
      else
        chain.UpdateRates(rate);
      std::mt19937 rng(5);
      std::uniform_real_distribution<double> signal(-1.0, 1.0);
      double own = 0.0, ours = 0.0;
      for (int block = 0; block < 200; ++block)
      {
        std::vector<double> x(512);
        for (double& v : x)
          v = signal(rng);
        std::vector<double> y = x;
        chain.ProcessChannel(y.data(), 512, 0);
        for (size_t i = 0; i < x.size(); ++i)
        {
          const double e = exact.Sample(x[i]);
          own = std::max(own, RelativeDifference(nudged.Sample(x[i]), e, 1.0));
          ours = std::max(ours, RelativeDifference(y[i], e, 1.0));
        }
      }
      std::printf("[ rounding ] %d Hz, %s: chain vs the library formula %.3g, that formula vs itself with its sine "
                  "one ulp off %.3g (of the signal's size)\n",
                  rate, glide ? "gliding" : "settled", ours, own);
      EXPECT_GT(own, 0.0);
      EXPECT_LE(ours, 4.0 * own) << rate << (glide ? " gliding" : " settled");
    }
}

// Every vector variant the processor runs gives the same results bit for bit, settled and gliding, stereo, mono
// and interleaved.
TEST(EqChannelChain, VectorVariantsGiveTheSameResults)
{
  std::vector<ondrell::WideKernels> kernels = {ondrell::WideKernels::Sse2};
  if (ondrell::DetectWideKernels() != ondrell::WideKernels::Sse2)
    kernels.push_back(ondrell::WideKernels::Avx2);
  if (ondrell::DetectWideKernels() == ondrell::WideKernels::Avx512)
    kernels.push_back(ondrell::WideKernels::Avx512);
  std::vector<std::vector<double>> results;
  for (ondrell::WideKernels k : kernels)
  {
    EqChannelChain chain(48000, k);
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> signal(-1.3, 1.3);
    std::vector<double> all;
    for (int block = 0; block < 60; ++block)
    {
      if (block % 10 == 0)
      {
        chain.ApplyParam(block % 8, block % 3 == 0 ? 0.0 : 3.0 + block % 4);
        if (block % 20 == 0)
          chain.ApplyParam(0, 2);
      }
      const int n = 37 + block * 7;
      std::vector<double> left(static_cast<size_t>(n)), right(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i)
      {
        left[static_cast<size_t>(i)] = signal(rng);
        right[static_cast<size_t>(i)] = signal(rng);
      }
      if (block % 3 == 0)
        chain.Process(left.data(), right.data(), n);
      else if (block % 3 == 1)
        chain.ProcessChannel(left.data(), n, 0);
      else
      {
        std::vector<double> frames(2 * static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
        {
          frames[2 * static_cast<size_t>(i)] = left[static_cast<size_t>(i)];
          frames[2 * static_cast<size_t>(i) + 1] = right[static_cast<size_t>(i)];
        }
        chain.ProcessFrames(frames.data(), n, true, true);
        left.assign(frames.begin(), frames.end());
      }
      all.insert(all.end(), left.begin(), left.end());
      all.insert(all.end(), right.begin(), right.end());
    }
    results.push_back(all);
  }
  for (size_t k = 1; k < results.size(); ++k)
  {
    ASSERT_EQ(results[k].size(), results[0].size());
    for (size_t i = 0; i < results[0].size(); ++i)
      ASSERT_EQ(std::memcmp(&results[k][i], &results[0][i], sizeof(double)), 0) << "variant " << k << ", " << i;
  }
}

#include "engine/FloatingPointGuard.h"
#include "engine/Oversampler.h"
#include "engine/QuorlEQ.h"
#include "tests/engine/PluginRig.h"
#include "tests/engine/SignalTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using ondrell::FloatingPointGuard;
using ondrell::Oversampler;
using ondrell::QuorlEQ;
using namespace quorl_test;

namespace {

std::vector<double> Noise(size_t n, double amplitude, unsigned seed)
{
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> d(-amplitude, amplitude);
  std::vector<double> x(n);
  for (auto& v : x)
    v = d(rng);
  return x;
}

size_t PeakIndex(const std::vector<double>& y)
{
  size_t peak = 0;
  for (size_t i = 1; i < y.size(); ++i)
    if (std::fabs(y[i]) > std::fabs(y[peak]))
      peak = i;
  return peak;
}

// Measures where an impulse comes out of the plug-in, relative to where it went in.
long ImpulseDelay(PluginRig& rig, int latency, int block)
{
  const size_t at = 3001;
  std::vector<double> x(at + static_cast<size_t>(latency) + 3000, 0.0);
  x[at] = 0.5;
  const std::vector<double> y = rig.RunMono(x, block);
  return static_cast<long>(PeakIndex(y)) - static_cast<long>(at);
}

// A second oversampler set up as the plug-in's, fed the same mono blocks: what the plug-in's oversampled pass
// yields when no band is active (the chain is then the memoryless x + 0.01 sin(x)). While oversampling is off,
// `History` does what the plug-in does - only remember the input and replay it when switched on - and
// `Continuous` runs the input through upsampler and downsampler all along.
class Mirror
{
public:
  enum class Priming
  {
    History,
    Continuous,
  };

  Mirror(double rate, int blockSize, Priming priming = Priming::History)
    : mOversampler(4, Oversampler::kRealtimeQuality, rate, std::max(blockSize, 1024))
    , mPriming(priming)
  {
  }

  // The oversampled result of the block when `chain` is true, else zeros (the pass is then only primed).
  std::vector<double> Block(const double* x, int n, bool chain)
  {
    const FloatingPointGuard sameModeAsThePlugin;
    const double* in[2] = {x, nullptr};
    std::vector<double> y(static_cast<size_t>(n), 0.0);
    double* out[2] = {y.data(), nullptr};
    if (mPriming == Priming::History && chain && !mOn)
      mOversampler.PrimeFromHistory();
    mOn = chain;
    mOversampler.Remember(in, n);
    if (!chain && mPriming == Priming::History)
      return y;
    const int m = mOversampler.Upsample(in, n);
    if (chain)
      for (int i = 0; i < m; ++i)
        mOversampler.HighRate()[2 * i] = DefaultChain(mOversampler.HighRate()[2 * i]);
    mOversampler.Downsample(out, m);
    if (!chain)
      std::fill(y.begin(), y.end(), 0.0);
    return y;
  }

  int Latency() const { return mOversampler.Latency(); }

private:
  Oversampler mOversampler;
  Priming mPriming;
  bool mOn = false;
};

} // namespace

// With oversampling on, the reported latency is where an impulse comes out, within one sample, at every rate from
// 8 to 384 kHz, for the real-time preset (switched on) and the offline preset (forced by offline rendering); at
// most 8 samples in real time and 12 offline.
TEST(Oversampling, ReportedLatencyIsTheDelayOfAnImpulse)
{
  for (double rate : {8000.0, 22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0, 384000.0})
    for (bool offline : {false, true})
    {
      PluginRig rig;
      if (!offline)
        rig.Set(QuorlEQ::kOversampling, 1.0);
      rig.Activate(rate, 512, offline);
      const auto& engine = rig.engine();
      ASSERT_TRUE(engine.OversamplingActive());
      EXPECT_EQ(engine.OversamplerQuality(), offline ? 3 : 2);
      const int latency = engine.OversamplerLatency();
      EXPECT_GT(latency, 0);
      EXPECT_EQ(rig.plugin().LatencyReports(), 1);
      EXPECT_EQ(rig.plugin().GetLatency(), latency);
      const long delay = ImpulseDelay(rig, latency, 512);
      std::printf("[ latency  ] %5.0f Hz %-9s reported %d, impulse delay %ld\n", rate, offline ? "offline" : "real-time",
                  latency, delay);
      EXPECT_NEAR(static_cast<double>(delay), latency, 1.0) << rate << (offline ? " offline" : " real-time");
      EXPECT_LE(latency, offline ? 12 : 8);
    }
}

TEST(Oversampling, SwitchDuringPlaybackReportsLatencyAtTheNextIdle)
{
  PluginRig rig;
  rig.Activate(48000.0, 256);
  EXPECT_EQ(rig.plugin().LatencyReports(), 0); // 0, as the record says: nothing to report
  rig.Set(QuorlEQ::kOversampling, 1.0);
  rig.RunMono(std::vector<double>(256, 0.0), 256);
  EXPECT_EQ(rig.plugin().LatencyReports(), 0); // the audio thread never reports
  rig.plugin().Idle();
  EXPECT_EQ(rig.plugin().LatencyReports(), 1);
  EXPECT_EQ(rig.plugin().LastReportedLatency(), rig.engine().OversamplerLatency());
  rig.plugin().Idle();
  EXPECT_EQ(rig.plugin().LatencyReports(), 1);
  rig.Set(QuorlEQ::kOversampling, 0.0);
  rig.RunMono(std::vector<double>(256, 0.0), 256);
  rig.plugin().Idle();
  EXPECT_EQ(rig.plugin().LatencyReports(), 2);
  EXPECT_EQ(rig.plugin().LastReportedLatency(), 0);
}

// Switched and switched back in consecutive blocks before an idle tick: the host keeps the latency it has, which
// is right again, instead of being told the one the first switch left pending.
TEST(Oversampling, SwitchBackBeforeTheNextIdleKeepsTheReportedLatency)
{
  for (bool onAtStart : {false, true})
  {
    PluginRig rig;
    rig.Set(QuorlEQ::kOversampling, onAtStart ? 1.0 : 0.0);
    rig.Activate(48000.0, 256);
    const int reports = rig.plugin().LatencyReports();
    const int latency = onAtStart ? rig.engine().OversamplerLatency() : 0;
    ASSERT_EQ(rig.plugin().GetLatency(), latency);
    rig.Set(QuorlEQ::kOversampling, onAtStart ? 0.0 : 1.0);
    rig.RunMono(std::vector<double>(256, 0.0), 256);
    rig.Set(QuorlEQ::kOversampling, onAtStart ? 1.0 : 0.0);
    rig.RunMono(std::vector<double>(256, 0.0), 256);
    ASSERT_EQ(rig.engine().OversamplingActive(), onAtStart);
    rig.plugin().Idle();
    EXPECT_EQ(rig.plugin().LatencyReports(), reports) << onAtStart;
    EXPECT_EQ(rig.plugin().GetLatency(), latency) << onAtStart;
  }
}

// A switch during a steady tone blends linearly over exactly 256 samples from the old path's result to the new
// one, whatever the block size, in both directions.
TEST(Oversampling, SwitchCrossfadesOverExactly256Samples)
{
  const double rate = 48000.0;
  for (bool switchOn : {true, false})
    for (int block : {32, 64, 100, 512})
    {
      SCOPED_TRACE(std::string(switchOn ? "on" : "off") + ", block " + std::to_string(block));
      PluginRig rig;
      if (!switchOn)
        rig.Set(QuorlEQ::kOversampling, 1.0);
      rig.Activate(rate, block);
      Mirror mirror(rate, block);
      ASSERT_EQ(rig.engine().OversamplerLatency(), mirror.Latency());

      const int before = (2000 / block + 1) * block;
      const size_t total = static_cast<size_t>(before) + 256 + 2000;
      const std::vector<double> x = Sine(total, 997.0, rate, 0.5, 0.3);
      std::vector<double> out(total);
      bool oversampledPass = !switchOn; // what the plug-in's oversampled pass currently runs: chain or priming
      int crossfadeBlocks = 0;
      double largestGap = 0.0;
      for (size_t at = 0; at < total; at += static_cast<size_t>(block))
      {
        const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(block), total - at));
        if (static_cast<int>(at) == before)
          rig.Set(QuorlEQ::kOversampling, switchOn ? 1.0 : 0.0);
        double* in[1] = {const_cast<double*>(x.data()) + at};
        double* o[1] = {out.data() + at};
        rig.plugin().Process(in, o, 1, 1, n);
        const bool crossfading = static_cast<int>(at) >= before && static_cast<int>(at) < before + 256;
        if (crossfading)
        {
          ++crossfadeBlocks;
          oversampledPass = true;
          const int expectedCounter = std::max(0, before + 256 - static_cast<int>(at) - n);
          EXPECT_EQ(rig.engine().CrossfadeCounter(), expectedCounter) << at;
        }
        else if (static_cast<int>(at) >= before)
          oversampledPass = switchOn;
        const std::vector<double> oversampled = mirror.Block(x.data() + at, n, oversampledPass);
        ASSERT_EQ(static_cast<int>(oversampled.size()), n);

        for (int i = 0; i < n; ++i)
        {
          const double p = DefaultChain(x[at + i]);
          const double o = oversampled[static_cast<size_t>(i)];
          const long since = static_cast<long>(at) + i - before;
          double expected;
          if (since < 0)
            expected = switchOn ? p : o;
          else if (since < 256)
          {
            const double f = static_cast<double>(since) / 256.0;
            expected = switchOn ? f * o + (1.0 - f) * p : (1.0 - f) * o + f * p;
            largestGap = std::max(largestGap, std::fabs(o - p));
          }
          else
            expected = switchOn ? o : p;
          ASSERT_NEAR(out[at + i], expected, 1e-12) << "sample " << since << " after the switch";
        }
      }
      EXPECT_EQ(crossfadeBlocks, (256 + block - 1) / block);
      EXPECT_FALSE(rig.engine().Crossfading());
      EXPECT_EQ(rig.engine().OversamplingActive(), switchOn);
      // The two paths differ (the oversampled one is delayed), so the checks above tell the weights apart.
      EXPECT_GT(largestGap, 0.1);
    }
}

// Switching on does not start from silence: the oversampled result the crossfade blends in from the first sample
// on is, within -100 dB of the signal, what an oversampler fed the raw input all along gives - while off, the
// plug-in only kept the recent input and replays it at the switch. For blocks of several lengths, in stereo noise.
TEST(Oversampling, SwitchOnMatchesAContinuouslyFedOversampler)
{
  const double rate = 48000.0;
  for (int block : {16, 64, 512})
  {
    PluginRig rig;
    rig.Activate(rate, block);
    Mirror continuous(rate, block, Mirror::Priming::Continuous);
    const int before = (5000 / block + 1) * block;
    const size_t total = static_cast<size_t>(before) + 2048;
    const std::vector<double> x = Noise(total, 0.9, 11);
    std::vector<double> out(total);
    double worst = 0.0;
    for (size_t at = 0; at < total; at += static_cast<size_t>(block))
    {
      const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(block), total - at));
      const bool on = static_cast<int>(at) >= before;
      if (static_cast<int>(at) == before)
        rig.Set(QuorlEQ::kOversampling, 1.0);
      double* in[1] = {const_cast<double*>(x.data()) + at};
      double* o[1] = {out.data() + at};
      rig.plugin().Process(in, o, 1, 1, n);
      const std::vector<double> oversampled = continuous.Block(x.data() + at, n, on);
      if (!on)
        continue;
      for (int i = 0; i < n; ++i)
      {
        const long since = static_cast<long>(at) + i - before;
        const double p = DefaultChain(x[at + i]);
        const double f = std::min(1.0, static_cast<double>(since) / 256.0);
        const double expected = since < 256 ? f * oversampled[static_cast<size_t>(i)] + (1.0 - f) * p
                                            : oversampled[static_cast<size_t>(i)];
        // The oversampled part's difference, undone from the blend's weight (exactly 0 at the first sample).
        const double difference = since == 0 ? 0.0 : std::fabs(out[at + i] - expected) / (since < 256 ? f : 1.0);
        worst = std::max(worst, difference);
      }
    }
    std::printf("[ switch   ] block %3d: first samples after switching on vs an oversampler fed all along: %s\n",
                block, worst == 0.0 ? "identical" : (std::to_string(ToDb(worst / 0.9)) + " dB").c_str());
    EXPECT_LT(worst, 0.9 * 1e-5) << "block " << block;
  }
}

TEST(Oversampling, OnAndOffBeforeTheNextBlockChangesNothing)
{
  PluginRig rig;
  rig.Activate(48000.0, 128);
  rig.Set(QuorlEQ::kOversampling, 1.0);
  rig.Set(QuorlEQ::kOversampling, 0.0);
  const std::vector<double> x = Sine(128, 440.0, 48000.0, 0.7);
  const std::vector<double> y = rig.RunMono(x, 128);
  EXPECT_FALSE(rig.engine().SwitchPending());
  EXPECT_FALSE(rig.engine().Crossfading());
  EXPECT_FALSE(rig.engine().OversamplingActive());
  for (size_t i = 0; i < x.size(); ++i)
    ASSERT_EQ(y[i], DefaultChain(x[i]));
  rig.plugin().Idle();
  EXPECT_EQ(rig.plugin().LatencyReports(), 0);
}

// Offline rendering forces oversampling with the offline preset at the next reset; the first reset after it
// ends returns to the state before, with the real-time preset, and reports 0 again. The parameter stays as it was.
TEST(Oversampling, OfflineRenderingForcesOversamplingUntilItEnds)
{
  PluginRig rig;
  rig.Activate(48000.0, 512, true);
  const auto& engine = rig.engine();
  EXPECT_TRUE(engine.OversamplingActive());
  EXPECT_TRUE(engine.OfflineForced());
  EXPECT_EQ(engine.OversamplerQuality(), 3);
  EXPECT_EQ(rig.plugin().LastReportedLatency(), engine.OversamplerLatency());
  EXPECT_EQ(rig.plugin().GetParam(QuorlEQ::kOversampling)->Value(), 0.0);
  const int offlineLatency = engine.OversamplerLatency();
  EXPECT_NEAR(static_cast<double>(ImpulseDelay(rig, offlineLatency, 512)), offlineLatency, 1.0);

  rig.Activate(48000.0, 512, true); // a further reset while offline changes nothing
  EXPECT_TRUE(engine.OversamplingActive());

  rig.Activate(48000.0, 512, false);
  EXPECT_FALSE(engine.OversamplingActive());
  EXPECT_FALSE(engine.OfflineForced());
  EXPECT_EQ(engine.OversamplerQuality(), 2);
  EXPECT_EQ(rig.plugin().LastReportedLatency(), 0);
  EXPECT_LT(engine.OversamplerLatency(), offlineLatency);
  const std::vector<double> x = Sine(512, 100.0, 48000.0, 0.9);
  const std::vector<double> y = rig.RunMono(x, 512);
  for (size_t i = 0; i < x.size(); ++i)
    ASSERT_EQ(y[i], DefaultChain(x[i]));
}

// A switch made while offline rendering forces oversampling is applied as usual, and is still what the
// parameter says once offline rendering ends.
TEST(Oversampling, SwitchWhileForcedIsKeptAfterOfflineRendering)
{
  PluginRig rig;
  rig.Activate(48000.0, 256, true);
  rig.Set(QuorlEQ::kOversampling, 1.0); // already on: nothing to switch
  rig.RunMono(std::vector<double>(256, 0.0), 256);
  EXPECT_FALSE(rig.engine().Crossfading());
  rig.Set(QuorlEQ::kOversampling, 0.0); // off while forced: applied at once, with a crossfade
  rig.RunMono(std::vector<double>(256, 0.0), 256);
  EXPECT_FALSE(rig.engine().OversamplingActive());
  rig.Set(QuorlEQ::kOversampling, 1.0);
  rig.RunMono(std::vector<double>(256, 0.0), 256);
  EXPECT_TRUE(rig.engine().OversamplingActive());

  rig.Activate(48000.0, 256, false);
  EXPECT_TRUE(rig.engine().OversamplingActive());
  EXPECT_EQ(rig.plugin().GetParam(QuorlEQ::kOversampling)->Value(), 1.0);
  EXPECT_EQ(rig.plugin().LastReportedLatency(), rig.engine().OversamplerLatency());
}

// A host's reset while audio is in flight (CLAP resets on its audio thread, with rate and block size unchanged)
// leaves nothing of that audio in the oversampler: afterwards the plug-in gives exactly what a freshly activated
// one gives - silence as exact silence, an impulse at the reported latency - in stereo, with bands active, for
// oversampling on through the reset and for oversampling switched on just after it (the history it replays then
// holds nothing of the earlier audio either).
TEST(Oversampling, ResetWithAudioInFlightLeavesNoTrace)
{
  const double rate = 48000.0;
  const int block = 256;
  for (bool onThroughReset : {true, false})
  {
    SCOPED_TRACE(onThroughReset ? "on through the reset" : "switched on after the reset");
    const auto activate = [&](PluginRig& rig) {
      rig.Set(QuorlEQ::kHighPassFreq, 2);
      rig.Set(QuorlEQ::kLowShelfLevel, 6.0);
      rig.Set(QuorlEQ::kMid1Level, -6.0);
      rig.Set(QuorlEQ::kMid2Level, 4.0);
      rig.Set(QuorlEQ::kHighShelfLevel, -3.0);
      if (onThroughReset)
        rig.Set(QuorlEQ::kOversampling, 1.0);
      rig.Activate(rate, block);
    };
    PluginRig used;
    activate(used);
    // Loud audio up to the reset, ending within a block as a host's last call may.
    used.Run({Sine(5037, 1234.5, rate, 0.9), Sine(5037, 87.0, rate, 0.8, 1.0)}, block);
    used.plugin().Reset();
    PluginRig fresh;
    activate(fresh);
    if (!onThroughReset)
      for (PluginRig* rig : {&used, &fresh})
        rig->Set(QuorlEQ::kOversampling, 1.0);

    const int latency = used.engine().OversamplerLatency();
    ASSERT_EQ(latency, fresh.engine().OversamplerLatency());
    const size_t at = 3001;
    std::vector<std::vector<double>> x(2, std::vector<double>(at + static_cast<size_t>(latency) + 3000, 0.0));
    x[0][at] = 0.5;
    x[1][at] = -0.5;
    const auto y = used.Run(x, block);
    const auto expected = fresh.Run(x, block);
    if (!onThroughReset)
      used.plugin().Idle();
    EXPECT_EQ(used.plugin().GetLatency(), latency);

    for (size_t c = 0; c < 2; ++c)
    {
      for (size_t i = 0; i < at; ++i)
        ASSERT_EQ(y[c][i], 0.0) << "channel " << c << ", sample " << i;
      for (size_t i = 0; i < y[c].size(); ++i)
        ASSERT_EQ(y[c][i], expected[c][i]) << "channel " << c << ", sample " << i;
      EXPECT_NEAR(static_cast<double>(PeakIndex(y[c])) - static_cast<double>(at), latency, 1.0) << "channel " << c;
    }
  }
}

// Blocks longer than the buffers (more than max(block size, 1024) frames) give silence on the oversampled path
// and the plain result otherwise.
TEST(Oversampling, BlocksLongerThanTheBuffers)
{
  PluginRig rig;
  rig.Set(QuorlEQ::kOversampling, 1.0);
  rig.Activate(48000.0, 512);
  ASSERT_EQ(rig.engine().BufferLength(), 1024);
  const std::vector<double> x = Sine(2048, 300.0, 48000.0, 0.5);
  const std::vector<double> silent = rig.RunMono(x, 2048);
  for (double y : silent)
    ASSERT_EQ(y, 0.0);

  rig.Set(QuorlEQ::kOversampling, 0.0);
  rig.RunMono(std::vector<double>(512, 0.0), 512); // crossfade
  const std::vector<double> plain = rig.RunMono(x, 2048);
  for (size_t i = 0; i < x.size(); ++i)
    ASSERT_EQ(plain[i], DefaultChain(x[i]));
}

// What oversampling is for: the shaper's harmonics of a 9 kHz tone at 0 dBFS through a +12 dB high shelf fold
// back below 24 kHz at the base rate; at four times the rate they are filtered out before downsampling, by at
// least the preset's attenuation (120 dB real-time, 150 dB offline).
TEST(Oversampling, SuppressesTheShapersAliases)
{
  const double rate = 48000.0;
  double aliasDb[3] = {0.0, 0.0, 0.0};
  const char* names[3] = {"off", "on", "offline"};
  for (int on = 0; on < 3; ++on)
  {
    PluginRig rig;
    rig.Set(QuorlEQ::kHighShelfLevel, 12.0);
    rig.Set(QuorlEQ::kOversampling, on == 1);
    rig.Activate(rate, 512, on == 2);
    const size_t settle = 8192;
    const size_t window = 16 * 2000; // 9 kHz repeats every 16 samples at 48 kHz: whole periods
    const std::vector<double> x = Sine(settle + window, 9000.0, rate, 1.0);
    const std::vector<double> y = rig.RunMono(x, 512);
    // Fit and remove the fundamental; everything left in the band is an alias (the tone's harmonics all lie
    // above 24 kHz, and only odd ones occur).
    double s = 0.0, c = 0.0;
    for (size_t i = 0; i < window; ++i)
    {
      const double phase = 2.0 * kPi * 9000.0 * static_cast<double>(i) / rate;
      s += y[settle + i] * std::sin(phase);
      c += y[settle + i] * std::cos(phase);
    }
    s *= 2.0 / window;
    c *= 2.0 / window;
    double residual = 0.0, mean = 0.0;
    for (size_t i = 0; i < window; ++i)
      mean += y[settle + i];
    mean /= static_cast<double>(window);
    for (size_t i = 0; i < window; ++i)
    {
      const double phase = 2.0 * kPi * 9000.0 * static_cast<double>(i) / rate;
      const double r = y[settle + i] - mean - s * std::sin(phase) - c * std::cos(phase);
      residual += r * r;
    }
    residual /= static_cast<double>(window);
    const double fundamental = (s * s + c * c) / 2.0;
    aliasDb[on] = 10.0 * std::log10(residual / fundamental);
    std::printf("[ aliases  ] oversampling %-7s: alias energy %.1f dB below the 9 kHz tone (21 kHz line %.1f dB, "
                "3 kHz line %.1f dB)\n",
                names[on], -aliasDb[on],
                ToDb(AmplitudeAt(y, settle, window, 21000.0, rate) / std::sqrt(2.0 * fundamental)),
                ToDb(AmplitudeAt(y, settle, window, 3000.0, rate) / std::sqrt(2.0 * fundamental)));
  }
  EXPECT_GT(aliasDb[0], -70.0); // without oversampling the aliases are plainly there
  EXPECT_LT(aliasDb[1], -Oversampler::Preset(Oversampler::kRealtimeQuality).attenuationDb);
  EXPECT_LT(aliasDb[2], -Oversampler::Preset(Oversampler::kOfflineQuality).attenuationDb);
}

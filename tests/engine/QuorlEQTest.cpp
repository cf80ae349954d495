#include "engine/QuorlEQ.h"
#include "tests/engine/PluginRig.h"
#include "tests/engine/SignalTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <optional>
#include <random>
#include <string>
#include <vector>

using ondrell::EqChannelChain;
using ondrell::IParam;
using ondrell::ParamKind;
using ondrell::QuorlEQ;
using namespace quorl_test;

namespace {

std::string Text(const IParam& p)
{
  std::string out;
  p.FormatValue(p.Value(), false, out, true);
  return out;
}

std::vector<double> Noise(size_t n, double amplitude, unsigned seed)
{
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> d(-amplitude, amplitude);
  std::vector<double> x(n);
  for (auto& v : x)
    v = d(rng);
  return x;
}

} // namespace

TEST(QuorlEQ, ConfigurationRecord)
{
  PluginRig rig;
  QuorlEQ& p = rig.plugin();
  EXPECT_EQ(p.NParams(), 10);
  EXPECT_EQ(p.NPresets(), 1);
  EXPECT_EQ(p.GetPluginName(), "Quorl EQ");
  EXPECT_EQ(p.GetProductName(), "Quorl EQ");
  EXPECT_EQ(p.GetMakerName(), "Ondrell Audio");
  EXPECT_EQ(p.GetPluginVersion(false), 262400);
  EXPECT_EQ(p.GetPluginVersion(true), 40100);
  EXPECT_EQ(p.GetUniqueId(), ('Q' << 24) | ('r' << 16) | ('l' << 8) | 'E');
  EXPECT_EQ(p.GetMakerId(), ('O' << 24) | ('n' << 16) | ('d' << 8) | 'r');
  EXPECT_EQ(p.GetLatency(), 0);
  EXPECT_FALSE(p.DoesMidiIn());
  EXPECT_FALSE(p.DoesMidiOut());
  EXPECT_FALSE(p.DoesMPE());
  EXPECT_FALSE(p.DoesStateChunks());
  EXPECT_EQ(p.GetPluginKind(), 0);
  EXPECT_TRUE(p.HasEditor());
  EXPECT_EQ(p.GetEditorWidth(), 664);
  EXPECT_EQ(p.GetEditorHeight(), 215);
  EXPECT_EQ(p.GetMinWidth(), 221);
  EXPECT_EQ(p.GetMaxWidth(), 1992);
  EXPECT_EQ(p.GetMinHeight(), 71);
  EXPECT_EQ(p.GetMaxHeight(), 645);
  EXPECT_TRUE(p.GetBundleId().empty());
  EXPECT_TRUE(p.GetAppGroupId().empty());
  EXPECT_EQ(p.NIOConfigs(), 2);
  EXPECT_TRUE(p.LegalIO(1, 1));
  EXPECT_TRUE(p.LegalIO(2, 2));
  EXPECT_FALSE(p.LegalIO(1, 2));
}

TEST(QuorlEQ, ParametersAsTabled)
{
  PluginRig rig;
  QuorlEQ& p = rig.plugin();
  struct Row
  {
    const char* name;
    ParamKind kind;
    double minimum, maximum, step;
    const char* defaultText;
    const char* label;
    int displayTexts;
    bool automatable;
  };
  const Row rows[] = {
    {"HPF", ParamKind::Enum, 0, 5, 1, "Off", "", 6, true},
    {"LoShelf Freq", ParamKind::Enum, 0, 3, 1, "35 Hz", "", 4, true},
    {"LoShelf Level", ParamKind::Double, -20, 20, 0.1, "0.0", "dB", 0, true},
    {"MF 1 Freq", ParamKind::Enum, 0, 5, 1, "240 Hz", "", 6, true},
    {"MF Level 1", ParamKind::Double, -20, 20, 0.1, "0.0", "dB", 0, true},
    {"MF 2 Freq", ParamKind::Enum, 0, 6, 1, "2500 Hz", "", 7, true},
    {"MF Level 2", ParamKind::Double, -20, 20, 0.1, "0.0", "dB", 0, true},
    {"HiShelf Level", ParamKind::Double, -20, 20, 0.1, "0.0", "dB", 0, true},
    {"Gain", ParamKind::Double, -20, 10, 0.1, "0.0", "dB", 0, true},
    {"Oversampling", ParamKind::Bool, 0, 1, 1, "off", "", 2, false},
  };
  for (int i = 0; i < 10; ++i)
  {
    const IParam& param = *p.GetParam(i);
    const Row& row = rows[i];
    EXPECT_STREQ(param.GetName(), row.name) << i;
    EXPECT_EQ(param.GetKind(), row.kind) << i;
    EXPECT_EQ(param.GetMin(), row.minimum) << i;
    EXPECT_EQ(param.GetMax(), row.maximum) << i;
    EXPECT_EQ(param.GetStep(), row.step) << i;
    EXPECT_EQ(Text(param), row.defaultText) << i;
    EXPECT_STREQ(param.GetLabel(), row.label) << i;
    EXPECT_STREQ(param.GetGroup(), "") << i;
    EXPECT_EQ(param.DisplayTextCount(), row.displayTexts) << i;
    EXPECT_EQ(!param.HasFlag(IParam::FlagNoAutomation), row.automatable) << i;
    EXPECT_EQ(param.GetDisplayPrecision(), row.kind == ParamKind::Double ? 1 : 0) << i;
  }
  EXPECT_STREQ(p.GetParam(5)->DisplayTextFor(6.0), "8000 Hz");
  EXPECT_STREQ(p.GetParam(9)->DisplayTextFor(1.0), "on");

  // A typed 25 dB on a level becomes 20.0; "Gain" stops at 10.
  IParam& level = *p.GetParam(QuorlEQ::kMid1Level);
  level.SetValue(level.ParseText("25 dB"));
  EXPECT_EQ(level.Value(), 20.0);
  IParam& gain = *p.GetParam(QuorlEQ::kGain);
  gain.SetValue(gain.ParseText("12"));
  EXPECT_EQ(gain.Value(), 10.0);
  gain.SetValue(-25.0);
  EXPECT_EQ(gain.Value(), -20.0);
}

// At the defaults no band is active: out = x + 0.01 sin(clamp(x, -1, 1)), to within rounding, beyond +-1 too.
TEST(QuorlEQ, DefaultsGiveInputPlusShapedShare)
{
  for (int block : {1, 64, 512})
  {
    PluginRig rig;
    rig.Activate(48000.0, 512);
    const std::vector<double> left = Noise(3000, 1.6, 1);
    const std::vector<double> right = Noise(3000, 0.9, 2);
    const auto out = rig.Run({left, right}, block);
    for (size_t i = 0; i < left.size(); ++i)
    {
      ASSERT_LE(RelativeDifference(out[0][i], DefaultChain(left[i]), 1.0), kRoundingBound) << i;
      ASSERT_LE(RelativeDifference(out[1][i], DefaultChain(right[i]), 1.0), kRoundingBound) << i;
    }
  }
  PluginRig rig;
  rig.Activate(44100.0, 256);
  const auto silence = rig.RunMono(std::vector<double>(2048, 0.0), 256);
  for (double y : silence)
    ASSERT_EQ(y, 0.0);
}

TEST(QuorlEQ, GainAtMinus20)
{
  PluginRig rig;
  rig.Set(QuorlEQ::kGain, -20.0);
  rig.Activate(48000.0, 512);
  const double linear = std::exp(-20.0 * 0.1151292546497);
  EXPECT_NEAR(linear, 0.1000000000000046, 1e-16);
  EXPECT_EQ(rig.engine().Chain().GainLinear(), linear);
  const double weight = 20.0 / 60.0 + 0.01;
  const std::vector<double> x = Noise(1000, 1.2, 3);
  const std::vector<double> y = rig.RunMono(x, 128);
  for (size_t i = 0; i < x.size(); ++i)
    ASSERT_LE(RelativeDifference(y[i], weight * std::sin(std::min(std::max(x[i], -1.0), 1.0)) + x[i] * linear, 1.0),
              kRoundingBound)
      << i;
}

namespace {

// The chain's response to a small sine, where sin(x) = x: each active band adds its share of the input ahead of
// its filter, the output stage adds its own. Computed here from the cookbook responses.
struct ChainModel
{
  double rate = 48000.0;
  std::optional<double> highPass; // corner, when enabled
  double lowShelfHz = 35.0, lowShelfDb = 0.0;
  double mid1Hz = 240.0, mid1Db = 0.0;
  double mid2Hz = 2500.0, mid2Db = 0.0;
  double highShelfDb = 0.0;
  double gainDb = 0.0;

  std::complex<double> Response(double hz) const
  {
    std::complex<double> h = 1.0;
    if (highPass)
      h = Cookbook::HighPass(*highPass, 0.7071067811865476, rate).Response(hz, rate);
    if (lowShelfDb != 0.0)
      h = Cookbook::LowShelf(lowShelfHz, 0.7, lowShelfDb, rate).Response(hz, rate) * (h + lowShelfDb / 60.0);
    if (mid1Db != 0.0)
      h = Cookbook::Peaking(mid1Hz, 0.7, mid1Db, rate).Response(hz, rate) * (h + std::fabs(mid1Db / 80.0));
    if (mid2Db != 0.0)
      h = Cookbook::Peaking(mid2Hz, 0.7, mid2Db, rate).Response(hz, rate) * (h + std::fabs(mid2Db / 80.0));
    if (highShelfDb != 0.0)
      h = Cookbook::HighShelf(12000.0, 0.7, highShelfDb, rate).Response(hz, rate)
          * (h + std::fabs(highShelfDb / 60.0));
    return std::fabs(gainDb / 60.0) + 0.01 + std::pow(10.0, gainDb / 20.0) * h;
  }
};

double MeasureDb(PluginRig& rig, double hz, double rate)
{
  const double amplitude = 1e-4;
  const size_t settle = static_cast<size_t>(rate);
  const size_t periods = std::max<size_t>(20, static_cast<size_t>(hz / 4.0));
  const size_t window = static_cast<size_t>(std::llround(periods * rate / hz));
  const std::vector<double> x = Sine(settle + window, hz, rate, amplitude);
  const std::vector<double> y = rig.RunMono(x, 512);
  return ToDb(AmplitudeAt(y, settle, window, hz, rate) / amplitude);
}

} // namespace

// Every band's steady-state response matches the cookbook within 0.01 dB, with the shaper's shares. The values
// are set before activation, as a state load does; the reset of the activation must leave the sections at them.
TEST(QuorlEQ, BandResponsesMatchTheCookbook)
{
  struct Case
  {
    const char* name;
    std::vector<std::pair<int, double>> params;
    ChainModel model;
    std::vector<double> probes;
  };
  std::vector<Case> cases;
  {
    ChainModel m;
    m.lowShelfHz = 110.0;
    m.lowShelfDb = -6.0;
    cases.push_back({"low shelf -6 at 110", {{1, 2}, {2, -6.0}}, m, {30.0, 110.0, 300.0, 2000.0}});
  }
  {
    ChainModel m;
    m.mid1Hz = 820.0;
    m.mid1Db = 6.0;
    cases.push_back({"mid 1 +6 at 820", {{3, 4}, {4, 6.0}}, m, {200.0, 820.0, 3000.0}});
  }
  {
    ChainModel m;
    m.mid2Hz = 6000.0;
    m.mid2Db = -9.0;
    cases.push_back({"mid 2 -9 at 6000", {{5, 5}, {6, -9.0}}, m, {1500.0, 6000.0, 15000.0}});
  }
  {
    ChainModel m;
    m.highShelfDb = 12.0;
    cases.push_back({"high shelf +12", {{7, 12.0}}, m, {1000.0, 12000.0, 20000.0}});
  }
  {
    ChainModel m;
    m.highPass = 80.0;
    cases.push_back({"high-pass 80", {{0, 3}}, m, {40.0, 80.0, 400.0}});
  }
  {
    ChainModel m;
    m.highPass = 30.0;
    m.lowShelfHz = 60.0;
    m.lowShelfDb = 5.5;
    m.mid1Hz = 150.0;
    m.mid1Db = -4.0;
    m.mid2Hz = 3150.0;
    m.mid2Db = 8.0;
    m.highShelfDb = -7.5;
    m.gainDb = -3.0;
    cases.push_back({"all bands",
                     {{0, 1}, {1, 1}, {2, 5.5}, {3, 0}, {4, -4.0}, {5, 4}, {6, 8.0}, {7, -7.5}, {8, -3.0}},
                     m,
                     {50.0, 150.0, 1000.0, 3150.0, 10000.0}});
  }
  for (const Case& c : cases)
    for (double hz : c.probes)
    {
      PluginRig rig;
      for (const auto& [index, value] : c.params)
        rig.Set(index, value);
      rig.Activate(48000.0, 512);
      EXPECT_NEAR(MeasureDb(rig, hz, 48000.0), ToDb(std::abs(c.model.Response(hz))), 0.01) << c.name << " at " << hz;
    }
}

// The same response is reached when the value arrives during playback and glides there.
TEST(QuorlEQ, ChangesDuringPlaybackGlideToTheSameResponse)
{
  PluginRig rig;
  rig.Activate(96000.0, 256);
  rig.RunMono(std::vector<double>(256, 0.0), 256);
  rig.Set(QuorlEQ::kMid2Freq, 2);
  rig.Set(QuorlEQ::kMid2Level, -12.0);
  ChainModel m;
  m.rate = 96000.0;
  m.mid2Hz = 640.0;
  m.mid2Db = -12.0;
  EXPECT_NEAR(MeasureDb(rig, 640.0, 96000.0), ToDb(std::abs(m.Response(640.0))), 0.01);
}

// Each change takes exactly one smoothing step when it is applied, and the glide then goes on once per sample.
TEST(QuorlEQ, OneSmoothingStepPerChangeThenOnePerSample)
{
  PluginRig rig;
  rig.Activate(48000.0, 512);
  const auto& mid1 = rig.engine().Chain().Section(EqChannelChain::kMid1, 0);
  const auto& mid1Right = rig.engine().Chain().Section(EqChannelChain::kMid1, 1);

  rig.Set(QuorlEQ::kMid1Level, 6.0);
  rig.Run({std::vector<double>(100, 0.1), std::vector<double>(100, 0.1)}, 100);
  const double w = 0.010000000000000009;
  double state = 0.0;
  for (int n = 0; n < 101; ++n)
    state = state * 0.99 + 6.0 * w;
  EXPECT_DOUBLE_EQ(mid1.CurrentGain(), state);
  EXPECT_DOUBLE_EQ(mid1Right.CurrentGain(), state);

  // Two changes from the main thread before the next block: two steps, each towards its own target.
  rig.plugin().SetParameterFromMainThread(QuorlEQ::kMid1Level, -3.0);
  rig.plugin().SetParameterFromMainThread(QuorlEQ::kMid1Level, 2.0);
  rig.Run({std::vector<double>(10, 0.1), std::vector<double>(10, 0.1)}, 10);
  state = state * 0.99 + -3.0 * w;
  for (int n = 0; n < 11; ++n)
    state = state * 0.99 + 2.0 * w;
  EXPECT_DOUBLE_EQ(mid1.CurrentGain(), state);
}

// A band set back to 0 dB keeps running until a reset; a frequency change while at 0 dB moves one step only;
// "Off" disables the high-pass at once with its corner one step towards 1 Hz.
TEST(QuorlEQ, ZeroDecibelBandsAndTheHighPassSwitch)
{
  PluginRig rig;
  rig.Activate(48000.0, 512);
  const auto& shelf = rig.engine().Chain().Section(EqChannelChain::kLowShelf, 0);
  rig.Set(QuorlEQ::kLowShelfLevel, 3.0);
  rig.RunMono(std::vector<double>(4000, 0.0), 512);
  rig.Set(QuorlEQ::kLowShelfLevel, 0.0);
  rig.RunMono(std::vector<double>(48000, 0.0), 512);
  EXPECT_NE(shelf.CurrentGain(), 0.0);
  EXPECT_LT(std::fabs(shelf.CurrentGain()), 1e-5);
  rig.Activate(48000.0, 512);
  EXPECT_EQ(shelf.CurrentGain(), 0.0);

  rig.Set(QuorlEQ::kLowShelfFreq, 3); // 220 Hz, while the gain is exactly 0
  rig.RunMono(std::vector<double>(2000, 0.25), 500);
  EXPECT_DOUBLE_EQ(shelf.CurrentFrequency(), 35.0 * 0.99 + 220.0 * 0.010000000000000009);

  const auto& highPass = rig.engine().Chain().Section(EqChannelChain::kHighPass, 0);
  rig.Set(QuorlEQ::kHighPassFreq, 4);
  rig.RunMono(std::vector<double>(96000, 0.0), 512);
  EXPECT_TRUE(rig.engine().Chain().HighPassEnabled());
  EXPECT_NEAR(highPass.CurrentFrequency(), 160.0, 1e-4);
  rig.Set(QuorlEQ::kHighPassFreq, 0);
  rig.RunMono(std::vector<double>(512, 0.25), 512);
  EXPECT_FALSE(rig.engine().Chain().HighPassEnabled());
  EXPECT_EQ(highPass.TargetFrequency(), 1.0);
  const double afterOff = highPass.CurrentFrequency();
  EXPECT_LT(afterOff, 160.0);
  EXPECT_GT(afterOff, 158.0);
  // Disabled, the chain at this point is the default one again.
  const std::vector<double> x = Noise(256, 0.8, 5);
  const std::vector<double> y = rig.RunMono(x, 256);
  for (size_t i = 0; i < x.size(); ++i)
    ASSERT_EQ(y[i], DefaultChain(x[i]));
}

TEST(QuorlEQ, UnconnectedChannelsAreLeftAlone)
{
  PluginRig rig;
  rig.Activate(48000.0, 64);
  std::vector<double> in0 = Noise(64, 0.5, 7), in1 = Noise(64, 0.5, 8);
  std::vector<double> out0(64, 0.0), out1(64, 42.0);
  double* inputs[2] = {in0.data(), in1.data()};
  double* outputs[2] = {out0.data(), out1.data()};
  // Mono: only channel 0.
  rig.plugin().Process(inputs, outputs, 1, 1, 64);
  for (int i = 0; i < 64; ++i)
  {
    ASSERT_EQ(out0[i], DefaultChain(in0[i]));
    ASSERT_EQ(out1[i], 42.0);
  }
  // Two outputs, one input: channel 1 untouched.
  rig.plugin().Process(inputs, outputs, 1, 2, 64);
  for (int i = 0; i < 64; ++i)
    ASSERT_EQ(out1[i], 42.0);
}

// A NaN or infinite input sample reaches no filter and no oversampler: it counts as silence, so the output is
// exactly what the same input with a 0 there gives, every output sample is finite, and the other channel is
// undisturbed - with oversampling off and on, for samples at the end and the start of a block.
TEST(QuorlEQ, NonFiniteInputCountsAsSilence)
{
  for (bool oversampling : {false, true})
    for (double poison : {std::nan(""), HUGE_VAL, -HUGE_VAL})
    {
      SCOPED_TRACE(std::string(oversampling ? "oversampled, " : "base rate, ") + std::to_string(poison));
      const auto setUp = [oversampling](PluginRig& rig) {
        rig.Set(QuorlEQ::kHighShelfLevel, 6.0);
        rig.Set(QuorlEQ::kHighPassFreq, 2);
        rig.Set(QuorlEQ::kMid1Level, -4.0);
        rig.Set(QuorlEQ::kOversampling, oversampling ? 1.0 : 0.0);
        rig.Activate(48000.0, 256);
      };
      PluginRig rig, reference;
      setUp(rig);
      setUp(reference);
      const std::vector<double> right = Sine(1024, 700.0, 48000.0, 0.5);
      std::vector<double> left = Sine(1024, 1000.0, 48000.0, 0.5);
      std::vector<double> silenced = left;
      for (size_t at : {size_t{100}, size_t{255}, size_t{256}, size_t{700}})
      {
        left[at] = poison;
        silenced[at] = 0.0;
      }
      const auto out = rig.Run({left, right}, 256);
      const auto expected = reference.Run({silenced, right}, 256);
      for (size_t c = 0; c < 2; ++c)
        for (size_t i = 0; i < out[c].size(); ++i)
        {
          ASSERT_TRUE(std::isfinite(out[c][i])) << c << " " << i;
          ASSERT_EQ(out[c][i], expected[c][i]) << c << " " << i;
        }
    }
}

// Finite input near the largest double: every output sample stays finite, during it and after it (where the
// filters ring, or were emptied because they overflowed), with oversampling off and on.
TEST(QuorlEQ, InputNearTheLargestDoubleLeavesEveryOutputFinite)
{
  for (bool oversampling : {false, true})
  {
    SCOPED_TRACE(oversampling ? "oversampled" : "base rate");
    PluginRig rig;
    rig.Set(QuorlEQ::kLowShelfLevel, 12.0);
    rig.Set(QuorlEQ::kHighShelfLevel, 20.0);
    rig.Set(QuorlEQ::kOversampling, oversampling ? 1.0 : 0.0);
    rig.Activate(48000.0, 256);
    std::vector<double> x(4096, 0.0);
    for (size_t i = 0; i < 700; ++i)
      x[i] = (i % 2 == 0 ? 1.7e308 : -1.7e308) * (i % 5 == 0 ? 0.5 : 1.0);
    const std::vector<double> tone = Sine(x.size() - 700, 440.0, 48000.0, 0.5);
    std::copy(tone.begin(), tone.end(), x.begin() + 700);
    for (double y : rig.RunMono(x, 256))
      ASSERT_TRUE(std::isfinite(y));
  }
}

// A reset with a rate the filters cannot run at keeps the previous rate instead of filling the sections with NaN.
TEST(QuorlEQ, UnusableSampleRateKeepsThePreviousOne)
{
  for (double bad : {0.0, -44100.0, std::nan(""), 1e12})
  {
    PluginRig rig, reference;
    for (PluginRig* r : {&rig, &reference})
    {
      r->Set(QuorlEQ::kHighShelfLevel, 6.0);
      r->Set(QuorlEQ::kHighPassFreq, 3);
      r->Activate(48000.0, 256);
    }
    rig.Activate(bad, 256);
    EXPECT_EQ(rig.engine().Chain().Section(EqChannelChain::kHighShelf, 0).SampleRate(), 48000) << bad;
    const std::vector<double> x = Sine(1024, 5000.0, 48000.0, 0.5);
    const std::vector<double> y = rig.RunMono(x, 256);
    const std::vector<double> expected = reference.RunMono(x, 256);
    for (size_t i = 0; i < x.size(); ++i)
      ASSERT_EQ(y[i], expected[i]) << bad;
  }
}

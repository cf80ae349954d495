#include "engine/BiquadSection.h"
#include "tests/engine/SignalTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using ondrell::BiquadSection;
using namespace quorl_test;

namespace {

BiquadSection MakeSettled(int type, double hz, double q, double dB, int rate)
{
  BiquadSection s;
  s.SetType(type);
  s.SetQ(q);
  s.SetFrequency(hz);
  s.SetGain(dB);
  s.SetSampleRate(rate);
  s.Reset();
  s.Step(); // the forced recomputation at the targets
  return s;
}

// Runs a sine through the section long enough to settle and measures the gain over whole periods.
double MeasuredGainDb(BiquadSection& s, double hz, int rate)
{
  const size_t settle = static_cast<size_t>(rate); // one second
  const size_t periods = std::max<size_t>(10, static_cast<size_t>(hz / 4.0));
  const size_t window = static_cast<size_t>(std::llround(periods * rate / hz));
  std::vector<double> y(settle + window);
  for (size_t i = 0; i < y.size(); ++i)
    y[i] = s.ProcessSample(0.5 * std::sin(2.0 * kPi * hz * static_cast<double>(i) / rate));
  // The window holds a whole number of periods only approximately; a longer window keeps the error far below 0.01 dB.
  return ToDb(AmplitudeAt(y, settle, window, hz, rate) / 0.5);
}

} // namespace

TEST(BiquadSection, FreshSectionPassesInputThrough)
{
  BiquadSection s;
  EXPECT_EQ(s.Type(), 6);
  EXPECT_EQ(s.SampleRate(), 44100);
  for (double x : {0.25, -0.75, 1.5, 0.0, 1e-3})
    EXPECT_NEAR(s.ProcessSample(x), x, 1e-12); // equal numerator and denominator, up to rounding
}

TEST(BiquadSection, SteadyStateResponseMatchesCookbook)
{
  struct Case
  {
    const char* name;
    int type;
    double corner, q, dB;
    Cookbook reference;
    std::vector<double> probes;
  };
  const int rate = 48000;
  const std::vector<Case> cases = {
    {"peaking +6", 6, 240.0, 0.7, 6.0, Cookbook::Peaking(240.0, 0.7, 6.0, rate), {240.0, 100.0, 1000.0, 5000.0}},
    {"peaking -12.5", 6, 2500.0, 0.7, -12.5, Cookbook::Peaking(2500.0, 0.7, -12.5, rate), {2500.0, 1200.0, 7000.0}},
    {"low shelf +6", 7, 110.0, 0.7, 6.0, Cookbook::LowShelf(110.0, 0.7, 6.0, rate), {20.0, 110.0, 400.0, 3000.0}},
    {"low shelf -9", 7, 60.0, 0.7, -9.0, Cookbook::LowShelf(60.0, 0.7, -9.0, rate), {25.0, 60.0, 250.0}},
    {"high shelf +6", 8, 12000.0, 0.7, 6.0, Cookbook::HighShelf(12000.0, 0.7, 6.0, rate), {20000.0, 12000.0, 3000.0, 500.0}},
    {"high shelf -20", 8, 12000.0, 0.7, -20.0, Cookbook::HighShelf(12000.0, 0.7, -20.0, rate), {18000.0, 8000.0}},
    {"high-pass 80", 1, 80.0, 0.7071067811865476, 0.0, Cookbook::HighPass(80.0, 0.7071067811865476, rate),
     {40.0, 80.0, 160.0, 1000.0}},
    {"high-pass 300", 1, 300.0, 0.7071067811865476, 0.0, Cookbook::HighPass(300.0, 0.7071067811865476, rate),
     {100.0, 300.0, 2000.0}},
  };
  for (const Case& c : cases)
    for (double hz : c.probes)
    {
      BiquadSection s = MakeSettled(c.type, c.corner, c.q, c.dB, rate);
      EXPECT_NEAR(MeasuredGainDb(s, hz, rate), ToDb(c.reference.Magnitude(hz, rate)), 0.01) << c.name << " at " << hz;
    }

  // The cookbook's defining points: the peak gain at the centre, the shelf gain far out on the shelf's side.
  const double sixDb = std::pow(10.0, 6.0 / 20.0);
  BiquadSection peak = MakeSettled(6, 1000.0, 0.7, 6.0, rate);
  EXPECT_NEAR(MeasuredGainDb(peak, 1000.0, rate), ToDb(sixDb), 0.01);
  BiquadSection low = MakeSettled(7, 220.0, 0.7, 6.0, rate);
  EXPECT_NEAR(MeasuredGainDb(low, 15.0, rate), ToDb(sixDb), 0.01);
  BiquadSection high = MakeSettled(8, 3000.0, 0.7, 6.0, rate);
  EXPECT_NEAR(MeasuredGainDb(high, 22000.0, rate), ToDb(sixDb), 0.01);
}

// The five responses without gain, from the section's coefficients, against the cookbook's (complex response,
// so phase counts too).
TEST(BiquadSection, PlainResponsesMatchTheCookbook)
{
  const int rate = 44100;
  const std::pair<int, Cookbook::Plain> kinds[] = {{0, Cookbook::Plain::LowPass},
                                                   {2, Cookbook::Plain::BandPassSkirt},
                                                   {3, Cookbook::Plain::BandPassPeak},
                                                   {4, Cookbook::Plain::Notch},
                                                   {5, Cookbook::Plain::AllPass}};
  for (const auto& [type, kind] : kinds)
  {
    const BiquadSection s = MakeSettled(type, 1800.0, 2.5, 9.0, rate);
    const BiquadSection::Coefficients c = s.GetCoefficients();
    EXPECT_EQ(c.a0, 1.0);
    const Cookbook mine{c.b0, c.b1, c.b2, 1.0, c.a1, c.a2};
    const Cookbook reference = Cookbook::Make(kind, 1800.0, 2.5, rate);
    for (double hz : {100.0, 1000.0, 1800.0, 2500.0, 15000.0})
      EXPECT_LT(std::abs(mine.Response(hz, rate) - reference.Response(hz, rate)), 1e-9) << type << " at " << hz;
    // Types 2 to 5 keep A = 10^(dB/20) without using it.
    if (type != 0)
    {
      EXPECT_NEAR(s.Amplitude(), std::pow(10.0, 9.0 / 20.0), 1e-12) << type;
    }
  }
}

TEST(BiquadSection, FrequencyGlidesExponentially)
{
  BiquadSection s = MakeSettled(6, 1000.0, 1.0, 3.0, 44100);
  s.SetFrequency(2000.0);
  EXPECT_NEAR(s.CurrentFrequency(), 1010.0, 1e-9);
  for (int n = 2; n <= 1000; ++n)
  {
    s.Step();
    EXPECT_NEAR(s.CurrentFrequency(), 2000.0 - 1000.0 * std::pow(0.99, n), 1e-8) << n;
  }
  EXPECT_FALSE(s.IsSettled());
  for (int n = 0; n < 2000; ++n)
    s.Step();
  EXPECT_TRUE(s.IsSettled());
}

TEST(BiquadSection, GainGlidesExponentially)
{
  BiquadSection s = MakeSettled(7, 110.0, 0.7, 0.0, 48000);
  s.SetGain(-12.0);
  for (int n = 2; n <= 300; ++n)
    s.Step();
  EXPECT_NEAR(s.CurrentGain(), -12.0 * (1.0 - std::pow(0.99, 300)), 1e-9);
}

// A model of the recomputation rule kept here: the coefficients follow the smoothed values only once these have
// moved by more than 0.0001 (Q, dB) or 0.01 % (frequency). The section's stored w0 and A show which values its
// coefficients were last computed from.
TEST(BiquadSection, CoefficientsAreRecomputedOnlyWhileGliding)
{
  const int rate = 48000;
  BiquadSection s = MakeSettled(6, 1000.0, 0.7, 0.0, rate);
  double freq = 1000.0, gain = 0.0; // smoothed values of the model
  double usedFreq = 1000.0, usedGain = 0.0;
  int recomputations = 0;
  int stepsWithoutRecompute = 0;
  s.SetFrequency(2000.0);
  s.SetGain(4.0);
  // SetFrequency and SetGain each took one step.
  for (int n = 0; n < 2; ++n)
  {
    freq = freq * 0.99 + 2000.0 * 0.010000000000000009;
    gain = gain * 0.99 + (n == 0 ? 0.0 : 4.0) * 0.010000000000000009;
  }
  usedFreq = freq;
  usedGain = gain;
  for (int n = 0; n < 3000; ++n)
  {
    s.Step();
    freq = freq * 0.99 + 2000.0 * 0.010000000000000009;
    gain = gain * 0.99 + 4.0 * 0.010000000000000009;
    if (std::fabs(freq - usedFreq) > freq * 0.0001 || std::fabs(gain - usedGain) > 0.0001)
    {
      usedFreq = freq;
      usedGain = gain;
      ++recomputations;
    }
    else
      ++stepsWithoutRecompute;
    ASSERT_NEAR(s.Omega(), 2.0 * kPi * usedFreq / rate, 1e-12) << n;
    ASSERT_NEAR(s.Amplitude(), std::pow(10.0, usedGain / 40.0), 1e-12) << n;
  }
  EXPECT_GT(recomputations, 400);
  EXPECT_GT(stepsWithoutRecompute, 1000);

  // Once settled, further steps leave the coefficients alone.
  while (!s.IsSettled())
    s.Step();
  const BiquadSection::Coefficients before = s.GetCoefficients();
  for (int n = 0; n < 100; ++n)
    s.Step();
  const BiquadSection::Coefficients after = s.GetCoefficients();
  EXPECT_EQ(before.b0, after.b0);
  EXPECT_EQ(before.a1, after.a1);
  EXPECT_EQ(before.a2, after.a2);
}

TEST(BiquadSection, SetTypeActsOnTheNextSampleWithoutGlide)
{
  const int rate = 48000;
  BiquadSection s = MakeSettled(6, 500.0, 0.7, 6.0, rate);
  s.SetType(0);
  const double w = 2.0 * kPi * 500.0 / rate;
  const double alpha = std::sin(w) / (2.0 * 0.7);
  const BiquadSection::Coefficients c = s.GetCoefficients();
  EXPECT_NEAR(c.b0, (1.0 - std::cos(w)) / 2.0 / (1.0 + alpha), 1e-12);
  EXPECT_NEAR(c.a2, (1.0 - alpha) / (1.0 + alpha), 1e-12);
  EXPECT_EQ(s.CurrentFrequency(), 500.0);
}

TEST(BiquadSection, ResetJumpsToTargetsAndTheNextStepRecomputes)
{
  BiquadSection s = MakeSettled(6, 1000.0, 1.0, 0.0, 44100);
  s.SetGain(10.0);
  const BiquadSection::Coefficients stepped = s.GetCoefficients();
  s.Reset();
  EXPECT_EQ(s.CurrentGain(), 10.0);
  EXPECT_TRUE(s.IsSettled());
  EXPECT_EQ(s.GetCoefficients().b0, stepped.b0); // Reset itself computes nothing
  s.Step();
  EXPECT_NEAR(s.Amplitude(), std::pow(10.0, 10.0 / 40.0), 1e-12);
  EXPECT_EQ(s.ProcessSample(0.0), 0.0); // history cleared
}

TEST(BiquadSection, UnknownTypesBehaveAsPeaking)
{
  for (int type : {9, -1, 100})
  {
    BiquadSection peaking = MakeSettled(6, 700.0, 0.9, 5.0, 48000);
    BiquadSection other = MakeSettled(type, 700.0, 0.9, 5.0, 48000);
    const auto a = peaking.GetCoefficients();
    const auto b = other.GetCoefficients();
    EXPECT_EQ(a.b0, b.b0) << type;
    EXPECT_EQ(a.b1, b.b1) << type;
    EXPECT_EQ(a.b2, b.b2) << type;
    EXPECT_EQ(a.a1, b.a1) << type;
    EXPECT_EQ(a.a2, b.a2) << type;
  }
}

TEST(BiquadSection, DirectFormOneSumsInOrder)
{
  BiquadSection s = MakeSettled(8, 6000.0, 0.7, -7.3, 44100);
  const auto c = s.GetCoefficients();
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  for (int i = 0; i < 200; ++i)
  {
    const double x = std::sin(i * 0.37) + 0.3 * std::cos(i * 1.9);
    const double expected = c.b0 * x + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2;
    ASSERT_EQ(s.ProcessSample(x), expected) << i;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = expected;
  }
}

TEST(BiquadSection, ReportsNonFiniteHistory)
{
  BiquadSection s = MakeSettled(6, 1000.0, 1.0, 3.0, 48000);
  s.ProcessSample(0.5);
  EXPECT_TRUE(s.HasFiniteHistory());
  s.ProcessSample(std::nan(""));
  EXPECT_FALSE(s.HasFiniteHistory());
  s.Reset();
  EXPECT_TRUE(s.HasFiniteHistory());
}

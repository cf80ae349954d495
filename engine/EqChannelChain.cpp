#include "engine/EqChannelChain.h"

#include <algorithm>
#include <cmath>

namespace ondrell {

namespace {

constexpr double kHighPassQ = 0.7071067811865476;
constexpr double kBandQ = 0.7;

// Parameter values are whole-number indices of the frequency tables; anything outside a table takes its default.
int TableIndex(double value)
{
  return static_cast<int>(std::clamp(value, -1.0e6, 1.0e6));
}

double HighPassHz(int i)
{
  switch (i)
  {
  case 1: return 30.0;
  case 2: return 50.0;
  case 3: return 80.0;
  case 4: return 160.0;
  case 5: return 300.0;
  default: return 1.0; // "Off"
  }
}

double LowShelfHz(int i)
{
  switch (i)
  {
  case 1: return 60.0;
  case 2: return 110.0;
  case 3: return 220.0;
  default: return 35.0;
  }
}

double Mid1Hz(int i)
{
  switch (i)
  {
  case 1: return 180.0;
  case 2: return 240.0;
  case 3: return 400.0;
  case 4: return 820.0;
  case 5: return 1200.0;
  default: return 150.0;
  }
}

double Mid2Hz(int i)
{
  switch (i)
  {
  case 0: return 220.0;
  case 1: return 315.0;
  case 2: return 640.0;
  case 4: return 3150.0;
  case 5: return 6000.0;
  case 6: return 8000.0;
  default: return 2500.0;
  }
}

} // namespace

EqChannelChain::EqChannelChain(int sampleRate)
{
  struct Setup
  {
    int type;
    double q;
    double hz;
    bool setGain;
  };
  const Setup setups[kBands] = {
    {BiquadSection::kHighPass, kHighPassQ, 30.0, false},
    {BiquadSection::kLowShelf, kBandQ, 35.0, true},
    {BiquadSection::kPeaking, kBandQ, 240.0, true},
    {BiquadSection::kPeaking, kBandQ, 2500.0, true},
    {BiquadSection::kHighShelf, kBandQ, 12000.0, true},
  };
  for (int channel = 0; channel < kChannels; ++channel)
    for (int band = 0; band < kBands; ++band)
    {
      BiquadSection& s = mBands[band][channel];
      s.SetType(setups[band].type);
      s.SetQ(setups[band].q);
      s.SetFrequency(setups[band].hz);
      if (setups[band].setGain)
        s.SetGain(0.0);
    }
  UpdateRates(sampleRate);
}

void EqChannelChain::ApplyParam(int index, double value)
{
  if (!std::isfinite(value))
    return;
  const int i = TableIndex(value);
  switch (index)
  {
  case 0:
    mHighPassEnabled = i != 0;
    for (auto& s : mBands[kHighPass])
      s.SetFrequency(HighPassHz(i));
    break;
  case 1:
    for (auto& s : mBands[kLowShelf])
      s.SetFrequency(LowShelfHz(i));
    break;
  case 2:
    for (auto& s : mBands[kLowShelf])
      s.SetGain(value);
    break;
  case 3:
    for (auto& s : mBands[kMid1])
      s.SetFrequency(Mid1Hz(i));
    break;
  case 4:
    for (auto& s : mBands[kMid1])
      s.SetGain(value);
    break;
  case 5:
    for (auto& s : mBands[kMid2])
      s.SetFrequency(Mid2Hz(i));
    break;
  case 6:
    for (auto& s : mBands[kMid2])
      s.SetGain(value);
    break;
  case 7:
    for (auto& s : mBands[kHighShelf])
      s.SetGain(value);
    break;
  default:
    break;
  }
}

void EqChannelChain::UpdateGain(double dB)
{
  if (!std::isfinite(dB))
    return;
  mGainDb = dB;
  mGainLinear = std::exp(dB * kGainDbToExponent);
}

// A reset jumps the smoothed values to their targets but leaves the coefficients where the last step put them,
// and a settled section is not stepped again until its next target change. A reset during a glide (a state
// load followed by activation, a rate change, an oversampling switch) would otherwise leave the section
// filtering with the coefficients of a half-way value for good. Setting the same type again computes them from
// the values just reset, without a smoothing step and leaving the force flag for the next step.
void EqChannelChain::ResetAndRecompute(BiquadSection& section)
{
  section.Reset();
  section.SetType(section.Type());
}

void EqChannelChain::UpdateRates(int samplesPerSecond)
{
  for (int channel = 0; channel < kChannels; ++channel)
  {
    for (auto& band : mBands)
      band[channel].SetSampleRate(samplesPerSecond);
    for (auto& band : mBands)
      ResetAndRecompute(band[channel]);
  }
}

void EqChannelChain::ProcessChannel(double* buffer, int n, int channel)
{
  // Targets change only between blocks, so a block that starts with every active section settled stays settled:
  // no section steps, and every gain read below stays what it is now.
  bool settled = !mHighPassEnabled || mBands[kHighPass][channel].IsSettled();
  for (int band = kLowShelf; band < kBands && settled; ++band)
  {
    const BiquadSection& s = mBands[band][channel];
    settled = s.CurrentGain() == 0.0 || s.IsSettled();
  }
  if (settled)
  {
    ProcessSettled(buffer, n, channel);
    return;
  }

  BiquadSection& highPass = mBands[kHighPass][channel];
  BiquadSection& lowShelf = mBands[kLowShelf][channel];
  BiquadSection& mid1 = mBands[kMid1][channel];
  BiquadSection& mid2 = mBands[kMid2][channel];
  BiquadSection& highShelf = mBands[kHighShelf][channel];
  const bool highPassOn = mHighPassEnabled;
  const double shaperWeight = std::fabs(mGainDb / 60.0) + 0.01;
  const double gain = mGainLinear;

  for (int i = 0; i < n; ++i)
  {
    double x = buffer[i];
    const double s = std::sin(std::min(std::max(x, -1.0), 1.0));

    if (highPassOn)
    {
      if (!highPass.IsSettled())
        highPass.Step();
      x = highPass.ProcessSample(x);
    }

    double g = lowShelf.CurrentGain();
    if (g != 0.0)
    {
      x = x + (g / 60.0) * s;
      if (!lowShelf.IsSettled())
        lowShelf.Step();
      x = lowShelf.ProcessSample(x);
    }

    g = mid1.CurrentGain();
    if (g != 0.0)
    {
      x = x + std::fabs(g / 80.0) * s;
      if (!mid1.IsSettled())
        mid1.Step();
      x = mid1.ProcessSample(x);
    }

    g = mid2.CurrentGain();
    if (g != 0.0)
    {
      x = x + std::fabs(g / 80.0) * s;
      if (!mid2.IsSettled())
        mid2.Step();
      x = mid2.ProcessSample(x);
    }

    g = highShelf.CurrentGain();
    if (g != 0.0)
    {
      x = x + std::fabs(g / 60.0) * s;
      if (!highShelf.IsSettled())
        highShelf.Step();
      x = highShelf.ProcessSample(x);
    }

    buffer[i] = shaperWeight * s + x * gain;
  }
}

namespace {

// A settled section's coefficients and history as locals, which the compiler can keep in registers: the output
// buffer cannot alias them, as it could the section's own fields. Same arithmetic, same order as ProcessSample.
struct LocalSection
{
  explicit LocalSection(const BiquadSection& s)
  {
    const BiquadSection::Coefficients c = s.GetCoefficients();
    const BiquadSection::History h = s.GetHistory();
    b0 = c.b0;
    b1 = c.b1;
    b2 = c.b2;
    a1 = c.a1;
    a2 = c.a2;
    x1 = h.x1;
    x2 = h.x2;
    y1 = h.y1;
    y2 = h.y2;
  }

  double Process(double x)
  {
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }

  BiquadSection::History History() const { return {x1, x2, y1, y2}; }

  double b0, b1, b2, a1, a2;
  double x1, x2, y1, y2;
};

} // namespace

// The chain of ProcessChannel for a block in which no section steps.
void EqChannelChain::ProcessSettled(double* buffer, int n, int channel)
{
  const auto band = [this, channel](int b) -> BiquadSection& { return mBands[b][channel]; };
  const double lowShelfGain = band(kLowShelf).CurrentGain();
  const double mid1Gain = band(kMid1).CurrentGain();
  const double mid2Gain = band(kMid2).CurrentGain();
  const double highShelfGain = band(kHighShelf).CurrentGain();
  const bool highPassOn = mHighPassEnabled;
  const bool lowShelfOn = lowShelfGain != 0.0;
  const bool mid1On = mid1Gain != 0.0;
  const bool mid2On = mid2Gain != 0.0;
  const bool highShelfOn = highShelfGain != 0.0;
  const double lowShelfShare = lowShelfGain / 60.0;
  const double mid1Share = std::fabs(mid1Gain / 80.0);
  const double mid2Share = std::fabs(mid2Gain / 80.0);
  const double highShelfShare = std::fabs(highShelfGain / 60.0);
  const double shaperWeight = std::fabs(mGainDb / 60.0) + 0.01;
  const double gain = mGainLinear;

  LocalSection highPass(band(kHighPass));
  LocalSection lowShelf(band(kLowShelf));
  LocalSection mid1(band(kMid1));
  LocalSection mid2(band(kMid2));
  LocalSection highShelf(band(kHighShelf));

  for (int i = 0; i < n; ++i)
  {
    double x = buffer[i];
    const double s = std::sin(std::min(std::max(x, -1.0), 1.0));
    if (highPassOn)
      x = highPass.Process(x);
    if (lowShelfOn)
      x = lowShelf.Process(x + lowShelfShare * s);
    if (mid1On)
      x = mid1.Process(x + mid1Share * s);
    if (mid2On)
      x = mid2.Process(x + mid2Share * s);
    if (highShelfOn)
      x = highShelf.Process(x + highShelfShare * s);
    buffer[i] = shaperWeight * s + x * gain;
  }

  band(kHighPass).SetHistory(highPass.History());
  band(kLowShelf).SetHistory(lowShelf.History());
  band(kMid1).SetHistory(mid1.History());
  band(kMid2).SetHistory(mid2.History());
  band(kHighShelf).SetHistory(highShelf.History());
}

bool EqChannelChain::RecoverChannel(int channel)
{
  bool poisoned = false;
  for (const auto& band : mBands)
    poisoned = poisoned || !band[channel].HasFiniteHistory();
  if (!poisoned)
    return false;
  for (auto& band : mBands)
    ResetAndRecompute(band[channel]);
  return true;
}

} // namespace ondrell

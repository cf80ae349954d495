#include "engine/EqChannelChain.h"

#include "engine/ShaperSine.h"
#include "engine/SimdLanes.h"

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

namespace {

using simd::Lanes2;

// How a kernel reads and writes the samples: Load/Store a stereo frame (both lanes), Get/Put one channel's sample.
// Both channels of two planar buffers.
struct PlanarPair
{
  double* c0;
  double* c1;
  Lanes2 Load(int i) const { return Lanes2::Of(c0[i], c1[i]); }
  void Store(int i, Lanes2 v) const
  {
    c0[i] = v.Lane0();
    c1[i] = v.Lane1();
  }
  double Get(int i, int channel) const { return channel == 0 ? c0[i] : c1[i]; }
  void Put(int i, int channel, double v) const { (channel == 0 ? c0 : c1)[i] = v; }
};

// One planar buffer in lane L; the other lane reads silence and is not written.
template <int L>
struct PlanarSingle
{
  double* p;
  Lanes2 Load(int i) const { return L == 0 ? Lanes2::Of(p[i], 0.0) : Lanes2::Of(0.0, p[i]); }
  void Store(int i, Lanes2 v) const { p[i] = L == 0 ? v.Lane0() : v.Lane1(); }
  double Get(int i, int) const { return p[i]; }
  void Put(int i, int, double v) const { p[i] = v; }
};

// Interleaved stereo frames.
struct Frames
{
  double* f;
  Lanes2 Load(int i) const { return Lanes2::Load(f + 2 * i); }
  void Store(int i, Lanes2 v) const { v.Store(f + 2 * i); }
  double Get(int i, int channel) const { return f[2 * i + channel]; }
  void Put(int i, int channel, double v) const { f[2 * i + channel] = v; }
};

// A section's coefficients and history in lanes, kept in registers by the kernels: the same arithmetic in the same
// order as BiquadSection::ProcessSample, lane by lane.
struct LaneSection
{
  LaneSection(const BiquadSection& lane0, const BiquadSection& lane1)
  {
    SetCoefficients(lane0, lane1);
    const BiquadSection::History h0 = lane0.GetHistory();
    const BiquadSection::History h1 = lane1.GetHistory();
    x1 = Lanes2::Of(h0.x1, h1.x1);
    x2 = Lanes2::Of(h0.x2, h1.x2);
    y1 = Lanes2::Of(h0.y1, h1.y1);
    y2 = Lanes2::Of(h0.y2, h1.y2);
  }

  void SetCoefficients(const BiquadSection& lane0, const BiquadSection& lane1)
  {
    const BiquadSection::Coefficients c0 = lane0.GetCoefficients();
    const BiquadSection::Coefficients c1 = lane1.GetCoefficients();
    b0 = Lanes2::Of(c0.b0, c1.b0);
    b1 = Lanes2::Of(c0.b1, c1.b1);
    b2 = Lanes2::Of(c0.b2, c1.b2);
    a1 = Lanes2::Of(c0.a1, c1.a1);
    a2 = Lanes2::Of(c0.a2, c1.a2);
  }

  Lanes2 Process(Lanes2 x)
  {
    const Lanes2 y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }

  BiquadSection::History History(int lane) const
  {
    return lane == 0 ? BiquadSection::History{x1.Lane0(), x2.Lane0(), y1.Lane0(), y2.Lane0()}
                     : BiquadSection::History{x1.Lane1(), x2.Lane1(), y1.Lane1(), y2.Lane1()};
  }

  Lanes2 b0, b1, b2, a1, a2;
  Lanes2 x1, x2, y1, y2;
};

// The share of the shaped input each band adds ahead of its section, per dB of its smoothed gain: signed for the
// low shelf, the magnitude for the others.
double Share(int band, double gain)
{
  switch (band)
  {
  case EqChannelChain::kLowShelf: return gain / 60.0;
  case EqChannelChain::kHighShelf: return std::fabs(gain / 60.0);
  default: return std::fabs(gain / 80.0);
  }
}

} // namespace

bool EqChannelChain::BandActive(int band, int channel) const
{
  return band == kHighPass ? mHighPassEnabled : mBands[band][channel].CurrentGain() != 0.0;
}

bool EqChannelChain::ChannelSettled(int channel) const
{
  for (int band = 0; band < kBands; ++band)
    if (BandActive(band, channel) && !mBands[band][channel].IsSettled())
      return false;
  return true;
}

void EqChannelChain::Process(double* channel0, double* channel1, int n)
{
  if (channel0 && channel1)
    Run(PlanarPair{channel0, channel1}, n, true, true);
  else if (channel0)
    Run(PlanarSingle<0>{channel0}, n, true, false);
  else if (channel1)
    Run(PlanarSingle<1>{channel1}, n, false, true);
}

void EqChannelChain::ProcessFrames(double* frames, int n, bool channel0, bool channel1)
{
  if (frames)
    Run(Frames{frames}, n, channel0, channel1);
}

void EqChannelChain::ProcessChannel(double* buffer, int n, int channel)
{
  Process(channel == 0 ? buffer : nullptr, channel == 1 ? buffer : nullptr, n);
}

// Targets change only between blocks, so a block that starts with every active section settled stays settled, and
// whether a band is active (its smoothed gain not exactly 0) cannot change within a block: a gain that is not 0
// never glides to exactly 0, and one that is 0 is not stepped. So the kernel is chosen once per block:
// - settled: both lanes filter with their own coefficients, no section steps;
// - gliding, with the channels' sections equal but for their history (both get every change): one set of
//   sections steps and both lanes filter with its coefficients;
// - otherwise (the channels' sections have parted, a rare case): each channel on its own.
template <typename Io>
void EqChannelChain::Run(Io io, int n, bool channel0, bool channel1)
{
  if (n <= 0 || !(channel0 || channel1))
    return;
  const bool both = channel0 && channel1;
  bool sameBands = true;
  for (int band = 0; both && band < kBands; ++band)
    sameBands = sameBands && BandActive(band, 0) == BandActive(band, 1);
  const bool settled = (!channel0 || ChannelSettled(0)) && (!channel1 || ChannelSettled(1));
  bool twins = sameBands;
  for (int band = 0; both && twins && band < kBands; ++band)
    twins = mBands[band][0].MatchesExceptHistory(mBands[band][1]);

  if (sameBands && settled)
    RunSettled(io, n, channel0, channel1);
  else if (twins)
    RunGliding(io, n, channel0, channel1);
  else
  {
    if (channel0)
      RunOneChannel(io, n, 0);
    if (channel1)
      RunOneChannel(io, n, 1);
  }
}

template <typename Io>
void EqChannelChain::RunSettled(Io io, int n, bool channel0, bool channel1)
{
  // A lane whose channel is not processed runs on the other channel's sections; its results are dropped.
  const int lane0 = channel0 ? 0 : 1;
  const int lane1 = channel1 ? 1 : 0;
  const int lead = lane0;
  const auto band = [this](int b, int c) -> const BiquadSection& { return mBands[b][c]; };
  const bool on[kBands] = {BandActive(kHighPass, lead), BandActive(kLowShelf, lead), BandActive(kMid1, lead),
                           BandActive(kMid2, lead), BandActive(kHighShelf, lead)};
  Lanes2 share[kBands] = {};
  for (int b = kLowShelf; b < kBands; ++b)
    share[b] = Lanes2::Of(Share(b, band(b, lane0).CurrentGain()), Share(b, band(b, lane1).CurrentGain()));
  LaneSection highPass(band(kHighPass, lane0), band(kHighPass, lane1));
  LaneSection lowShelf(band(kLowShelf, lane0), band(kLowShelf, lane1));
  LaneSection mid1(band(kMid1, lane0), band(kMid1, lane1));
  LaneSection mid2(band(kMid2, lane0), band(kMid2, lane1));
  LaneSection highShelf(band(kHighShelf, lane0), band(kHighShelf, lane1));
  const Lanes2 weight = Lanes2::Both(std::fabs(mGainDb / 60.0) + 0.01);
  const Lanes2 gain = Lanes2::Both(mGainLinear);
  const Lanes2 low = Lanes2::Both(-1.0);
  const Lanes2 high = Lanes2::Both(1.0);

  for (int i = 0; i < n; ++i)
  {
    Lanes2 x = simd::FiniteOrZero(io.Load(i));
    const Lanes2 s = ShaperSine(simd::Min(simd::Max(x, low), high));
    if (on[kHighPass])
      x = highPass.Process(x);
    if (on[kLowShelf])
      x = lowShelf.Process(x + share[kLowShelf] * s);
    if (on[kMid1])
      x = mid1.Process(x + share[kMid1] * s);
    if (on[kMid2])
      x = mid2.Process(x + share[kMid2] * s);
    if (on[kHighShelf])
      x = highShelf.Process(x + share[kHighShelf] * s);
    io.Store(i, simd::FiniteOrZero(weight * s + x * gain));
  }

  const LaneSection* locals[kBands] = {&highPass, &lowShelf, &mid1, &mid2, &highShelf};
  for (int b = 0; b < kBands; ++b)
  {
    if (channel0)
      mBands[b][0].SetHistory(locals[b]->History(0));
    if (channel1)
      mBands[b][1].SetHistory(locals[b]->History(1));
  }
}

template <typename Io>
void EqChannelChain::RunGliding(Io io, int n, bool channel0, bool channel1)
{
  // The lead channel's sections step; both lanes filter with their coefficients.
  const int lead = channel0 ? 0 : 1;
  BiquadSection* sections[kBands];
  bool on[kBands];
  for (int b = 0; b < kBands; ++b)
  {
    sections[b] = &mBands[b][lead];
    on[b] = BandActive(b, lead);
  }
  const auto lanes = [this, channel0, channel1](int b) {
    return LaneSection(mBands[b][channel0 ? 0 : 1], mBands[b][channel1 ? 1 : 0]);
  };
  LaneSection local[kBands] = {lanes(kHighPass), lanes(kLowShelf), lanes(kMid1), lanes(kMid2), lanes(kHighShelf)};
  const Lanes2 weight = Lanes2::Both(std::fabs(mGainDb / 60.0) + 0.01);
  const Lanes2 gain = Lanes2::Both(mGainLinear);
  const Lanes2 low = Lanes2::Both(-1.0);
  const Lanes2 high = Lanes2::Both(1.0);

  for (int i = 0; i < n; ++i)
  {
    Lanes2 x = simd::FiniteOrZero(io.Load(i));
    const Lanes2 s = ShaperSine(simd::Min(simd::Max(x, low), high));
    for (int b = 0; b < kBands; ++b)
    {
      if (!on[b])
        continue;
      BiquadSection& section = *sections[b];
      if (b != kHighPass)
        x = x + Lanes2::Both(Share(b, section.CurrentGain())) * s;
      if (!section.IsSettled())
      {
        section.Step();
        local[b].SetCoefficients(section, section);
      }
      x = local[b].Process(x);
    }
    io.Store(i, simd::FiniteOrZero(weight * s + x * gain));
  }

  for (int b = 0; b < kBands; ++b)
  {
    if (!on[b])
      continue;
    if (channel0 && channel1)
      mBands[b][1] = mBands[b][0];
    if (channel0)
      mBands[b][0].SetHistory(local[b].History(0));
    if (channel1)
      mBands[b][1].SetHistory(local[b].History(1));
  }
}

// The algorithm sample by sample on one channel's own sections.
template <typename Io>
void EqChannelChain::RunOneChannel(Io io, int n, int channel)
{
  const double weight = std::fabs(mGainDb / 60.0) + 0.01;
  const double gain = mGainLinear;
  for (int i = 0; i < n; ++i)
  {
    double x = simd::FiniteOrZero(io.Get(i, channel));
    const double s = ShaperSine(std::min(std::max(x, -1.0), 1.0));
    for (int b = 0; b < kBands; ++b)
    {
      BiquadSection& section = mBands[b][channel];
      if (b == kHighPass ? !mHighPassEnabled : section.CurrentGain() == 0.0)
        continue;
      if (b != kHighPass)
        x = x + Share(b, section.CurrentGain()) * s;
      if (!section.IsSettled())
        section.Step();
      x = section.ProcessSample(x);
    }
    io.Put(i, channel, simd::FiniteOrZero(weight * s + x * gain));
  }
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

#include "engine/EqChannelChain.h"

#include "engine/ShaperBlock.h"
#include "engine/ShaperSine.h"
#include "engine/SimdLanes.h"
#include "engine/SmoothingLanes.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <type_traits>
#include <utility>

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

EqChannelChain::EqChannelChain(int sampleRate, WideKernels kernels)
  : mKernels(kernels)
  , mShaper(SelectShaperBlock(mKernels))
  , mOutputStage(SelectOutputStage(mKernels))
  , mDesignBatch(SelectBiquadDesignBatch(mKernels))
  , mSmoothingStep(SelectSmoothingStep(mKernels))
  , mGlide(std::make_unique<GlideScratch>())
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
using Lanes = EqChannelChain::Lanes;

// Frames the shaper's sines are computed for at a time, ahead of the sections.
constexpr int kChunk = 128;

// A section's coefficients and history in lanes: the same arithmetic in the same order as
// BiquadSection::ProcessSample, lane by lane.
struct LaneSection
{
  LaneSection() = default;
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

  // Both lanes from entry j of a batch.
  [[gnu::always_inline]] void SetCoefficients(const BiquadDesignBatch& batch, int j)
  {
    b0 = Lanes2::Both(batch.b0[j]);
    b1 = Lanes2::Both(batch.b1[j]);
    b2 = Lanes2::Both(batch.b2[j]);
    a1 = Lanes2::Both(batch.a1[j]);
    a2 = Lanes2::Both(batch.a2[j]);
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

  [[gnu::always_inline]] Lanes2 Process(Lanes2 x)
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
struct ShareRule
{
  double divisor;
  bool magnitude;
};

ShareRule ShareRuleOf(int band)
{
  switch (band)
  {
  case EqChannelChain::kLowShelf: return {60.0, false};
  case EqChannelChain::kHighShelf: return {60.0, true};
  default: return {80.0, true};
  }
}

double Share(int band, double gain)
{
  const ShareRule rule = ShareRuleOf(band);
  const double share = gain / rule.divisor;
  return rule.magnitude ? std::fabs(share) : share;
}

// The active sections of a settled block in chain order: the high-pass first when it is on, then the bands, each
// with its share of the shaped input.
struct Stages
{
  LaneSection section[EqChannelChain::kBands];
  Lanes2 share[EqChannelChain::kBands];
  int band[EqChannelChain::kBands];
  // Gliding: each stage's batch, and per frame (rows of SmoothingLanes::kLanes) the batch entry each stage
  // filters with and each stage's share.
  const BiquadDesignBatch* batch = nullptr;
  const int64_t* entryRows = nullptr;
  const double* shareRows = nullptr;
};

// The settled chain over n frames, software-pipelined: in iteration i, stage k (the k-th active section) takes
// sample i - k from stage k - 1's result of the iteration before, so the stages of one iteration do not wait for
// each other and the processor overlaps them, where a sample's way through the sections in series would be one
// long chain of dependent operations. Each stage still processes every sample in order with the operations of
// the algorithm, so the results are the same. K stages; the first is the high-pass when HighPass. Gliding: each
// stage takes its coefficients and share for each frame from the Stages' glide view.
template <int K, bool HighPass, bool Gliding, typename Io>
struct Pipeline
{
  static constexpr int kDepth = K - 1; // iterations a sample spends after its first stage

  struct State
  {
    LaneSection section[K];
    Lanes2 share[K];
    Lanes2 carry[K];
    const Stages* stages;
  };

  // Frame f sits at slot f - base of xs (sanitised input) and ss (its shaped sine).
  struct Window
  {
    const double* xs;
    const double* ss;
    int base;
    Lanes2 X(int f) const { return Lanes2::Load(xs + 2 * (f - base)); }
    Lanes2 S(int f) const { return Lanes2::Load(ss + 2 * (f - base)); }
  };

  template <bool Guarded, int k>
  [[gnu::always_inline]] static inline void Stage(State& st, int i, int n, const Window& w)
  {
    const int sample = i - k;
    if constexpr (Guarded)
      if (sample < 0 || sample >= n)
        return;
    if constexpr (Gliding)
    {
      const Stages& g = *st.stages;
      const int row = SmoothingLanes::kLanes * sample + k;
      st.section[k].SetCoefficients(g.batch[k], static_cast<int>(g.entryRows[row]));
      if constexpr (!(HighPass && k == 0))
        st.share[k] = Lanes2::Both(g.shareRows[row]);
    }
    Lanes2 in;
    if constexpr (k == 0)
      in = w.X(i);
    else
      in = st.carry[k - 1];
    if constexpr (HighPass && k == 0)
      st.carry[k] = st.section[k].Process(in);
    else
      st.carry[k] = st.section[k].Process(in + st.share[k] * w.S(sample));
  }

  // The stages last to first, so that each reads what the stage before it left in the previous iteration.
  template <bool Guarded, size_t... k>
  [[gnu::always_inline]] static inline void Iteration(State& st, int i, int n, const Window& w,
                                                       std::index_sequence<k...>)
  {
    (Stage<Guarded, K - 1 - static_cast<int>(k)>(st, i, n, w), ...);
  }

  template <bool Guarded>
  [[gnu::always_inline]] static inline void Step(State& st, int i, int n, const Window& w, const Io& io,
                                                  Lanes2 weight, Lanes2 gain)
  {
    Iteration<Guarded>(st, i, n, w, std::make_index_sequence<K>{});
    const int done = i - kDepth;
    if (!Guarded || (done >= 0 && done < n))
      io.Store(done, simd::FiniteOrZero(weight * w.S(done) + st.carry[K - 1] * gain));
  }

  [[gnu::always_inline]] static inline void Body(const Io& io, int n, Stages& stages, Lanes2 weight, Lanes2 gain,
                                                  ShaperBlockFunction shaper)
  {
    alignas(32) double xs[2 * (kChunk + kDepth)];
    alignas(32) double ss[2 * (kChunk + kDepth)];
    State st;
    st.stages = &stages;
    for (int k = 0; k < K; ++k)
    {
      st.section[k] = stages.section[k];
      st.share[k] = stages.share[k];
      st.carry[k] = Lanes2::Zero();
    }

    int i = 0;
    int chunkStart = 0;
    for (; chunkStart < n; chunkStart += kChunk)
    {
      const int count = std::min(kChunk, n - chunkStart);
      for (int j = 0; j < count; ++j)
        simd::FiniteOrZero(io.Load(chunkStart + j)).Store(xs + 2 * (kDepth + j));
      shaper(xs + 2 * kDepth, ss + 2 * kDepth, 2 * count);
      const Window w{xs, ss, chunkStart - kDepth};
      const int end = chunkStart + count;
      if constexpr (kDepth > 0)
        for (; i < std::min(end, kDepth); ++i)
          Step<true>(st, i, n, w, io, weight, gain);
      for (; i < end; ++i)
        Step<false>(st, i, n, w, io, weight, gain);
      // The last kDepth frames stay in the pipeline: keep them in front of the next chunk.
      std::copy(xs + 2 * count, xs + 2 * (count + kDepth), xs);
      std::copy(ss + 2 * count, ss + 2 * (count + kDepth), ss);
    }
    // What is left in the pipeline: frames n - kDepth .. n - 1, in front of the arrays.
    if constexpr (kDepth > 0)
    {
      const Window w{xs, ss, n - kDepth};
      for (; i < n + kDepth; ++i)
        Step<true>(st, i, n, w, io, weight, gain);
    }

    for (int k = 0; k < K; ++k)
      stages.section[k] = st.section[k];
  }
};

// Two planar channels, both processed.
struct PlanarPairIo
{
  const double* in0;
  const double* in1;
  double* out0;
  double* out1;
  Lanes2 Load(int i) const { return Lanes2::Of(in0[i], in1[i]); }
  void Store(int i, Lanes2 v) const
  {
    out0[i] = v.Lane0();
    out1[i] = v.Lane1();
  }
};

// Interleaved stereo frames, read and written whole.
struct FramesIo
{
  double* frames;
  Lanes2 Load(int i) const { return Lanes2::Load(frames + 2 * i); }
  void Store(int i, Lanes2 v) const { v.Store(frames + 2 * i); }
};

template <typename Io>
using PipelineRun = void (*)(const Io&, int, Stages&, Lanes2, Lanes2, ShaperBlockFunction);

template <int K, bool HighPass, bool Gliding, typename Io>
void RunBaseline(const Io& io, int n, Stages& stages, Lanes2 weight, Lanes2 gain, ShaperBlockFunction shaper)
{
  Pipeline<K, HighPass, Gliding, Io>::Body(io, n, stages, weight, gain, shaper);
}

#if QUORL_HAS_WIDE_TARGETS
// The same, with the 32 vector registers of AVX-512VL: the sections' history stays in registers.
template <int K, bool HighPass, bool Gliding, typename Io>
QUORL_TARGET_AVX512 void RunAvx512(const Io& io, int n, Stages& stages, Lanes2 weight, Lanes2 gain,
                                   ShaperBlockFunction shaper)
{
  Pipeline<K, HighPass, Gliding, Io>::Body(io, n, stages, weight, gain, shaper);
}
#endif

template <typename Io, bool Gliding, int K>
PipelineRun<Io> PipelineFor(bool highPass, WideKernels kernels)
{
#if QUORL_HAS_WIDE_TARGETS
  if (kernels == WideKernels::Avx512)
    return highPass ? &RunAvx512<K, true, Gliding, Io> : &RunAvx512<K, false, Gliding, Io>;
#endif
  (void)kernels;
  return highPass ? &RunBaseline<K, true, Gliding, Io> : &RunBaseline<K, false, Gliding, Io>;
}

// The kernel for 1 to 5 active sections.
template <typename Io, bool Gliding = false>
PipelineRun<Io> SelectPipeline(int stages, bool highPass, WideKernels kernels)
{
  static constexpr PipelineRun<Io> (*kPipelines[EqChannelChain::kBands])(bool, WideKernels) = {
    &PipelineFor<Io, Gliding, 1>, &PipelineFor<Io, Gliding, 2>, &PipelineFor<Io, Gliding, 3>,
    &PipelineFor<Io, Gliding, 4>, &PipelineFor<Io, Gliding, 5>};
  return kPipelines[stages - 1](highPass, kernels);
}

// Frames from `start` on of another Io.
template <typename Io>
struct ShiftedIo
{
  const Io& io;
  int start;
  Lanes2 Load(int i) const { return io.Load(start + i); }
  void Store(int i, Lanes2 v) const { io.Store(start + i, v); }
};

// The pipeline kernel for the stages over frames start .. start + n - 1, with the Io that reads and writes them
// most directly: whole interleaved frames, two planar channels, or lane by lane. `both`: both channels processed.
template <bool Gliding>
void RunPipeline(const Lanes& io, int start, int n, int stageCount, bool highPass, bool both, WideKernels kernels,
                 Stages& stages, Lanes2 weight, Lanes2 gain, ShaperBlockFunction shaper)
{
  const auto run = [&](const auto& direct) {
    using Io = std::decay_t<decltype(direct)>;
    SelectPipeline<ShiftedIo<Io>, Gliding>(stageCount, highPass, kernels)(ShiftedIo<Io>{direct, start}, n, stages,
                                                                          weight, gain, shaper);
  };
  if (io.frames)
    run(FramesIo{io.frames});
  else if (both && io.inStride[0] == 1 && io.inStride[1] == 1)
    run(PlanarPairIo{io.in[0], io.in[1], io.out[0], io.out[1]});
  else
    run(io);
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
  Process(channel0, channel1, channel0, channel1, n);
}

void EqChannelChain::Process(const double* in0, const double* in1, double* out0, double* out1, int n)
{
  const double silence = 0.0;
  double sink = 0.0;
  const bool channel0 = in0 && out0;
  const bool channel1 = in1 && out1;
  Lanes io;
  io.in[0] = channel0 ? in0 : &silence;
  io.in[1] = channel1 ? in1 : &silence;
  io.out[0] = channel0 ? out0 : &sink;
  io.out[1] = channel1 ? out1 : &sink;
  io.inStride[0] = io.outStride[0] = channel0 ? 1 : 0;
  io.inStride[1] = io.outStride[1] = channel1 ? 1 : 0;
  Run(io, n, channel0, channel1);
}

void EqChannelChain::ProcessFrames(double* frames, int n, bool channel0, bool channel1)
{
  if (!frames)
    return;
  Lanes io;
  io.in[0] = io.out[0] = frames;
  io.in[1] = io.out[1] = frames + 1;
  io.inStride[0] = io.inStride[1] = io.outStride[0] = io.outStride[1] = 2;
  io.frames = frames;
  Run(io, n, channel0, channel1);
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
void EqChannelChain::Run(const Lanes& io, int n, bool channel0, bool channel1)
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

void EqChannelChain::RunSettled(const Lanes& io, int n, bool channel0, bool channel1)
{
  // A lane whose channel is not processed runs on the other channel's sections; its results are dropped.
  const int lane0 = channel0 ? 0 : 1;
  const int lane1 = channel1 ? 1 : 0;
  Stages stages;
  int count = 0;
  for (int b = 0; b < kBands; ++b)
  {
    if (!BandActive(b, lane0))
      continue;
    stages.section[count] = LaneSection(mBands[b][lane0], mBands[b][lane1]);
    stages.share[count] = b == kHighPass ? Lanes2::Zero()
                                         : Lanes2::Of(Share(b, mBands[b][lane0].CurrentGain()),
                                                      Share(b, mBands[b][lane1].CurrentGain()));
    stages.band[count] = b;
    ++count;
  }
  const double weightValue = std::fabs(mGainDb / 60.0) + 0.01;
  const Lanes2 weight = Lanes2::Both(weightValue);
  const Lanes2 gain = Lanes2::Both(mGainLinear);
  // With no active section every sample is on its own: each processed buffer in one pass.
  if (count == 0)
  {
    if (io.frames)
      mOutputStage(io.frames, io.frames, 2 * n, weightValue, mGainLinear);
    else
      for (int c = 0; c < kChannels; ++c)
        if (io.inStride[c] == 1)
          mOutputStage(io.in[c], io.out[c], n, weightValue, mGainLinear);
    return;
  }
  RunPipeline<false>(io, 0, n, count, mHighPassEnabled, channel0 && channel1, mKernels, stages, weight, gain,
                     mShaper);
  for (int k = 0; k < count; ++k)
  {
    BiquadSection* sections = mBands[stages.band[k]].data();
    if (channel0)
      sections[0].SetHistory(stages.section[k].History(0));
    if (channel1)
      sections[1].SetHistory(stages.section[k].History(1));
  }
}

// A glide in chunks of frames, in three passes that give what stepping and filtering sample by sample gives:
// 1. the active sections step frame by frame as the algorithm does, side by side (SmoothingLanes; the shares read
//    before the step), and each step that calls for new coefficients is noted with its values;
// 2. the noted coefficients of each section are computed together, on vectors (BiquadDesignBatch);
// 3. both lanes filter, each section taking up a step's coefficients at the sample of that step.
// Only the smoothed values decide whether and when a section recomputes, never the audio, so computing the
// coefficients ahead of the filtering changes nothing.
void EqChannelChain::RunGliding(const Lanes& io, int n, bool channel0, bool channel1)
{
  // The lead channel's sections step; both lanes filter with their coefficients.
  int bands[kBands];
  int active = 0;
  for (int b = 0; b < kBands; ++b)
    if (BandActive(b, channel0 ? 0 : 1))
      bands[active++] = b;
  if (active == 0)
    return RunSettled(io, n, channel0, channel1);
  Stages stages;
  for (int k = 0; k < active; ++k)
    stages.section[k] = LaneSection(mBands[bands[k]][channel0 ? 0 : 1], mBands[bands[k]][channel1 ? 1 : 0]);
  const Lanes2 weight = Lanes2::Both(std::fabs(mGainDb / 60.0) + 0.01);
  const Lanes2 gain = Lanes2::Both(mGainLinear);
  GlideScratch& g = *mGlide;

  BiquadSection* lead[kBands];
  double divisor[kBands];
  bool magnitude[kBands];
  for (int k = 0; k < active; ++k)
  {
    lead[k] = &mBands[bands[k]][channel0 ? 0 : 1];
    const ShareRule rule = ShareRuleOf(bands[k]);
    divisor[k] = rule.divisor;
    magnitude[k] = rule.magnitude;
  }
  g.lanes.Load(lead, divisor, magnitude, active);
  stages.batch = g.batch;
  stages.entryRows = g.entryRows;
  stages.shareRows = g.shareRows;

  for (int start = 0; start < n; start += kGlideChunk)
  {
    const int count = std::min(kGlideChunk, n - start);
    // Entry 0 of each batch: the coefficients the chunk starts with.
    for (int k = 0; k < active; ++k)
    {
      const BiquadSection::Coefficients before = lead[k]->GetCoefficients();
      BiquadDesignBatch& batch = g.batch[k];
      batch.b0[0] = before.b0;
      batch.b1[0] = before.b1;
      batch.b2[0] = before.b2;
      batch.a1[0] = before.a1;
      batch.a2[0] = before.a2;
    }
    mSmoothingStep(g.lanes, count, active, g.batch, g.entryRows, g.shareRows);
    for (int k = 0; k < active; ++k)
    {
      const int due = static_cast<int>(g.entryRows[SmoothingLanes::kLanes * (count - 1) + k]);
      if (due > 0)
      {
        mDesignBatch(lead[k]->Type(), lead[k]->SampleRate(), 1, due, g.batch[k]);
        lead[k]->ApplyDesign(g.batch[k].Result(due));
      }
    }
    RunPipeline<true>(io, start, count, active, mHighPassEnabled, channel0 && channel1, mKernels, stages, weight, gain,
                      mShaper);
  }
  g.lanes.Store(lead, active);

  for (int k = 0; k < active; ++k)
  {
    const int b = bands[k];
    if (channel0 && channel1)
      mBands[b][1] = mBands[b][0];
    if (channel0)
      mBands[b][0].SetHistory(stages.section[k].History(0));
    if (channel1)
      mBands[b][1].SetHistory(stages.section[k].History(1));
  }
}

// The algorithm sample by sample on one channel's own sections.
void EqChannelChain::RunOneChannel(const Lanes& io, int n, int channel)
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

#pragma once

#include "engine/BiquadSection.h"
#include "engine/ShaperBlock.h"
#include "engine/SimdLanes.h"
#include "engine/SmoothingLanes.h"

#include <array>
#include <memory>

namespace ondrell {

// The per-channel signal path of the equaliser: a sine shaper whose output is mixed in ahead of every active
// band, five biquad sections per channel (high-pass, low shelf, two mid bands, high shelf) and the output
// stage with its gain, and the mapping of parameter values onto the sections.
//
// Both channels run together, one per SIMD lane, with each sample's operations in the order the algorithm gives;
// the shaper's sine is a polynomial (ShaperSine.h) and the sections' cosine, sine and exponential are their own
// (CoefficientMath.h) rather than the library's, so results differ from the formula written with the C library
// by rounding only. While sections glide, their coefficients are computed in vector batches ahead of the filtering
// (RunGliding), with the same results as one at a time. A channel that is not processed keeps its sections as they are.
// Input that is not finite reaches no section (it counts as silence), and every output sample is finite.
// Threads: one thread at a time (audio while processing, the resetting thread while no audio runs); owns its sections.
class EqChannelChain
{
public:
  enum Band
  {
    kHighPass = 0,
    kLowShelf = 1,
    kMid1 = 2,
    kMid2 = 3,
    kHighShelf = 4,
    kBands = 5,
  };
  static constexpr int kChannels = 2;
  // The output gain constant has 13 significant digits; the sections use ln(10)/20 in full.
  static constexpr double kGainDbToExponent = 0.1151292546497;

  // Sets the sections up with their fixed types, Q and default frequencies at the given rate. `kernels`: the
  // vector variant to run (the widest the processor has; all give the same results).
  explicit EqChannelChain(int sampleRate, WideKernels kernels = DetectWideKernels());

  // The effect of a new value of parameters 0 to 7 ("HPF" to "HiShelf Level"): a new target for both channels'
  // sections (channel 0 first), each with one smoothing step. Other indices and values that are not finite
  // change nothing.
  void ApplyParam(int index, double value);
  // The output gain pair from the "Gain" value in decibels; a value that is not finite changes nothing.
  void UpdateGain(double dB);
  // Re-rates every section and resets it, channel 0 first, then recomputes the coefficients at the targets.
  void UpdateRates(int samplesPerSecond);

  // Runs the chain in place over n samples of channel 0 and channel 1; a null buffer is a channel not processed.
  void Process(double* channel0, double* channel1, int n);
  // The same from the inputs into the outputs (each output may be its input); a channel is processed when both
  // its buffers are given.
  void Process(const double* in0, const double* in1, double* out0, double* out1, int n);
  // The same on n interleaved stereo frames (channel 0 first in each), for the channels flagged.
  void ProcessFrames(double* frames, int n, bool channel0, bool channel1);
  // Runs the chain in place over n samples of one channel (0 or 1).
  void ProcessChannel(double* buffer, int n, int channel);

  // Resets the channel's sections when a non-finite value has reached their history; true when it did.
  bool RecoverChannel(int channel);

  const BiquadSection& Section(Band band, int channel) const { return mBands[band][channel]; }
  bool HighPassEnabled() const { return mHighPassEnabled; }
  double GainDb() const { return mGainDb; }
  double GainLinear() const { return mGainLinear; }

  // Where a block's samples are read and written: per lane (channel) pointers and strides in doubles. A lane with
  // nothing to process reads a silent sample (stride 0) and writes into a sink.
  struct Lanes
  {
    const double* in[kChannels];
    double* out[kChannels];
    long inStride[kChannels];
    long outStride[kChannels];
    double* frames = nullptr; // set when both lanes are interleaved frames here, read and written whole

    simd::Lanes2 Load(int i) const { return simd::Lanes2::Of(in[0][i * inStride[0]], in[1][i * inStride[1]]); }
    void Store(int i, simd::Lanes2 v) const
    {
      out[0][i * outStride[0]] = v.Lane0();
      out[1][i * outStride[1]] = v.Lane1();
    }
    double Get(int i, int channel) const { return in[channel][i * inStride[channel]]; }
    void Put(int i, int channel, double v) const { out[channel][i * outStride[channel]] = v; }
  };

private:
  void Run(const Lanes& io, int n, bool channel0, bool channel1);
  void RunSettled(const Lanes& io, int n, bool channel0, bool channel1);
  void RunGliding(const Lanes& io, int n, bool channel0, bool channel1);
  void RunOneChannel(const Lanes& io, int n, int channel);
  void ResetAndRecompute(BiquadSection& section);
  bool BandActive(int band, int channel) const;
  bool ChannelSettled(int channel) const;

  // Frames a glide steps its sections over before their coefficients are computed together.
  static constexpr int kGlideChunk = 64;
  static_assert(BiquadDesignBatch::kCapacity >= kGlideChunk + 1);
  // What a glide's passes hand on to each other, for each active section in chain order.
  struct GlideScratch
  {
    SmoothingLanes lanes;            // the active sections' smoothers
    BiquadDesignBatch batch[kBands]; // the coefficients at the start, then those due, in the order of their steps
    int64_t entryRows[SmoothingLanes::kLanes * kGlideChunk]; // per frame and section: the batch entry it filters with
    double shareRows[SmoothingLanes::kLanes * kGlideChunk];  // per frame and section: its share
  };

  WideKernels mKernels;
  ShaperBlockFunction mShaper;
  OutputStageFunction mOutputStage;
  BiquadDesignBatchFunction mDesignBatch;
  SmoothingStepFunction mSmoothingStep;
  std::unique_ptr<GlideScratch> mGlide;
  double mGainLinear = 1.0;
  double mGainDb = 0.0;
  std::array<std::array<BiquadSection, kChannels>, kBands> mBands;
  bool mHighPassEnabled = false;
};

} // namespace ondrell

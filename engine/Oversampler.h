#pragma once

#include "engine/HalfBandFilter.h"

#include <array>
#include <vector>

namespace ondrell {

// Converts up to two channels to `factor` (2 or 4) times the base rate and back through a cascade of 2x half-band
// stages, designed from a quality preset: minimum-phase presets get elliptic IIR stages (a few samples of delay),
// the linear-phase preset Kaiser-windowed FIR stages. The pass band ends at (1 - transition band) x the base
// Nyquist frequency and every stage rejects what would fold back below it by the preset's attenuation. Both
// channels run together; a channel without input is fed silence. The design depends on the preset only, not on
// the rate.
//
// Priming: while the chain runs at the base rate, Remember keeps the most recent raw input (a little more than the
// filters' memory); PrimeFromHistory then runs it through the upsampler and the downsampler, so that switching on
// starts where a continuously fed oversampler would be, at a fraction of its cost while off.
// Threads: built while no audio runs; everything else on the audio thread (or while no audio runs), allocation-free; owns stages and buffers.
class Oversampler
{
public:
  static constexpr int kChannels = 2;
  static constexpr int kRealtimeQuality = 2;
  static constexpr int kOfflineQuality = 3;
  // What the priming leaves of the input before the remembered history, relative to its size.
  static constexpr double kPrimingResidue = 1e-12;

  enum class PhaseResponse
  {
    Minimum,
    Linear,
  };
  struct QualityPreset
  {
    double transitionBandPercent;
    double attenuationDb;
    PhaseResponse phase;
  };
  // Presets 0 to 5; any other number gives the settings of preset 2.
  static QualityPreset Preset(int quality);

  // maxInputLength: the most base-rate frames one call may pass (at least 1). `kernels`: the vector variant to
  // run (the widest the processor has; all give the same results).
  Oversampler(int factor, int quality, double baseRate, int maxInputLength,
              WideKernels kernels = DetectWideKernels());

  int Factor() const { return mFactor; }
  int Quality() const { return mQuality; }
  double BaseRate() const { return mBaseRate; }
  int MaxInputLength() const { return mMaxInputLength; }
  // Base-rate samples of delay added by upsampling and downsampling: the filters' group delay at 0 Hz, rounded.
  int Latency() const { return mLatency; }
  double ExactLatency() const { return mExactLatency; }
  // Base-rate frames of input Remember keeps.
  int HistoryLength() const { return static_cast<int>(mHistory[0].size()); }
  const HalfBandFilter& Stage(int index) const { return mUp[static_cast<size_t>(index)]; }
  int StageCount() const { return static_cast<int>(mUp.size()); }

  // The rate only labels the oversampler: the filters are the same at every rate.
  void SetBaseRate(double rate) { mBaseRate = rate; }

  // Upsamples n base-rate frames of inputs[0] and inputs[1] (a null pointer is a silent channel; NaN and
  // infinities count as silence too) into HighRate(). Returns factor x n, or 0 when n is not within
  // 0..MaxInputLength().
  int Upsample(const double* const* inputs, int n);
  // factor x MaxInputLength() interleaved stereo frames: what Upsample produced, to be processed in place.
  double* HighRate() { return mHigh.data(); }
  // Downsamples m frames of HighRate() (m a multiple of the factor, at most factor x MaxInputLength()) into
  // outputs[0] and outputs[1] (null pointers are skipped); every sample written is finite. Returns m / factor,
  // 0 when m is not acceptable.
  int Downsample(double* const* outputs, int m);

  // Keeps the last of n base-rate frames of input (read as Upsample reads it) as the latest of the history.
  void Remember(const double* const* inputs, int n);
  // Empties the filters and runs the history through upsampler and downsampler, oldest frame first.
  void PrimeFromHistory();
  // Empties the filters and the history.
  void Clear();
  // Empties the filters when an overflow has left a value that is not finite in them; true when it did.
  bool Recover();

private:
  void ClearFilters();
  void Interleave(const double* const* inputs, int n, double* frames) const;
  // Runs the n interleaved base-rate frames in mBase through the upsampling stages into mHigh.
  void UpsampleFrames(int n);
  void DownsampleFrames(int m);

  WideKernels mKernels;
  int mFactor;
  int mQuality;
  double mBaseRate;
  int mMaxInputLength;
  int mLatency = 0;
  double mExactLatency = 0.0;
  std::vector<HalfBandFilter> mUp;   // stage k doubles 2^k x the base rate
  std::vector<HalfBandFilter> mDown; // the same designs, halving
  std::vector<double> mBase;         // interleaved base-rate frames
  std::vector<double> mMiddle;       // interleaved frames between the stages
  std::vector<double> mHigh;         // interleaved frames at factor x the base rate
  std::array<std::vector<double>, kChannels> mHistory; // rings of raw input; mHistoryAt is the oldest frame
  size_t mHistoryAt = 0;
};

} // namespace ondrell

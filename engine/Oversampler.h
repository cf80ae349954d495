#pragma once

#include "engine/Resampler.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace ondrell {

// Converts up to two channels to `factor` times the base rate and back, with one resampler pair per channel,
// and reports the delay the pair adds.
// Threads: (re)built and destroyed while no audio runs, Clear/Upsample/Downsample on the audio thread; owns resamplers and buffers.
class Oversampler
{
public:
  static constexpr int kChannels = 2;
  static constexpr int kRealtimeQuality = 2;
  static constexpr int kOfflineQuality = 3;

  struct QualityPreset
  {
    double transitionBandPercent;
    double attenuationDb;
    Resampler::PhaseResponse phase;
  };
  // Presets 0 to 5; any other number gives the settings of preset 2.
  static QualityPreset Preset(int quality);

  Oversampler(int factor, int quality, double baseRate, int maxInputLength);

  // Replaces all four resamplers (their history starts empty) and recomputes the latency.
  void Rebuild();
  // Empties the history of all four resamplers and the input buffers without allocating: what a Rebuild with
  // unchanged settings gives, at a fraction of its cost. The latency stays.
  void Clear();
  // All four resamplers exist and work.
  bool IsValid() const;

  void SetQuality(int quality) { mQuality = quality; }
  void SetBaseRate(double rate) { mBaseRate = rate; }
  void SetMaxInputLength(int length) { mMaxInputLength = length; }

  int Factor() const { return mFactor; }
  int Quality() const { return mQuality; }
  double BaseRate() const { return mBaseRate; }
  int MaxInputLength() const { return mMaxInputLength; }
  // Base-rate samples of delay added by upsampling and downsampling, 0 when a resampler is missing.
  int Latency() const { return mLatency; }

  // Copies n base-rate samples into the channel's input buffer and upsamples them; `output` receives the
  // factor x n samples (writable, valid until the channel's next Upsample). Returns their count, 0 when n does
  // not fit the buffers.
  int Upsample(int channel, const double* input, int n, double*& output);
  // Downsamples m samples of the channel; `output` is valid until the channel's next Downsample.
  int Downsample(int channel, const double* input, int m, double*& output);

private:
  int mFactor;
  int mQuality;
  double mBaseRate;
  int mMaxInputLength;
  int mLatency = 0;
  std::array<std::unique_ptr<Resampler>, kChannels> mUp;
  std::array<std::unique_ptr<Resampler>, kChannels> mDown;
  std::array<std::vector<double>, kChannels> mInput;
};

} // namespace ondrell

#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct soxr;

namespace ondrell {

// A streaming sample-rate converter for one channel of 64-bit samples, built on libsoxr.
//
// libsoxr filters in blocks, so how many samples a call yields varies from call to call. This class turns that
// into a constant delay: every call of n input samples yields exactly the output samples that belong to those
// n inputs (n x ratio for whole-number ratios), delayed by a fixed amount that is measured once at construction.
// The stream starts with that many zeros, so there is no gap at the start and the delay holds from the first
// sample on.
// Threads: built and destroyed while no audio runs, Process and Clear (allocation-free) from one thread at a time; owns converter and buffer.
class Resampler
{
public:
  enum class PhaseResponse
  {
    Minimum,
    Linear,
  };

  // transitionBandPercent: part of the band below the lower Nyquist frequency given over to the filter's roll-off;
  // attenuationDb: stop-band attenuation. maxInputLength: the longest input one call may pass.
  Resampler(double sourceRate, double destinationRate, int maxInputLength, double transitionBandPercent,
            double attenuationDb, PhaseResponse phase);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  // A converter with this one's quality settings, the given rates and maximum input length, and a history of its
  // own. The delay depends only on the ratio and the quality settings, so for the same ratio the measurement of
  // this one is reused instead of repeated (measuring takes milliseconds).
  std::unique_ptr<Resampler> CreateLike(double sourceRate, double destinationRate, int maxInputLength) const;
  // The same with this one's rates and maximum input length: the converter of another channel.
  std::unique_ptr<Resampler> CreateSibling() const { return CreateLike(mSourceRate, mDestinationRate, mMaxInput); }
  // Whether this converter was built with these quality settings.
  bool HasSettings(double transitionBandPercent, double attenuationDb, PhaseResponse phase) const
  {
    return mTransitionBand == transitionBandPercent && mAttenuation == attenuationDb && mPhase == phase;
  }


  // Consumes `length` samples (at most the maximum input length; longer or negative lengths yield nothing) and
  // points `output` at the samples produced, which stay valid and writable until the next call. Returns their
  // count, 0 when the converter could not be created.
  int Process(const double* input, int length, double*& output);

  // Forgets all earlier input without allocating (libsoxr's own clear allocates anew): feeds enough
  // silence to push every earlier sample out of the converter and out of the samples held back, keeping the
  // stream's alignment to the output grid. Afterwards the converter answers as a new one does, to the rounding of
  // libsoxr's block transforms, and the delay is unchanged.
  void Clear();

  // The delay from input to output, in input samples (fractional).
  double Latency() const { return mLatencyIn; }
  bool IsValid() const { return mConverter != nullptr; }
  int MaxInputLength() const { return mMaxInput; }

private:
  struct ConverterDeleter
  {
    void operator()(soxr* converter) const;
  };
  using ConverterPtr = std::unique_ptr<soxr, ConverterDeleter>;

  struct LikeTag
  {
  };
  Resampler(LikeTag, const Resampler& like, double sourceRate, double destinationRate, int maxInputLength);
  void Measure();
  void Start(int64_t hold, double peak, int64_t memory);
  ConverterPtr CreateConverter() const;
  bool MeasureHold(soxr* probe, int64_t& holdOut, int64_t& fedOut, int64_t& producedOut) const;
  bool MeasurePeak(int64_t hold, double& peakIn) const;
  bool MeasureMemory(soxr* probe, int64_t fed, int64_t produced, int64_t hold, int64_t& memoryIn) const;
  int64_t OutputCountAt(int64_t totalIn) const;
  bool Feed(const double* input, int length);

  double mSourceRate;
  double mDestinationRate;
  int mMaxInput;
  double mTransitionBand;
  double mAttenuation;
  PhaseResponse mPhase;
  ConverterPtr mConverter;
  int64_t mHold = 0;   // output samples the stream is held back by
  double mPeak = 0.0;  // input samples from an impulse to its response's peak within the converter's alignment
  int64_t mMemory = 0; // input samples after the last non-zero input that the converter's output still reflects
  int64_t mFlush = 0;  // input samples of silence Clear feeds
  double mLatencyIn = 0.0;
  int64_t mTotalIn = 0;       // input samples consumed since construction
  int64_t mTotalOut = 0;      // output samples handed out since construction
  std::vector<double> mBuffer; // produced samples not yet handed out live in [mRead, mWrite)
  size_t mRead = 0;
  size_t mWrite = 0;
  size_t mMaxOutPerCall = 0;
};

} // namespace ondrell

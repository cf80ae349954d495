#pragma once

#include "engine/BiquadDesign.h"
#include "engine/BiquadSection.h"
#include "engine/WideTarget.h"

#include <cstdint>

namespace ondrell {

// The smoothers of up to eight biquad sections stepped together, one section per vector lane, frame by frame as
// the channel chain steps them: each frame, every section in use that is not settled takes one smoothing step
// (BiquadSection::StepSmoothing's operations, lane by lane), and each step that calls for new coefficients notes
// its smoothed values in the section's design batch. Sections are independent of each other, so stepping them
// side by side changes nothing.
// Threads: one thread at a time (the audio thread while processing); owns plain values.
struct SmoothingLanes
{
  static constexpr int kLanes = 8;

  // Lanes 0 .. count - 1 from the sections; each lane has a share divisor (60 or 80) and whether the share is
  // the magnitude. The other lanes stay unused.
  void Load(const BiquadSection* const* sections, const double* shareDivisor, const bool* shareMagnitude,
            int count);
  void Store(BiquadSection* const* sections, int count) const;

  alignas(64) double targetQ[kLanes], targetFreq[kLanes], targetGain[kLanes];
  alignas(64) double q[kLanes], freq[kLanes], gain[kLanes];
  alignas(64) double lastTargetQ[kLanes], lastTargetFreq[kLanes], lastTargetGain[kLanes];
  alignas(64) double lastQ[kLanes], lastFreq[kLanes], lastGain[kLanes];
  alignas(64) double rate[kLanes], lastRate[kLanes];
  alignas(64) double shareDivisor[kLanes];
  alignas(64) int64_t shareMagnitude[kLanes]; // all bits set or none
  alignas(64) int64_t force[kLanes];
  alignas(64) int64_t inUse[kLanes];
};

// Steps `frames` frames. For frame i and lane k: shares[8 i + k] = the lane's share of the shaped input from its
// smoothed gain before the step (gain / divisor, or its magnitude); a step that calls for new coefficients puts
// the smoothed Q, frequency and gain into batches[k] at the entry after the last one noted (entries start at 1);
// entries[8 i + k] = the entry the lane filters frame i with (0: the coefficients from before the first frame).
using SmoothingStepFunction = void (*)(SmoothingLanes& lanes, int frames, int count, BiquadDesignBatch* batches,
                                       int64_t* entries, double* shares);
SmoothingStepFunction SelectSmoothingStep(WideKernels kernels);

} // namespace ondrell

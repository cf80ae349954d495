#pragma once

#include "engine/WideTarget.h"

#include <cstdint>

namespace ondrell {

// The coefficients of a biquad section (Audio EQ Cookbook responses, normalised so that a0 is 1) and the values
// derived on the way, for one set of values (D = double) or for a vector of them with one response type (D a
// vector of CoefficientMath.h). Every lane performs the operations of the scalar computation in the same order
// (BiquadKernels.inc), so a batch gives bit for bit what one computation at a time gives.
// Threads: pure functions.
template <typename D>
struct BiquadDesign
{
  D A, w0, sinW0, cosW0, alpha;
  D b0, b1, b2, a1, a2;
};

namespace biquad_design {
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kLn10Over20 = 0.11512925464970229; // A = 10^(dB/20)
inline constexpr double kLn10Over40 = 0.057564627324851146; // A = 10^(dB/40)
} // namespace biquad_design

// type: 0 low-pass, 1 high-pass, 2 band-pass (constant skirt gain), 3 band-pass (0 dB peak), 4 notch, 5 all-pass,
// 7 low shelf, 8 high shelf, anything else peaking. q, hz and dB: the smoothed values; rate in samples per second.
// (The kernels of BiquadKernels.inc, on one double.)
BiquadDesign<double> DesignBiquad(int32_t type, double q, double hz, double dB, double rate);

// Many computations of one response type at one rate, planar: entry j from q[j], hz[j] and dB[j] into element j
// of the other arrays, for entries first .. first + count - 1. Runs on the vector variant chosen (all give the
// same results).
struct BiquadDesignBatch
{
  static constexpr int kCapacity = 72;
  alignas(64) double q[kCapacity], hz[kCapacity], dB[kCapacity];
  alignas(64) double A[kCapacity], w0[kCapacity], sinW0[kCapacity], cosW0[kCapacity], alpha[kCapacity];
  alignas(64) double b0[kCapacity], b1[kCapacity], b2[kCapacity], a1[kCapacity], a2[kCapacity];

  BiquadDesign<double> Result(int j) const
  {
    return {A[j], w0[j], sinW0[j], cosW0[j], alpha[j], b0[j], b1[j], b2[j], a1[j], a2[j]};
  }
};
using BiquadDesignBatchFunction = void (*)(int32_t type, int32_t rate, int first, int count,
                                           BiquadDesignBatch& batch);
BiquadDesignBatchFunction SelectBiquadDesignBatch(WideKernels kernels);

} // namespace ondrell

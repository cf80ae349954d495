#pragma once

#include "engine/SimdLanes.h"
#include "engine/WideTarget.h"

#include <vector>

namespace ondrell {

// One 2x stage of the oversampler: a half-band low-pass at the higher of its two rates that either doubles the
// rate of interleaved stereo frames (Upsample) or halves it (Downsample), both channels at once. Two designs:
// - Elliptic: H(z) = (A0(z^2) + z^-1 A1(z^2)) / 2, where A0 and A1 are cascades of all-pass sections
//   (a + z^-2) / (1 + a z^-2) whose coefficients follow in closed form from the elliptic half-band solution for the
//   pass edge and the attenuation. Minimum phase, a few samples of delay.
// - LinearPhase: a Kaiser-windowed half-band FIR (every other tap zero, the middle one 1/2), (length - 1) / 2
//   samples of delay.
// Both run in polyphase form at the lower rate: each input frame gives two when upsampling, each pair of input
// frames one when downsampling.
// Threads: designed while no audio runs; Upsample/Downsample/Clear from one thread at a time. Owns coefficients and state.
class HalfBandFilter
{
public:
  // passEdge: the end of the pass band in cycles per sample of the higher rate (0 < passEdge < 0.25); the stop
  // band begins at its mirror image 0.5 - passEdge. attenuationDb: the least attenuation there.
  static HalfBandFilter Elliptic(double passEdge, double attenuationDb);
  static HalfBandFilter LinearPhase(double passEdge, double attenuationDb);

  // n frames in, 2n frames out. Input may not overlap output.
  void Upsample(const double* input, int n, double* output);
  // 2n frames in, n frames out. Output may be the input.
  void Downsample(const double* input, int n, double* output);
  // Forgets all earlier input.
  void Clear();
  // False when an overflow (input near the largest finite number) has left a value that is not finite in the state.
  bool HasFiniteState() const;

  // Both stages of a 4x cascade in one pass over the frames - `first` at twice the lower rate, `second` at four
  // times - as first.Upsample then second.Upsample (or second.Downsample then first.Downsample) would do, with the
  // same results. The processor then overlaps the stages' work. Only elliptic stages whose section counts have an
  // unrolled kernel (those of the real-time and the offline preset) are taken; false when not done. `kernels`
  // picks the vector variant (all give the same results).
  static bool UpsampleCascade(HalfBandFilter& first, HalfBandFilter& second, const double* input, int n,
                              double* output, WideKernels kernels);
  static bool DownsampleCascade(HalfBandFilter& first, HalfBandFilter& second, const double* input, int n,
                                double* output, WideKernels kernels);

  // Group delay at 0 Hz, in samples of the higher rate.
  double Delay() const;
  // Samples of the lower rate after which what earlier input left in the filter has fallen to `fraction` of its
  // size (the slowest pole's decay; exact for the FIR).
  int SettlingLength(double fraction) const;

  bool IsLinearPhase() const { return mLinearPhase; }
  // Elliptic: the all-pass coefficients of branch 0 and 1, ascending. LinearPhase: empty.
  const std::vector<double>& Branch(int branch) const { return branch == 0 ? mBranch0 : mBranch1; }
  // LinearPhase: all taps, symmetric. Elliptic: empty.
  const std::vector<double>& Taps() const { return mTaps; }

private:
  // Frames the FIR delay lines take per call; longer calls are split.
  static constexpr int kFirChunk = 256;

  HalfBandFilter() = default;
  static bool Cascade(bool up, WideKernels kernels, HalfBandFilter& first, HalfBandFilter& second,
                      const double* input, int n, double* output);
  template <int A1, int B1, int A2, int B2>
  static void RunCascade(bool up, WideKernels kernels, HalfBandFilter& first, HalfBandFilter& second,
                         const double* input, int n, double* output);
  template <int A1, int B1, int A2, int B2>
  static void UpsampleCascadeFixed(HalfBandFilter& first, HalfBandFilter& second, const double* input, int n,
                                   double* output);
  template <int A1, int B1, int A2, int B2>
  static void DownsampleCascadeFixed(HalfBandFilter& first, HalfBandFilter& second, const double* input, int n,
                                     double* output);
  template <int A1, int B1, int A2, int B2>
  static void UpsampleCascadeBaseline(HalfBandFilter& first, HalfBandFilter& second, const double* input, int n,
                                      double* output);
  template <int A1, int B1, int A2, int B2>
  static void DownsampleCascadeBaseline(HalfBandFilter& first, HalfBandFilter& second, const double* input, int n,
                                        double* output);
#if QUORL_HAS_WIDE_TARGETS
  template <int A1, int B1, int A2, int B2>
  QUORL_TARGET_AVX512 static void UpsampleCascadeAvx512(HalfBandFilter& first, HalfBandFilter& second,
                                                        const double* input, int n, double* output);
  template <int A1, int B1, int A2, int B2>
  QUORL_TARGET_AVX512 static void DownsampleCascadeAvx512(HalfBandFilter& first, HalfBandFilter& second,
                                                          const double* input, int n, double* output);
#endif
  static simd::Lanes2 RunBranch(const std::vector<double>& coefficients, std::vector<simd::Lanes2>& state,
                                simd::Lanes2 x);
  void UpsampleFir(const double* input, int n, double* output);
  void DownsampleFir(const double* input, int n, double* output);

  bool mLinearPhase = false;
  // Elliptic. State of a branch of K sections: K + 1 values, the previous input and each section's previous output.
  std::vector<double> mBranch0;
  std::vector<double> mBranch1;
  std::vector<simd::Lanes2> mState0;
  std::vector<simd::Lanes2> mState1;
  simd::Lanes2 mHeldOdd = simd::Lanes2::Zero(); // downsampling: branch 1 sees the odd frames one frame late
  // LinearPhase. Taps h[0 .. 4K+2], middle 2K + 1; mEven holds h[0], h[2], ... (the ones not zero but the middle).
  std::vector<double> mTaps;
  std::vector<double> mEven;
  int mHalf = 0; // K
  // The inputs a tap reaches back to, then the current chunk's (upsampling: lower rate; downsampling: higher
  // rate). An instance serves one direction.
  std::vector<simd::Lanes2> mLine;
};

} // namespace ondrell

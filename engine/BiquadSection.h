#pragma once

#include "engine/BiquadDesign.h"

#include <cmath>
#include <cstdint>

namespace ondrell {

// One second-order recursive filter section (Audio EQ Cookbook responses) whose frequency, Q and gain
// glide towards their targets through one-pole smoothers, one step per call of Step. The coefficients come from
// DesignBiquad (BiquadDesign.h), with the section's own cosine, sine and exponential.
// Threads: unsynchronised, one thread at a time (the audio thread while processing); owns only plain values.
class BiquadSection
{
public:
  enum Type : int32_t
  {
    kLowPass = 0,
    kHighPass = 1,
    kBandPassSkirt = 2,
    kBandPassPeak = 3,
    kNotch = 4,
    kAllPass = 5,
    kPeaking = 6,
    kLowShelf = 7,
    kHighShelf = 8,
  };

  // Coefficients normalised so that a0 is 1.
  struct Coefficients
  {
    double a0, a1, a2, b0, b1, b2;
  };

  // The last two inputs and outputs.
  struct History
  {
    double x1, x2, y1, y2;
  };

  BiquadSection();

  // Changes the response at once, from the current smoothed values, without a smoothing step.
  void SetType(int32_t type);
  // Each stores the target and performs one smoothing step.
  void SetFrequency(double hz);
  void SetQ(double q);
  void SetGain(double dB);
  void SetSampleRate(int32_t samplesPerSecond);

  // One smoothing step; recomputes the coefficients only when the smoothed values moved past the thresholds,
  // the sample rate changed or a recomputation is forced.
  void Step();
  // Step without the recomputation: true when the coefficients are due, which the caller then computes from
  // the current values (DesignBiquad, at once or in a batch) and hands over with ApplyDesign before the section
  // filters again.
  bool StepSmoothing()
  {
    mQ = mQSmoother.Next(mTargetQ);
    mFreq = mFreqSmoother.Next(mTargetFreq);
    mGain = mGainSmoother.Next(mTargetGain);

    // Without branches: in the tail of a glide the steps that recompute follow no pattern a processor predicts.
    const bool moved = (int{mForceRecompute} | int{Abs(mQ - mLastQ) > 0.0001}
                        | int{Abs(mFreq - mLastFreq) > mFreq * 0.0001} | int{Abs(mGain - mLastGain) > 0.0001}
                        | int{mSampleRate != mLastSampleRate})
                       != 0;
    mLastQ = moved ? mQ : mLastQ;
    mLastFreq = moved ? mFreq : mLastFreq;
    mLastGain = moved ? mGain : mLastGain;
    mLastSampleRate = moved ? mSampleRate : mLastSampleRate;
    mForceRecompute = mForceRecompute & !moved;
    return moved;
  }
  void ApplyDesign(const BiquadDesign<double>& design);

  bool IsSettled() const
  {
    return Abs(mQSmoother.state - mQSmoother.lastTarget) < 1e-6
           && Abs(mFreqSmoother.state - mFreqSmoother.lastTarget) < 1e-6
           && Abs(mGainSmoother.state - mGainSmoother.lastTarget) < 1e-6;
  }

  // Clears the history and jumps the smoothed values to their targets; the coefficients follow at the next Step.
  void Reset();

  // Direct form I, summed in the order b0 x, b1 x1, b2 x2, a1 y1, a2 y2.
  double ProcessSample(double x)
  {
    const double y = mB0 * x + mB1 * mX1 + mB2 * mX2 - mA1 * mY1 - mA2 * mY2;
    mX2 = mX1;
    mX1 = x;
    mY2 = mY1;
    mY1 = y;
    return y;
  }

  double CurrentGain() const { return mGain; }
  double CurrentFrequency() const { return mFreq; }
  double CurrentQ() const { return mQ; }
  int32_t Type() const { return mType; }
  int32_t SampleRate() const { return mSampleRate; }
  double TargetFrequency() const { return mTargetFreq; }
  double TargetQ() const { return mTargetQ; }
  double TargetGain() const { return mTargetGain; }
  // Values of the last coefficient computation.
  double Amplitude() const { return mA; }
  double Omega() const { return mW0; }
  Coefficients GetCoefficients() const { return {mA0, mA1, mA2, mB0, mB1, mB2}; }
  // For loops that run a settled section on local copies and hand the history back afterwards.
  History GetHistory() const { return {mX1, mX2, mY1, mY2}; }
  void SetHistory(const History& h)
  {
    mX1 = h.x1;
    mX2 = h.x2;
    mY1 = h.y1;
    mY2 = h.y2;
  }
  // The smoothing state, for loops that step many sections together (SmoothingLanes) and hand it back afterwards.
  // The smoothed values are the smoothers' states.
  struct Smoothing
  {
    double targetQ, targetFreq, targetGain;
    double q, freq, gain;
    double lastTargetQ, lastTargetFreq, lastTargetGain; // the targets the smoothers saw at their last step
    double lastQ, lastFreq, lastGain;                   // the values of the last recomputation
    int32_t lastSampleRate;
    bool forceRecompute;
  };
  Smoothing GetSmoothing() const
  {
    return {mTargetQ,
            mTargetFreq,
            mTargetGain,
            mQ,
            mFreq,
            mGain,
            mQSmoother.lastTarget,
            mFreqSmoother.lastTarget,
            mGainSmoother.lastTarget,
            mLastQ,
            mLastFreq,
            mLastGain,
            mLastSampleRate,
            mForceRecompute};
  }
  // Takes back what GetSmoothing gave, stepped; the targets stay as they are.
  void SetSmoothing(const Smoothing& s)
  {
    mQ = mQSmoother.state = s.q;
    mFreq = mFreqSmoother.state = s.freq;
    mGain = mGainSmoother.state = s.gain;
    mQSmoother.lastTarget = s.lastTargetQ;
    mFreqSmoother.lastTarget = s.lastTargetFreq;
    mGainSmoother.lastTarget = s.lastTargetGain;
    mLastQ = s.lastQ;
    mLastFreq = s.lastFreq;
    mLastGain = s.lastGain;
    mLastSampleRate = s.lastSampleRate;
    mForceRecompute = s.forceRecompute;
  }
  static constexpr double kSmootherPole = 0.99;
  static constexpr double kSmootherInputWeight = 0.010000000000000009; // 1 - 0.99 in double precision

  // True when the history holds only finite numbers (a NaN or infinity would otherwise stay in it for good).
  bool HasFiniteHistory() const;
  // True when everything but the history equals the other section's: type, targets, smoothed and last-used
  // values, smoothers, rate, coefficients and force flag. Two such sections step to the same values.
  bool MatchesExceptHistory(const BiquadSection& other) const;

private:
  struct Smoother
  {
    double pole = kSmootherPole;
    double inputWeight = kSmootherInputWeight;
    double state = 0.0;
    double lastTarget = 0.0;

    double Next(double target)
    {
      lastTarget = target;
      state = state * pole + target * inputWeight;
      return state;
    }
    void JumpTo(double target)
    {
      state = target;
      lastTarget = target;
    }
  };

  static double Abs(double v) { return std::fabs(v); }
  void ComputeCoefficients();

  int32_t mType = kPeaking;
  double mTargetQ = 1.0;
  double mTargetFreq = 1000.0;
  double mTargetGain = 0.0;
  double mQ = 1.0;
  double mFreq = 1000.0;
  double mGain = 0.0;
  int32_t mSampleRate = 44100;
  double mA = 1.0;
  double mW0 = 0.0;
  double mSinW0 = 0.0;
  double mCosW0 = 1.0;
  double mAlpha = 0.0;
  double mA0 = 1.0, mA1 = 0.0, mA2 = 0.0, mB0 = 1.0, mB1 = 0.0, mB2 = 0.0;
  double mX1 = 0.0, mX2 = 0.0, mY1 = 0.0, mY2 = 0.0;
  Smoother mQSmoother;
  Smoother mFreqSmoother;
  Smoother mGainSmoother;
  double mLastQ = 0.0;
  double mLastFreq = 0.0;
  double mLastGain = 0.0;
  int32_t mLastSampleRate = 0;
  bool mForceRecompute = true;
};

} // namespace ondrell

#include "engine/BiquadSection.h"

#include <cmath>

namespace ondrell {

BiquadSection::BiquadSection()
{
  Reset();
  ComputeCoefficients();
}

void BiquadSection::SetType(int32_t type)
{
  mType = type;
  ComputeCoefficients();
}

void BiquadSection::SetFrequency(double hz)
{
  mTargetFreq = hz;
  Step();
}

void BiquadSection::SetQ(double q)
{
  mTargetQ = q;
  Step();
}

void BiquadSection::SetGain(double dB)
{
  mTargetGain = dB;
  Step();
}

void BiquadSection::SetSampleRate(int32_t samplesPerSecond)
{
  mSampleRate = samplesPerSecond;
  Step();
}

void BiquadSection::Step()
{
  if (StepSmoothing())
    ComputeCoefficients();
}

void BiquadSection::Reset()
{
  mX1 = mX2 = mY1 = mY2 = 0.0;
  mQ = mTargetQ;
  mFreq = mTargetFreq;
  mGain = mTargetGain;
  mQSmoother.JumpTo(mTargetQ);
  mFreqSmoother.JumpTo(mTargetFreq);
  mGainSmoother.JumpTo(mTargetGain);
  mLastQ = mTargetQ;
  mLastFreq = mTargetFreq;
  mLastGain = mTargetGain;
  mLastSampleRate = mSampleRate;
  mForceRecompute = true;
}

bool BiquadSection::HasFiniteHistory() const
{
  return std::isfinite(mX1) && std::isfinite(mX2) && std::isfinite(mY1) && std::isfinite(mY2);
}

bool BiquadSection::MatchesExceptHistory(const BiquadSection& o) const
{
  const auto same = [](const Smoother& a, const Smoother& b) {
    return a.pole == b.pole && a.inputWeight == b.inputWeight && a.state == b.state && a.lastTarget == b.lastTarget;
  };
  return mType == o.mType && mTargetQ == o.mTargetQ && mTargetFreq == o.mTargetFreq && mTargetGain == o.mTargetGain
         && mQ == o.mQ && mFreq == o.mFreq && mGain == o.mGain && mSampleRate == o.mSampleRate && mA == o.mA
         && mW0 == o.mW0 && mSinW0 == o.mSinW0 && mCosW0 == o.mCosW0 && mAlpha == o.mAlpha && mA0 == o.mA0
         && mA1 == o.mA1 && mA2 == o.mA2 && mB0 == o.mB0 && mB1 == o.mB1 && mB2 == o.mB2
         && same(mQSmoother, o.mQSmoother) && same(mFreqSmoother, o.mFreqSmoother)
         && same(mGainSmoother, o.mGainSmoother) && mLastQ == o.mLastQ && mLastFreq == o.mLastFreq
         && mLastGain == o.mLastGain && mLastSampleRate == o.mLastSampleRate && mForceRecompute == o.mForceRecompute;
}

void BiquadSection::ComputeCoefficients()
{
  ApplyDesign(DesignBiquad(mType, mQ, mFreq, mGain, static_cast<double>(mSampleRate)));
}

void BiquadSection::ApplyDesign(const BiquadDesign<double>& d)
{
  mA = d.A;
  mW0 = d.w0;
  mSinW0 = d.sinW0;
  mCosW0 = d.cosW0;
  mAlpha = d.alpha;
  mA0 = 1.0;
  mA1 = d.a1;
  mA2 = d.a2;
  mB0 = d.b0;
  mB1 = d.b1;
  mB2 = d.b2;
}

} // namespace ondrell

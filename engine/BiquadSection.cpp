#include "engine/BiquadSection.h"

#include <cmath>

namespace ondrell {

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr double kLn10Over20 = 0.11512925464970229; // A = 10^(dB/20)
constexpr double kLn10Over40 = 0.057564627324851146; // A = 10^(dB/40)
} // namespace

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
  mQ = mQSmoother.Next(mTargetQ);
  mFreq = mFreqSmoother.Next(mTargetFreq);
  mGain = mGainSmoother.Next(mTargetGain);

  const bool moved = mForceRecompute || Abs(mQ - mLastQ) > 0.0001 || Abs(mFreq - mLastFreq) > mFreq * 0.0001
                     || Abs(mGain - mLastGain) > 0.0001 || mSampleRate != mLastSampleRate;
  if (!moved)
    return;

  ComputeCoefficients();
  mLastQ = mQ;
  mLastFreq = mFreq;
  mLastGain = mGain;
  mLastSampleRate = mSampleRate;
  mForceRecompute = false;
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
  mW0 = kTwoPi * mFreq / mSampleRate;
  const double c = std::cos(mW0);
  const double s = std::sin(mW0);
  mCosW0 = c;
  mSinW0 = s;
  mAlpha = s / (2.0 * mQ);
  const double alpha = mAlpha;

  double b0, b1, b2, a0, a1, a2;
  switch (mType)
  {
  case kLowPass:
    mA = 1.0;
    b0 = (1.0 - c) * 0.5;
    b1 = 1.0 - c;
    b2 = (1.0 - c) * 0.5;
    a0 = 1.0 + alpha;
    a1 = -2.0 * c;
    a2 = 1.0 - alpha;
    break;
  case kHighPass:
    mA = 1.0;
    b0 = (1.0 + c) * 0.5;
    b1 = -(1.0 + c);
    b2 = (1.0 + c) * 0.5;
    a0 = 1.0 + alpha;
    a1 = -2.0 * c;
    a2 = 1.0 - alpha;
    break;
  case kBandPassSkirt:
    mA = std::exp(mGain * kLn10Over20);
    b0 = s * 0.5;
    b1 = 0.0;
    b2 = -s * 0.5;
    a0 = 1.0 + alpha;
    a1 = -2.0 * c;
    a2 = 1.0 - alpha;
    break;
  case kBandPassPeak:
    mA = std::exp(mGain * kLn10Over20);
    b0 = alpha;
    b1 = 0.0;
    b2 = -alpha;
    a0 = 1.0 + alpha;
    a1 = -2.0 * c;
    a2 = 1.0 - alpha;
    break;
  case kNotch:
    mA = std::exp(mGain * kLn10Over20);
    b0 = 1.0;
    b1 = -2.0 * c;
    b2 = 1.0;
    a0 = 1.0 + alpha;
    a1 = -2.0 * c;
    a2 = 1.0 - alpha;
    break;
  case kAllPass:
    mA = std::exp(mGain * kLn10Over20);
    b0 = 1.0 - alpha;
    b1 = -2.0 * c;
    b2 = 1.0 + alpha;
    a0 = 1.0 + alpha;
    a1 = -2.0 * c;
    a2 = 1.0 - alpha;
    break;
  case kLowShelf:
  {
    const double A = std::exp(mGain * kLn10Over40);
    mA = A;
    const double t = 2.0 * std::sqrt(A) * alpha;
    b0 = A * ((A + 1.0) - (A - 1.0) * c + t);
    b1 = 2.0 * A * ((A - 1.0) - (A + 1.0) * c);
    b2 = A * ((A + 1.0) - (A - 1.0) * c - t);
    a0 = (A + 1.0) + (A - 1.0) * c + t;
    a1 = -2.0 * ((A - 1.0) + (A + 1.0) * c);
    a2 = (A + 1.0) + (A - 1.0) * c - t;
    break;
  }
  case kHighShelf:
  {
    const double A = std::exp(mGain * kLn10Over40);
    mA = A;
    const double t = 2.0 * std::sqrt(A) * alpha;
    b0 = A * ((A + 1.0) + (A - 1.0) * c + t);
    b1 = -2.0 * A * ((A - 1.0) + (A + 1.0) * c);
    b2 = A * ((A + 1.0) + (A - 1.0) * c - t);
    a0 = (A + 1.0) - (A - 1.0) * c + t;
    a1 = 2.0 * ((A - 1.0) - (A + 1.0) * c);
    a2 = (A + 1.0) - (A - 1.0) * c - t;
    break;
  }
  default: // peaking, and any unknown type number
  {
    const double A = std::exp(mGain * kLn10Over40);
    mA = A;
    b0 = 1.0 + alpha * A;
    b1 = -2.0 * c;
    b2 = 1.0 - alpha * A;
    a0 = 1.0 + (1.0 / A) * alpha;
    a1 = -2.0 * c;
    a2 = 1.0 - (1.0 / A) * alpha;
    break;
  }
  }

  const double k = 1.0 / a0;
  mB0 = b0 * k;
  mB1 = b1 * k;
  mB2 = b2 * k;
  mA1 = a1 * k;
  mA2 = a2 * k;
  mA0 = 1.0;
}

} // namespace ondrell

#include "engine/SmoothingLanes.h"

namespace ondrell {

void SmoothingLanes::Load(const BiquadSection* const* sections, const double* divisor, const bool* magnitude,
                          int count)
{
  for (int k = 0; k < kLanes; ++k)
  {
    const bool used = k < count;
    const BiquadSection::Smoothing s = used ? sections[k]->GetSmoothing() : BiquadSection::Smoothing{};
    targetQ[k] = s.targetQ;
    targetFreq[k] = s.targetFreq;
    targetGain[k] = s.targetGain;
    q[k] = s.q;
    freq[k] = s.freq;
    gain[k] = s.gain;
    lastTargetQ[k] = s.lastTargetQ;
    lastTargetFreq[k] = s.lastTargetFreq;
    lastTargetGain[k] = s.lastTargetGain;
    lastQ[k] = s.lastQ;
    lastFreq[k] = s.lastFreq;
    lastGain[k] = s.lastGain;
    rate[k] = used ? sections[k]->SampleRate() : 0.0;
    lastRate[k] = s.lastSampleRate;
    shareDivisor[k] = used ? divisor[k] : 1.0;
    shareMagnitude[k] = used && magnitude[k] ? -1 : 0;
    force[k] = s.forceRecompute ? -1 : 0;
    inUse[k] = used ? -1 : 0;
  }
}

void SmoothingLanes::Store(BiquadSection* const* sections, int count) const
{
  for (int k = 0; k < count; ++k)
  {
    BiquadSection::Smoothing s = sections[k]->GetSmoothing();
    s.q = q[k];
    s.freq = freq[k];
    s.gain = gain[k];
    s.lastTargetQ = lastTargetQ[k];
    s.lastTargetFreq = lastTargetFreq[k];
    s.lastTargetGain = lastTargetGain[k];
    s.lastQ = lastQ[k];
    s.lastFreq = lastFreq[k];
    s.lastGain = lastGain[k];
    s.lastSampleRate = static_cast<int32_t>(lastRate[k]);
    s.forceRecompute = force[k] != 0;
    sections[k]->SetSmoothing(s);
  }
}

} // namespace ondrell

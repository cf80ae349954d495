#include "engine/Oversampler.h"

#include <algorithm>
#include <cmath>

namespace ondrell {

Oversampler::QualityPreset Oversampler::Preset(int quality)
{
  using Phase = Resampler::PhaseResponse;
  switch (quality)
  {
  case 0: return {20.0, 80.0, Phase::Minimum};
  case 1: return {15.0, 96.0, Phase::Minimum};
  case 2: return {10.0, 120.0, Phase::Minimum};
  case 3: return {5.0, 150.0, Phase::Minimum};
  case 4: return {2.0, 180.0, Phase::Minimum};
  case 5: return {2.0, 180.0, Phase::Linear};
  default: return {10.0, 120.0, Phase::Minimum};
  }
}

Oversampler::Oversampler(int factor, int quality, double baseRate, int maxInputLength)
  : mFactor(factor)
  , mQuality(quality)
  , mBaseRate(baseRate)
  , mMaxInputLength(maxInputLength)
{
}

void Oversampler::Rebuild()
{
  const QualityPreset preset = Preset(mQuality);
  const double highRate = mFactor * mBaseRate;
  const auto reusable = [&preset](const std::unique_ptr<Resampler>& r) {
    return r && r->IsValid() && r->HasSettings(preset.transitionBandPercent, preset.attenuationDb, preset.phase);
  };
  // Channel 0's pair is made first; channel 1's, and a rebuild with the same preset and factor, reuse its
  // measured delay (the rate and length do not change it).
  for (int c = 0; c < kChannels; ++c)
  {
    if (reusable(mUp[0]))
      mUp[c] = mUp[0]->CreateLike(mBaseRate, highRate, mMaxInputLength);
    else
      mUp[c] = std::make_unique<Resampler>(mBaseRate, highRate, mMaxInputLength, preset.transitionBandPercent,
                                           preset.attenuationDb, preset.phase);
    if (reusable(mDown[0]))
      mDown[c] = mDown[0]->CreateLike(highRate, mBaseRate, mFactor * mMaxInputLength);
    else
      mDown[c] = std::make_unique<Resampler>(highRate, mBaseRate, mFactor * mMaxInputLength,
                                             preset.transitionBandPercent, preset.attenuationDb, preset.phase);
    mInput[c].assign(static_cast<size_t>(std::max(mMaxInputLength, 0)), 0.0);
  }

  mLatency = 0;
  if (mUp[0] && mDown[0] && mUp[0]->IsValid() && mDown[0]->IsValid())
    mLatency = static_cast<int>(std::round(mDown[0]->Latency() / mFactor + mUp[0]->Latency()));
}

void Oversampler::Clear()
{
  for (int c = 0; c < kChannels; ++c)
  {
    if (mUp[c])
      mUp[c]->Clear();
    if (mDown[c])
      mDown[c]->Clear();
    std::fill(mInput[c].begin(), mInput[c].end(), 0.0);
  }
}

bool Oversampler::IsValid() const
{
  for (int c = 0; c < kChannels; ++c)
    if (!mUp[c] || !mDown[c] || !mUp[c]->IsValid() || !mDown[c]->IsValid())
      return false;
  return true;
}

int Oversampler::Upsample(int channel, const double* input, int n, double*& output)
{
  output = nullptr;
  if (channel < 0 || channel >= kChannels || !mUp[channel] || n < 0
      || static_cast<size_t>(n) > mInput[channel].size())
    return 0;
  std::copy(input, input + n, mInput[channel].begin());
  return mUp[channel]->Process(mInput[channel].data(), n, output);
}

int Oversampler::Downsample(int channel, const double* input, int m, double*& output)
{
  output = nullptr;
  if (channel < 0 || channel >= kChannels || !mDown[channel])
    return 0;
  return mDown[channel]->Process(input, m, output);
}

} // namespace ondrell

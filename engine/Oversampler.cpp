#include "engine/Oversampler.h"

#include <algorithm>
#include <cmath>

namespace ondrell {

Oversampler::QualityPreset Oversampler::Preset(int quality)
{
  switch (quality)
  {
  case 0: return {20.0, 80.0, PhaseResponse::Minimum};
  case 1: return {15.0, 96.0, PhaseResponse::Minimum};
  case 2: return {10.0, 120.0, PhaseResponse::Minimum};
  case 3: return {5.0, 150.0, PhaseResponse::Minimum};
  case 4: return {2.0, 180.0, PhaseResponse::Minimum};
  case 5: return {2.0, 180.0, PhaseResponse::Linear};
  default: return {10.0, 120.0, PhaseResponse::Minimum};
  }
}

Oversampler::Oversampler(int factor, int quality, double baseRate, int maxInputLength, WideKernels kernels)
  : mKernels(kernels)
  , mFactor(factor == 2 ? 2 : 4)
  , mQuality(quality)
  , mBaseRate(baseRate)
  , mMaxInputLength(std::max(maxInputLength, 1))
{
  const QualityPreset preset = Preset(quality);
  const int stages = mFactor == 2 ? 1 : 2;
  // The pass band ends at (1 - transition) x the base Nyquist frequency; stage k works at 2^k x the base rate.
  const double edge = (1.0 - preset.transitionBandPercent / 100.0) / 2.0;
  int history = 0;
  for (int k = 1; k <= stages; ++k)
  {
    const double passEdge = edge / static_cast<double>(1 << k);
    HalfBandFilter stage = preset.phase == PhaseResponse::Linear
                             ? HalfBandFilter::LinearPhase(passEdge, preset.attenuationDb)
                             : HalfBandFilter::Elliptic(passEdge, preset.attenuationDb);
    // Each stage delays twice, once up and once down; its samples are 1 / 2^k of a base-rate sample.
    mExactLatency += 2.0 * stage.Delay() / static_cast<double>(1 << k);
    // Stage k's lower rate is 2^(k - 1) x the base rate; up and down both have to settle.
    const int settle = stage.SettlingLength(kPrimingResidue);
    history += 2 * ((settle + (1 << (k - 1)) - 1) / (1 << (k - 1)));
    mUp.push_back(stage);
    mDown.push_back(stage);
  }
  mLatency = static_cast<int>(std::round(mExactLatency));

  const size_t frames = static_cast<size_t>(mMaxInputLength);
  mBase.assign(kChannels * frames, 0.0);
  if (stages > 1)
    mMiddle.assign(kChannels * 2 * frames, 0.0);
  mHigh.assign(kChannels * static_cast<size_t>(mFactor) * frames, 0.0);
  for (auto& ring : mHistory)
    ring.assign(static_cast<size_t>(std::max(history, 1)), 0.0);
}

void Oversampler::Interleave(const double* const* inputs, int n, double* frames) const
{
  for (int c = 0; c < kChannels; ++c)
  {
    const double* in = inputs ? inputs[c] : nullptr;
    for (int i = 0; i < n; ++i)
      frames[kChannels * i + c] = in ? simd::FiniteOrZero(in[i]) : 0.0;
  }
}

void Oversampler::UpsampleFrames(int n)
{
  if (mUp.size() == 1)
  {
    mUp[0].Upsample(mBase.data(), n, mHigh.data());
    return;
  }
  if (HalfBandFilter::UpsampleCascade(mUp[0], mUp[1], mBase.data(), n, mHigh.data(), mKernels))
    return;
  mUp[0].Upsample(mBase.data(), n, mMiddle.data());
  mUp[1].Upsample(mMiddle.data(), 2 * n, mHigh.data());
}

void Oversampler::DownsampleFrames(int m)
{
  if (mDown.size() == 2 && HalfBandFilter::DownsampleCascade(mDown[0], mDown[1], mHigh.data(), m / 4, mHigh.data(), mKernels))
    return;
  int frames = m;
  for (size_t k = mDown.size(); k-- > 0;)
  {
    frames /= 2;
    mDown[k].Downsample(mHigh.data(), frames, mHigh.data());
  }
}

int Oversampler::Upsample(const double* const* inputs, int n)
{
  if (n < 0 || n > mMaxInputLength)
    return 0;
  Interleave(inputs, n, mBase.data());
  UpsampleFrames(n);
  return mFactor * n;
}

int Oversampler::Downsample(double* const* outputs, int m)
{
  if (m < 0 || m % mFactor != 0 || m > mFactor * mMaxInputLength)
    return 0;
  DownsampleFrames(m);
  const int n = m / mFactor;
  for (int c = 0; c < kChannels; ++c)
  {
    double* out = outputs ? outputs[c] : nullptr;
    if (!out)
      continue;
    for (int i = 0; i < n; ++i)
      out[i] = simd::FiniteOrZero(mHigh[static_cast<size_t>(kChannels * i + c)]);
  }
  return n;
}

void Oversampler::Remember(const double* const* inputs, int n)
{
  const size_t length = mHistory[0].size();
  if (n <= 0 || length == 0)
    return;
  // Only the last `length` frames matter; they go in as they are, in at most two pieces around the ring's end.
  const size_t count = std::min(static_cast<size_t>(n), length);
  const size_t skip = static_cast<size_t>(n) - count;
  const size_t first = std::min(count, length - mHistoryAt);
  for (int c = 0; c < kChannels; ++c)
  {
    const double* in = inputs ? inputs[c] : nullptr;
    double* ring = mHistory[static_cast<size_t>(c)].data();
    if (in)
    {
      std::copy(in + skip, in + skip + first, ring + mHistoryAt);
      std::copy(in + skip + first, in + skip + count, ring);
    }
    else
    {
      std::fill(ring + mHistoryAt, ring + mHistoryAt + first, 0.0);
      std::fill(ring, ring + (count - first), 0.0);
    }
  }
  mHistoryAt = (mHistoryAt + count) % length;
}

void Oversampler::PrimeFromHistory()
{
  ClearFilters();
  const size_t length = mHistory[0].size();
  size_t at = mHistoryAt;
  for (size_t done = 0; done < length;)
  {
    const int n = static_cast<int>(std::min<size_t>(length - done, static_cast<size_t>(mMaxInputLength)));
    for (int i = 0; i < n; ++i)
    {
      for (size_t c = 0; c < kChannels; ++c)
        mBase[kChannels * static_cast<size_t>(i) + c] = simd::FiniteOrZero(mHistory[c][at]);
      at = at + 1 == length ? 0 : at + 1;
    }
    UpsampleFrames(n);
    DownsampleFrames(mFactor * n);
    done += static_cast<size_t>(n);
  }
}

void Oversampler::ClearFilters()
{
  for (auto& stage : mUp)
    stage.Clear();
  for (auto& stage : mDown)
    stage.Clear();
}

bool Oversampler::Recover()
{
  bool finite = true;
  for (const auto* stages : {&mUp, &mDown})
    for (const HalfBandFilter& stage : *stages)
      finite = finite && stage.HasFiniteState();
  if (!finite)
    ClearFilters();
  return !finite;
}

void Oversampler::Clear()
{
  ClearFilters();
  for (auto& ring : mHistory)
    std::fill(ring.begin(), ring.end(), 0.0);
  mHistoryAt = 0;
}

} // namespace ondrell

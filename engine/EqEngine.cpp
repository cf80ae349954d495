#include "engine/EqEngine.h"

#include "engine/FloatingPointGuard.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace ondrell {

EqEngine::EqEngine(double sampleRate)
  : mChain(static_cast<int>(sampleRate))
  , mSampleRate(sampleRate)
{
}

EqEngine::~EqEngine()
{
  ReleaseOversampler();
}

void EqEngine::PostParamChange(int index, double value)
{
  if (index < 0 || index >= kParams)
    return;
  mLatestValue[index].store(value, std::memory_order_relaxed);
  if (!mChanges.TryPush({index, value}))
    mOverflowed[index].store(true, std::memory_order_release);
}

void EqEngine::ApplyPendingChanges()
{
  Change change;
  while (mChanges.TryPop(change))
    ApplyChange(change.index, change.value);
  for (int i = 0; i < kParams; ++i)
    if (mOverflowed[i].exchange(false, std::memory_order_acq_rel))
      ApplyChange(i, mLatestValue[i].load(std::memory_order_relaxed));
}

void EqEngine::ApplyChange(int index, double value)
{
  if (!std::isfinite(value))
    return;
  if (index == kGainParam)
    mChain.UpdateGain(value);
  else if (index == kOversamplingParam)
  {
    // Only a changed request counts. Adapters announce every parameter again at each activation; while
    // offline rendering forces oversampling on, such an announcement of "off" would otherwise switch it off.
    const bool requested = value >= 0.5;
    if (requested == mRequested)
      return;
    mRequested = requested;
    mSwitchPending = mRequested != mActive;
  }
  else
    mChain.ApplyParam(index, value);
}

void EqEngine::UpdateFilterRates()
{
  const double rate = mActive ? mSampleRate * 4.0 : mSampleRate;
  mChain.UpdateRates(static_cast<int>(rate));
}

EqEngine::ResetResult EqEngine::Reset(const EngineResetSettings& settings)
{
  ApplyPendingChanges();
  // A rate the filters cannot run at (not a number, below 1 Hz, or too high for a whole number of samples per
  // second at four times the rate) keeps the previous one.
  if (settings.sampleRate >= 1.0 && settings.sampleRate * kFactor < static_cast<double>(INT32_MAX))
    mSampleRate = settings.sampleRate;

  mChain.UpdateGain(settings.gainDb);
  mCrossfading = false;
  mCrossfadeCounter = 0;

  if (settings.renderingOffline && !mOfflineForced)
  {
    mSavedActive = mActive;
    mActive = true;
    mOfflineForced = true;
    mSwitchPending = false;
  }
  else if (!settings.renderingOffline && mOfflineForced)
  {
    // Back to the state saved before; a switch made meanwhile (or just before the forcing) is what the
    // parameter says now, so it stays requested and is applied below rather than dropped.
    mActive = mSavedActive;
    mOfflineForced = false;
    mSwitchPending = mRequested != mActive;
  }

  if (mSwitchPending)
  {
    mActive = mRequested;
    mSwitchPending = false;
  }

  BuildOversampler(settings);
  UpdateFilterRates();

  ResetResult result;
  result.latency = mActive ? mOversamplerLatency : 0;
  result.reportLatency = result.latency != mReportedLatency.load(std::memory_order_acquire);
  if (result.reportLatency)
    mReportedLatency.store(result.latency, std::memory_order_release);
  mLatencyChanged.store(false, std::memory_order_release);
  return result;
}

void EqEngine::BuildOversampler(const EngineResetSettings& settings)
{
  const int quality = settings.renderingOffline ? Oversampler::kOfflineQuality : Oversampler::kRealtimeQuality;
  const int length = std::max(settings.blockSize, kMinBufferLength);
  // With rate, length and quality as they are - always so when a CLAP host resets while active, on its audio
  // thread - emptying the resamplers' history gives what a rebuild would, without allocating and at a fraction
  // of the time. A broken oversampler is built again.
  if (mOversampler && mOversampler->IsValid() && mOversampler->Quality() == quality
      && mOversampler->BaseRate() == mSampleRate && mOversampler->MaxInputLength() == length)
  {
    mOversampler->Clear();
    for (auto& scratch : mScratch)
      std::fill(scratch.begin(), scratch.end(), 0.0);
    mOversamplerLatency = mOversampler->Latency();
    return;
  }
  if (!mOversampler)
    mOversampler = std::make_unique<Oversampler>(kFactor, quality, mSampleRate, length);
  else
  {
    mOversampler->SetQuality(quality);
    mOversampler->SetBaseRate(mSampleRate);
    mOversampler->SetMaxInputLength(length);
  }
  mOversampler->Rebuild();

  for (auto& scratch : mScratch)
    scratch.assign(static_cast<size_t>(length), 0.0);
  mOversamplerLatency = mOversampler->Latency();
}

void EqEngine::ReleaseOversampler()
{
  mOversampler.reset();
  for (auto& scratch : mScratch)
    std::vector<double>().swap(scratch);
  mOversamplerLatency = 0;
}

bool EqEngine::TakeLatencyChange(int& latency)
{
  if (!mLatencyChanged.exchange(false, std::memory_order_acq_rel))
    return false;
  const int pending = mPendingLatency.load(std::memory_order_acquire);
  if (pending == mReportedLatency.load(std::memory_order_acquire))
    return false;
  mReportedLatency.store(pending, std::memory_order_release);
  latency = pending;
  return true;
}

void EqEngine::ProcessBlock(const EngineBlock& block)
{
  // Changes are applied before the floating-point mode changes, as they would be by a handler running
  // between blocks.
  ApplyPendingChanges();
  if (block.nFrames < 0)
    return;
  const FloatingPointGuard floatingPoint;

  const int nChannels = std::min(block.connectedOutputs, 2);
  ApplySwitch();
  if (mOversampler && !mActive && !mCrossfading)
    PrimeResamplers(block, nChannels);

  if (mCrossfading)
    CrossfadePath(block, nChannels);
  else if (mActive && mOversampler)
    OversampledPath(block, nChannels);
  else
    PlainPath(block, nChannels);

  // A NaN or infinity that reached a section's history would silence the channel until the next reset.
  for (int channel = 0; channel < EqChannelChain::kChannels; ++channel)
    mChain.RecoverChannel(channel);
}

void EqEngine::ApplySwitch()
{
  if (!mSwitchPending)
    return;
  mSwitchPending = false;
  if (mRequested == mActive)
    return;

  mActive = mRequested;
  UpdateFilterRates();
  // Handed over at every switch, also when it equals the latency last reported: a switch back before the next
  // idle tick must replace the one the previous switch left pending. The idle tick reports only a difference.
  mPendingLatency.store(mActive ? mOversamplerLatency : 0, std::memory_order_release);
  mLatencyChanged.store(true, std::memory_order_release);
  mCrossfading = true;
  mCrossfadeCounter = kCrossfadeLength;
}

// While oversampling is off, the resamplers still get every block, so that switching on does not start from
// silence. Their output is dropped.
void EqEngine::PrimeResamplers(const EngineBlock& block, int nChannels)
{
  const int n = block.nFrames;
  for (int channel = 0; channel < nChannels; ++channel)
  {
    if (!block.inputReady[channel] || n < 0 || static_cast<size_t>(n) > mScratch[channel].size())
      continue;
    std::copy(block.inputs[channel], block.inputs[channel] + n, mScratch[channel].begin());
    double* high = nullptr;
    const int m = mOversampler->Upsample(channel, mScratch[channel].data(), n, high);
    if (m > 0)
    {
      double* low = nullptr;
      mOversampler->Downsample(channel, high, m, low);
    }
  }
}

void EqEngine::PlainPath(const EngineBlock& block, int nChannels)
{
  const int n = block.nFrames;
  for (int channel = 0; channel < nChannels; ++channel)
  {
    if (!Processes(block, channel))
      continue;
    double* out = block.outputs[channel];
    const double* in = block.inputs[channel];
    if (out != in)
      std::copy(in, in + n, out);
    mChain.ProcessChannel(out, n, channel);
  }
}

int EqEngine::RunOversampled(int channel, int n, double*& output)
{
  double* high = nullptr;
  const int m = mOversampler->Upsample(channel, mScratch[channel].data(), n, high);
  if (m <= 0)
    return 0;
  mChain.ProcessChannel(high, m, channel);
  const int k = mOversampler->Downsample(channel, high, m, output);
  return std::max(k, 0);
}

void EqEngine::OversampledPath(const EngineBlock& block, int nChannels)
{
  const int n = block.nFrames;
  for (int channel = 0; channel < nChannels; ++channel)
  {
    if (!Processes(block, channel))
      continue;
    double* out = block.outputs[channel];
    if (static_cast<size_t>(n) > mScratch[channel].size())
    {
      std::fill(out, out + n, 0.0);
      continue;
    }
    std::copy(block.inputs[channel], block.inputs[channel] + n, mScratch[channel].begin());
    double* low = nullptr;
    const int k = RunOversampled(channel, n, low);
    const int copied = std::min(n, k);
    std::copy(low, low + copied, out);
    std::fill(out + copied, out + n, 0.0);
  }
}

void EqEngine::CrossfadePath(const EngineBlock& block, int nChannels)
{
  const int n = block.nFrames;
  // The oversampled pass needs the input as it came in; a host processing in place overwrites it with the
  // plain pass's result, so it is kept first.
  std::array<bool, 2> kept{false, false};
  if (mOversampler)
    for (int channel = 0; channel < nChannels; ++channel)
      if (Processes(block, channel) && static_cast<size_t>(n) <= mScratch[channel].size())
      {
        std::copy(block.inputs[channel], block.inputs[channel] + n, mScratch[channel].begin());
        kept[channel] = true;
      }

  PlainPath(block, nChannels);

  if (mOversampler)
    for (int channel = 0; channel < nChannels; ++channel)
    {
      if (!kept[channel])
        continue;
      // Same sections as the plain pass: their state and coefficients carry over between the two passes.
      double* oversampled = nullptr;
      const int k = RunOversampled(channel, n, oversampled);
      if (k <= 0)
        continue;
      double* out = block.outputs[channel];
      const int blended = std::min(n, k);
      for (int i = 0; i < blended; ++i)
      {
        const double o = oversampled[i];
        const double p = out[i];
        if (i < mCrossfadeCounter)
        {
          // F runs from 0 at the switch to 255/256, whatever the block size: samples since the switch / 256.
          const double f = static_cast<double>(i - mCrossfadeCounter + kCrossfadeLength) / kCrossfadeLength;
          out[i] = mActive ? f * o + (1.0 - f) * p : (1.0 - f) * o + f * p;
        }
        else if (mRequested)
          out[i] = o;
      }
      std::fill(out + blended, out + n, 0.0);
    }

  mCrossfadeCounter -= n;
  if (mCrossfadeCounter < 1)
  {
    mCrossfading = false;
    mCrossfadeCounter = 0;
  }
}

} // namespace ondrell

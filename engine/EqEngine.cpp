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

EqEngine::~EqEngine() = default;

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
  const int length = std::clamp(settings.blockSize, kMinBufferLength, kMaxBufferLength);
  if (!mOversamplers[0] || mOversamplers[0]->MaxInputLength() != length)
  {
    mOversamplers[0] = std::make_unique<Oversampler>(kFactor, Oversampler::kRealtimeQuality, mSampleRate, length);
    mOversamplers[1] = std::make_unique<Oversampler>(kFactor, Oversampler::kOfflineQuality, mSampleRate, length);
    for (auto& scratch : mScratch)
      scratch.assign(static_cast<size_t>(length), 0.0);
  }
  mOversampler = mOversamplers[settings.renderingOffline ? 1 : 0].get();
  mOversampler->SetBaseRate(mSampleRate);
  mOversampler->Clear();
  for (auto& scratch : mScratch)
    std::fill(scratch.begin(), scratch.end(), 0.0);
  mOversamplerLatency = mOversampler->Latency();
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
  // Read before any path runs: a host processing in place overwrites the input.
  if (mOversampler)
    Remember(block, nChannels);

  if (mCrossfading)
    CrossfadePath(block, nChannels);
  else if (mActive && mOversampler)
    OversampledPath(block, nChannels);
  else
    PlainPath(block, nChannels);

  // Overflowing input (a finite number near the largest there is) could still leave a filter's state non-finite.
  for (int channel = 0; channel < EqChannelChain::kChannels; ++channel)
    mChain.RecoverChannel(channel);
  if (mOversampler && (mActive || mCrossfading))
    mOversampler->Recover();
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
  // Switching on starts from the filters' state after the recent input, as if they had been fed all along.
  if (mActive && mOversampler)
    mOversampler->PrimeFromHistory();
  // Handed over at every switch, also when it equals the latency last reported: a switch back before the next
  // idle tick must replace the one the previous switch left pending. The idle tick reports only a difference.
  mPendingLatency.store(mActive ? mOversamplerLatency : 0, std::memory_order_release);
  mLatencyChanged.store(true, std::memory_order_release);
  mCrossfading = true;
  mCrossfadeCounter = kCrossfadeLength;
}

// Every block's raw input goes into the oversampler's history, whatever path runs, so that a switch on replays
// the latest input. A channel not processed counts as silence.
void EqEngine::Remember(const EngineBlock& block, int nChannels)
{
  const double* inputs[2] = {nullptr, nullptr};
  for (int channel = 0; channel < nChannels; ++channel)
    if (Processes(block, channel))
      inputs[channel] = block.inputs[channel];
  mOversampler->Remember(inputs, block.nFrames);
}

void EqEngine::PlainPath(const EngineBlock& block, int nChannels)
{
  const double* inputs[2] = {nullptr, nullptr};
  double* outputs[2] = {nullptr, nullptr};
  for (int channel = 0; channel < nChannels; ++channel)
    if (Processes(block, channel))
    {
      inputs[channel] = block.inputs[channel];
      outputs[channel] = block.outputs[channel];
    }
  mChain.Process(inputs[0], inputs[1], outputs[0], outputs[1], block.nFrames);
}

bool EqEngine::RunOversampled(const double* const* inputs, double* const* outputs, int n)
{
  if (n > mOversampler->MaxInputLength())
    return false;
  // In pieces, so that the high-rate frames stay in the processor's nearest cache from upsampling through the
  // chain to downsampling. Every stage streams, so the result does not depend on the piece length.
  for (int done = 0; done < n; done += kOversampledPiece)
  {
    const int count = std::min(kOversampledPiece, n - done);
    const double* in[2] = {inputs[0] ? inputs[0] + done : nullptr, inputs[1] ? inputs[1] + done : nullptr};
    double* out[2] = {outputs[0] ? outputs[0] + done : nullptr, outputs[1] ? outputs[1] + done : nullptr};
    const int m = mOversampler->Upsample(in, count);
    mChain.ProcessFrames(mOversampler->HighRate(), m, in[0] != nullptr, in[1] != nullptr);
    mOversampler->Downsample(out, m);
  }
  return true;
}

void EqEngine::OversampledPath(const EngineBlock& block, int nChannels)
{
  const int n = block.nFrames;
  const double* inputs[2] = {nullptr, nullptr};
  double* outputs[2] = {nullptr, nullptr};
  for (int channel = 0; channel < nChannels; ++channel)
    if (Processes(block, channel))
    {
      inputs[channel] = block.inputs[channel];
      outputs[channel] = block.outputs[channel];
    }
  if (!RunOversampled(inputs, outputs, n))
    for (double* out : outputs)
      if (out)
        std::fill(out, out + n, 0.0);
}

void EqEngine::CrossfadePath(const EngineBlock& block, int nChannels)
{
  const int n = block.nFrames;
  // The oversampled pass needs the input as it came in; a host processing in place overwrites it with the
  // plain pass's result, so it is kept first. The oversampled result then takes its place.
  const double* kept[2] = {nullptr, nullptr};
  double* oversampled[2] = {nullptr, nullptr};
  if (mOversampler)
    for (int channel = 0; channel < nChannels; ++channel)
      if (Processes(block, channel) && static_cast<size_t>(n) <= mScratch[channel].size())
      {
        std::copy(block.inputs[channel], block.inputs[channel] + n, mScratch[channel].begin());
        kept[channel] = mScratch[channel].data();
        oversampled[channel] = mScratch[channel].data();
      }

  PlainPath(block, nChannels);

  // Same sections as the plain pass: their state and coefficients carry over between the two passes.
  if ((kept[0] || kept[1]) && RunOversampled(kept, oversampled, n))
    for (int channel = 0; channel < 2; ++channel)
    {
      if (!oversampled[channel])
        continue;
      double* out = block.outputs[channel];
      for (int i = 0; i < n; ++i)
      {
        const double o = oversampled[channel][i];
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
    }

  mCrossfadeCounter -= n;
  if (mCrossfadeCounter < 1)
  {
    mCrossfading = false;
    mCrossfadeCounter = 0;
  }
}

} // namespace ondrell

#pragma once

#include "engine/EqChannelChain.h"
#include "engine/Oversampler.h"
#include "engine/ParamChangeQueue.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace ondrell {

// The channel buffers of one block as the processor presents them.
struct EngineBlock
{
  double* const* inputs = nullptr;
  double* const* outputs = nullptr;
  int nFrames = 0;
  int connectedOutputs = 0;                    // connected output channels
  std::array<bool, 2> inputReady{false, false}; // input slot exists, is connected and has a buffer
  std::array<bool, 2> outputReady{false, false};
};

// What a reset needs from the processor.
struct EngineResetSettings
{
  double sampleRate = 48000.0;
  int blockSize = 0;
  bool renderingOffline = false;
  double gainDb = 0.0; // the current value of "Gain"
};

// The equaliser's processing: the channel chain at the base rate or four times oversampled, the switch between
// the two with its 256-sample crossfade, offline forcing, the latency bookkeeping, and the hand-over of parameter
// changes from any thread to the audio thread.
//
// Parameter changes: PostParamChange may run on any thread (the host's audio thread for CLAP automation, the
// main thread for the editor and state loads, any thread a VST2 host uses). It never touches the sections; it
// queues (index, value) in a lock-free multi-producer queue. The audio thread takes the queue at the start of
// each block, and a reset takes it before its own steps, applying every change in the order posted, so each
// change still sets its targets with exactly one smoothing step, and the glide goes on sample by sample in the
// chain. Sections, gain, switch flags and the crossfade are thus only ever touched by the one thread that
// processes. Should the queue ever be full, the parameter is marked and its latest value is applied once.
// Since the oversampling request changes only at the start of a block, a crossfade always ends in the state it
// switched to; the oversampler is never released on the audio thread.
//
// Oversamplers for the real-time and the offline preset are both built when the buffers are first sized or their
// length changes (the block size changes only on the main thread); every other reset - a CLAP host's on the
// audio thread, a change of render mode or rate among them - only selects one and empties it, without allocating.
// While oversampling is off the oversampler only remembers the latest raw input; switching on replays it.
//
// Threads: PostParamChange any thread, Reset while no block runs, ProcessBlock audio, TakeLatencyChange main; owns chain and oversamplers.
class EqEngine
{
public:
  static constexpr int kParams = 10;
  static constexpr int kOversamplingParam = 9;
  static constexpr int kGainParam = 8;
  static constexpr int kFactor = 4;
  static constexpr int kCrossfadeLength = 256;
  static constexpr int kMinBufferLength = 1024;
  // Buffers are never sized beyond this many base-rate frames (the adapters slice host blocks far shorter).
  static constexpr int kMaxBufferLength = 1 << 16;
  // Base-rate frames the oversampled path takes through upsampler, chain and downsampler at a time.
  static constexpr int kOversampledPiece = 128;

  struct ResetResult
  {
    bool reportLatency = false; // the latency differs from the one last reported
    int latency = 0;
  };

  explicit EqEngine(double sampleRate);
  ~EqEngine();
  EqEngine(const EqEngine&) = delete;
  EqEngine& operator=(const EqEngine&) = delete;

  // A new value of parameter `index`, to take effect at the start of the next block or reset.
  void PostParamChange(int index, double value);

  // Processing (re)starts or the rate, block size or render mode changed: builds the oversamplers when the buffer
  // length changed (otherwise only selects and empties one, allocation-free), applies offline forcing and a
  // pending switch, re-rates the filters and tells whether the latency must be reported.
  ResetResult Reset(const EngineResetSettings& settings);

  void ProcessBlock(const EngineBlock& block);

  // The latency a switch during playback left to report, once: true and the value when there is one.
  bool TakeLatencyChange(int& latency);

  // Observers, for tests and the host tools (not while a block runs).
  const EqChannelChain& Chain() const { return mChain; }
  bool OversamplingActive() const { return mActive; }
  bool OversamplingRequested() const { return mRequested; }
  bool SwitchPending() const { return mSwitchPending; }
  bool OfflineForced() const { return mOfflineForced; }
  bool Crossfading() const { return mCrossfading; }
  int CrossfadeCounter() const { return mCrossfadeCounter; }
  bool HasOversampler() const { return mOversampler != nullptr; }
  const Oversampler* CurrentOversampler() const { return mOversampler; }
  int OversamplerQuality() const { return mOversampler ? mOversampler->Quality() : -1; }
  int OversamplerLatency() const { return mOversamplerLatency; }
  int ReportedLatency() const { return mReportedLatency.load(std::memory_order_acquire); }
  int BufferLength() const { return static_cast<int>(mScratch[0].size()); }

private:
  struct Change
  {
    int32_t index = 0;
    double value = 0.0;
  };

  void ApplyPendingChanges();
  void ApplyChange(int index, double value);
  void UpdateFilterRates();
  void BuildOversampler(const EngineResetSettings& settings);
  void ApplySwitch();
  void Remember(const EngineBlock& block, int nChannels);
  void PlainPath(const EngineBlock& block, int nChannels);
  void OversampledPath(const EngineBlock& block, int nChannels);
  void CrossfadePath(const EngineBlock& block, int nChannels);
  // Upsamples the inputs (null: a channel not processed), runs the chain at the high rate and downsamples into
  // the outputs; false when the block does not fit the buffers.
  bool RunOversampled(const double* const* inputs, double* const* outputs, int n);
  bool Processes(const EngineBlock& block, int channel) const
  {
    return block.inputReady[channel] && block.outputReady[channel];
  }

  EqChannelChain mChain;
  double mSampleRate;

  // The real-time preset's and the offline preset's oversampler, and the one in use.
  std::array<std::unique_ptr<Oversampler>, 2> mOversamplers;
  Oversampler* mOversampler = nullptr;
  // One copy of each channel's input block. Two of them, so that a crossfade can keep both channels' input
  // while the plain pass overwrites a buffer the host shares between input and output.
  std::array<std::vector<double>, 2> mScratch;
  bool mActive = false;
  bool mRequested = false;
  bool mSwitchPending = false;
  int mOversamplerLatency = 0;
  std::atomic<int> mPendingLatency{0};
  std::atomic<bool> mLatencyChanged{false};
  std::atomic<int> mReportedLatency{0};
  bool mOfflineForced = false;
  bool mSavedActive = false;
  bool mCrossfading = false;
  int mCrossfadeCounter = 0;

  ParamChangeQueue<Change, 1024> mChanges;
  std::array<std::atomic<double>, kParams> mLatestValue{};
  std::array<std::atomic<bool>, kParams> mOverflowed{};
};

} // namespace ondrell

#pragma once
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/Config.h"

namespace ondrell {

// One audio sample: all processing, filtering and resampling use 64-bit floating point.
using sample = double;

// Index of every per-direction array of the processor.
enum class RouteDirection : int32_t { Input = 0, Output = 1 };

// Channel count of a bus that accepts any number of channels.
inline constexpr int kWildcardChannels = -64;

// One bus of a channel configuration.
struct BusSpec {
  RouteDirection direction = RouteDirection::Input;
  int32_t nChannels = 0;  // kWildcardChannels for a wildcard bus
};

// One supported channel configuration: the buses of each direction, bus 0 first.
class ChannelIOConfig {
 public:
  void AddBus(RouteDirection direction, int nChannels);
  int NBuses(RouteDirection direction) const { return static_cast<int>(Buses(direction).size()); }
  // Channels on bus index; 0 when the bus does not exist.
  int NChannelsOnBus(RouteDirection direction, int index) const;
  // Sum of the channel counts of the direction's buses (a wildcard bus adds kWildcardChannels).
  int TotalChannels(RouteDirection direction) const;
  bool HasWildcard(RouteDirection direction) const;
  const std::vector<BusSpec>& Buses(RouteDirection direction) const { return mBuses[static_cast<int>(direction)]; }

 private:
  std::vector<BusSpec> mBuses[2];
};

// One possible channel of one direction, owned by the processor.
struct ChannelSlot {
  bool connected = false;           // the host supplies a buffer for this channel in the current block
  sample** pointerSlot = nullptr;   // this channel's entry in the direction's pointer array
  float* hostBuffer = nullptr;      // 32-bit output processing: the host buffer that receives the result
  std::vector<sample> scratch;      // conversion buffer, and what an unconnected channel points at
};

// Host transport state for the current block; -1.0 marks a value the host did not supply.
struct TransportInfo {
  double tempo = 120.0;
  double samplePos = -1.0;
  double ppqPos = -1.0;
  double lastBarPos = -1.0;
  double loopStart = -1.0;
  double loopEnd = -1.0;
  int numerator = 4;
  int denominator = 4;
  bool running = false;
  bool loopEnabled = false;
};

// A MIDI message with its sample offset in the block (8 bytes).
struct MidiMsg {
  int32_t offset = 0;
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};
static_assert(sizeof(MidiMsg) == 8);

// A SysEx message with its sample offset in the block; the bytes are not owned.
struct SysExMsg {
  int32_t offset = 0;
  int32_t size = 0;
  const uint8_t* data = nullptr;
};

// Audio-side base of every plug-in object: channel configurations, channel slots and pointer arrays, the
// processing context and the processing hooks.
// Latency, tail size and the offline flag are atomics because the main and audio threads both touch them.
// Threads: set-up on the main thread while not processing, buffers and processing on the audio thread; owns slots and configs.
class IPluginProcessor {
 public:
  explicit IPluginProcessor(const Config& config);
  virtual ~IPluginProcessor();
  IPluginProcessor(const IPluginProcessor&) = delete;
  IPluginProcessor& operator=(const IPluginProcessor&) = delete;

  // Virtual operations, in slot order.
  // Block processing. The default copies input i to output i below both channel counts and zeroes the rest.
  virtual void ProcessBlock(sample** inputs, sample** outputs, int nFrames);
  // Default passes the message on with SendMidiMsg.
  virtual void ProcessMidiMsg(const MidiMsg& msg);
  virtual void ProcessSysEx(const SysExMsg& /*msg*/) {}
  // Processing is (re)started, or the sample rate or block size changed.
  virtual void OnReset() {}
  virtual void OnActivate(bool /*active*/) {}
  // Implemented by each format adapter.
  virtual bool SendMidiMsg(const MidiMsg& msg) = 0;
  // Sends each message (all are attempted); true only when every send succeeded.
  virtual bool SendMidiMsgs(std::span<const MidiMsg> msgs);
  // Default: not sent.
  virtual bool SendSysEx(const SysExMsg& /*msg*/) { return false; }
  // "Input", "Main"/"Aux", "Input %i", "Output", "Output %i"; at most 32 bytes.
  virtual std::string MakeBusName(RouteDirection direction, int busIndex, int busCount) const;
  // Defaults store the value; adapters override to also tell the host.
  virtual void SetLatency(int samples);
  virtual void SetTailSize(int samples);

  // Channel I/O string parsing: configurations split at spaces, sides at "-", buses at "."; "*" is a wildcard
  // bus; a token that is not a positive decimal integer adds no bus. Returns the number of configurations
  // appended to configs and raises each total to the largest value seen.
  static int ParseChannelIOStr(const char* text, std::vector<ChannelIOConfig>& configs, int& totalInChannels,
                               int& totalOutChannels, int& totalInBuses, int& totalOutBuses);

  // Queries.
  int NChannels(RouteDirection direction) const { return static_cast<int>(Slots(direction).size()); }
  int CountConnectedChannels(RouteDirection direction) const;
  bool IsChannelConnected(RouteDirection direction, int index) const;
  int NIOConfigs() const { return static_cast<int>(mIOConfigs.size()); }
  // Null for an index outside the list.
  const ChannelIOConfig* GetIOConfig(int index) const;
  // Largest bus count of the direction over all configurations; ties go to the later configuration.
  int MaxBusCount(RouteDirection direction, int* configIndex = nullptr) const;
  // True when some configuration matches both counts; a negative count matches anything, and so does a
  // direction with a wildcard bus.
  bool LegalIO(int nInputChannels, int nOutputChannels) const;

  double GetSampleRate() const { return mSampleRate; }
  void SetSampleRate(double sampleRate) { mSampleRate = sampleRate; }
  int GetBlockSize() const { return mBlockSize; }
  int GetLatency() const { return mLatency.load(std::memory_order_relaxed); }
  int GetTailSize() const { return mTailSize.load(std::memory_order_relaxed); }
  bool GetRenderingOffline() const { return mRenderingOffline.load(std::memory_order_relaxed); }
  void SetRenderingOffline(bool offline) { mRenderingOffline.store(offline, std::memory_order_relaxed); }
  int GetPluginKind() const { return mPluginKind; }
  bool DoesMidiIn() const { return mMidiIn; }
  bool DoesMidiOut() const { return mMidiOut; }
  bool DoesMPE() const { return mMPE; }
  const TransportInfo& GetTransportInfo() const { return mTransportInfo; }
  void SetTransportInfo(const TransportInfo& info) { mTransportInfo = info; }

  // Buffer handling (audio thread, around every block). Ranges are clipped to the slots that exist.
  // Unconnected slots point at their own scratch buffer (null while it is empty).
  void SetChannelsConnected(RouteDirection direction, int start, int count, bool connected);
  // 64-bit host buffers: each connected slot takes the next pointer; unconnected slots consume none.
  void AttachBuffers(RouteDirection direction, int start, int count, sample* const* buffers);
  // 32-bit host buffers: connected inputs are converted into their scratch buffers; connected outputs point at
  // their scratch buffers and remember the host buffer. nFrames must not exceed the block size.
  void AttachBuffers(RouteDirection direction, int start, int count, float* const* buffers, int nFrames);
  // nFrames must not exceed the block size last set (the adapters guarantee it; nothing here checks).
  void ProcessBuffers(int nFrames);
  void ProcessBuffers32(int nFrames);
  void ProcessBuffersAccumulating32(int nFrames);

  // Set-up (main thread, not processing).
  // Resizes and zeroes every scratch buffer when n differs from the current block size.
  void SetBlockSize(int n);
  // Inputs from index 2 on become unconnected, outputs from index 2 on connected.
  void RestrictToStereo();

 protected:
  const std::vector<ChannelSlot>& Slots(RouteDirection direction) const {
    return mSlots[static_cast<int>(direction)];
  }
  sample** ChannelPointers(RouteDirection direction) { return mChannelPointers[static_cast<int>(direction)].data(); }

 private:
  void ConvertOutputs32(int nFrames, bool accumulate);
  static void AimAtScratch(ChannelSlot& slot);

  const int mPluginKind;
  const bool mMidiIn;
  const bool mMidiOut;
  const bool mMPE;
  std::atomic<int> mLatency;
  double mSampleRate = 48000.0;
  int mBlockSize = 0;
  std::atomic<int> mTailSize{0};
  std::atomic<bool> mRenderingOffline{false};
  std::vector<ChannelIOConfig> mIOConfigs;
  std::vector<sample*> mChannelPointers[2];
  std::vector<ChannelSlot> mSlots[2];  // never resized after construction: pointer slots stay valid
  TransportInfo mTransportInfo;
};

}  // namespace ondrell

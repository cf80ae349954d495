#pragma once
// The plug-in-format interface of quorl-host: what the renderer and the command line need from a loaded plug-in,
// independent of the plug-in standard. The CLAP implementation is ClapHost.h; another format (VST2) adds its own
// PluginLibrary/HostedPlugin pair and a case in OpenPluginLibrary.
// Threads: PumpMainThread, parameter, state and activation calls on the thread that created the plug-in (the
// host's main thread); StartProcessing, Process and StopProcessing on one audio thread at a time.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ondrell::host {

struct ParamInfo {
  uint32_t id = 0;
  std::string name;
  std::string module;
  double minValue = 0.0;
  double maxValue = 1.0;
  double defaultValue = 0.0;
  bool stepped = false;
  bool automatable = false;
  bool hidden = false;
  bool readOnly = false;
  // The host values of a stepped parameter's entries, in order; empty for a continuous parameter or one with
  // more than kMaxListedEntries.
  std::vector<double> entryValues;
};

inline constexpr double kMaxListedEntries = 1000;

// Channel counts of the main audio ports after configuration.
struct PortLayout {
  uint32_t inputChannels = 0;
  uint32_t outputChannels = 0;
  bool supports64 = false;
};

// One block of audio: planar channel pointers in one of the two sample formats (the other pair is null).
struct AudioBlock {
  uint32_t frames = 0;
  const float* const* in32 = nullptr;
  float* const* out32 = nullptr;
  const double* const* in64 = nullptr;
  double* const* out64 = nullptr;
};

// Counters of what the plug-in asked of its host, for reports and tests.
struct HostRequests {
  uint32_t restartRequests = 0;
  uint32_t callbackRequests = 0;
  uint32_t flushRequests = 0;
  uint32_t latencyChanged = 0;
  uint32_t latencyChangedOutsideActivate = 0;
  uint32_t tailChanged = 0;
  uint32_t rescans = 0;
  uint32_t timerTicks = 0;
  uint32_t paramValuesFromPlugin = 0;
  uint32_t gesturesFromPlugin = 0;
};

class HostedPlugin {
 public:
  virtual ~HostedPlugin() = default;

  virtual std::string Name() const = 0;
  virtual std::string Id() const = 0;

  virtual std::vector<ParamInfo> Params() = 0;
  virtual bool GetValue(uint32_t id, double& value) = 0;
  virtual bool ValueToText(uint32_t id, double value, std::string& text) = 0;
  virtual bool TextToValue(uint32_t id, const std::string& text, double& value) = 0;
  // Queues a value; it reaches the plug-in in the next Process or FlushParams.
  virtual void QueueParamValue(uint32_t id, double value) = 0;
  // Delivers queued values while not processing (the plug-in's own flush call).
  virtual void FlushParams() = 0;

  virtual PortLayout Ports() = 0;
  virtual bool SetOffline(bool offline) = 0;
  // The sample size the blocks will have; a VST2 plug-in is told it before it is resumed.
  virtual void SetSamplePrecision(bool /*use64*/) {}
  virtual bool Activate(double sampleRate, uint32_t maxFrames) = 0;
  virtual void Deactivate() = 0;
  virtual bool IsActive() const = 0;
  virtual uint32_t Latency() = 0;
  virtual uint32_t Tail() = 0;

  virtual bool StartProcessing() = 0;
  virtual void StopProcessing() = 0;
  // Returns the plug-in's status code; negative when the call could not be made.
  virtual int Process(const AudioBlock& block) = 0;

  virtual bool SaveState(std::vector<uint8_t>& bytes) = 0;
  virtual bool LoadState(const std::vector<uint8_t>& bytes) = 0;

  // Services what the plug-in asked for on the main thread (callbacks, timers, file descriptors, flushes),
  // waiting at most timeoutMs for something to do.
  virtual void PumpMainThread(int timeoutMs) = 0;
  // True once the plug-in asked for a restart that has not been carried out; clears the request.
  virtual bool TakeRestartRequest() = 0;
  virtual HostRequests Requests() const = 0;
};

struct PluginEntry {
  std::string id;
  std::string name;
  std::string vendor;
  std::string version;
  std::string description;
  std::vector<std::string> features;
};

class PluginLibrary {
 public:
  virtual ~PluginLibrary() = default;
  virtual std::vector<PluginEntry> Plugins() const = 0;
  // trackChannels is the channel count of the track the plug-in is inserted on (the file being rendered).
  virtual std::unique_ptr<HostedPlugin> Create(const std::string& id, uint32_t trackChannels,
                                               std::string& error) = 0;
};

// Opens a plug-in file; the format is chosen by the file name (".clap", or ".so" or ".dll" for VST2).
std::unique_ptr<PluginLibrary> OpenPluginLibrary(const std::string& path, std::string& error);

}  // namespace ondrell::host

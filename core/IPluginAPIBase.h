#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "core/Config.h"
#include "core/HostId.h"
#include "core/IPluginBase.h"
#include "core/IPluginProcessor.h"
#include "core/ParamChangeSource.h"
#include "core/SpscQueue.h"
#include "core/Timer.h"

namespace ondrell {

// A parameter value on its way to the editor, in the parameter's own units.
struct ParamChange {
  int32_t index = 0;
  double value = 0.0;
};

// A SysEx message copied for a queue. Messages longer than kMaxSize bytes are refused, not cut.
struct SysExBlock {
  static constexpr int kMaxSize = 512;

  int32_t offset = 0;
  int32_t size = 0;
  uint8_t data[kMaxSize] = {};

  // Copies msg (512 zero bytes when it has no data). False when its size is negative or above kMaxSize.
  bool Assign(const SysExMsg& msg);
  SysExMsg AsMsg() const { return SysExMsg{offset, size, data}; }
};

// The plug-in API codes this build knows.
enum class PluginApi : int32_t { VST2 = 0, CLAP = 8 };

// Base of every format adapter (its first base; the second is IPluginProcessor): reads the configuration
// record, identifies the host, runs the idle timer, owns the queues between the audio thread and the editor,
// and forwards editor gestures to the host through operations the adapters implement.
// Threads: main thread, except the queue sides marked audio thread below (one producer, one consumer each); owns timer and queues.
class IPluginAPIBase : public IPluginBase {
 public:
  static constexpr int kParamQueueSize = 512;
  static constexpr int kMidiQueueSize = 32;
  static constexpr int kSysExQueueSize = 4;
  static constexpr int kIdleTimerPeriodMs = 20;

  IPluginAPIBase(const Config& config, PluginApi api);
  // Stops the idle timer, then frees the queues, then destroys the timer.
  ~IPluginAPIBase() override;

  // Hooks and adapter operations.
  // Called at the end of SetHost.
  virtual void OnHostKnown() {}
  // Called on every idle tick after the queues are drained.
  virtual void OnIdle() {}
  // Pushes the value (converted from normalised when asked) for the editor. Producer: the thread the host changes
  // parameters on. False for an unknown index, a value that is not finite, or a full queue (dropped).
  virtual bool QueueParamValueForEditor(int paramIdx, double value, bool normalised);
  // Called by SetHost once the host is identified.
  virtual void OnHostSpecificSetup() {}
  // Adapter: asks the host to resize the editor window. Default false.
  virtual bool RequestEditorResize(int /*width*/, int /*height*/) { return false; }
  // Adapter: a gesture on the parameter starts / ends.
  virtual void BeginParamEdit(int /*paramIdx*/) {}
  virtual void EndParamEdit(int /*paramIdx*/) {}
  // Adapter: tell the host the parameter's new normalised value.
  virtual void InformHostOfParamValue(int /*paramIdx*/, double /*normalised*/) {}
  // Sets the empty text, returns false.
  virtual bool GetMidiNoteText(int note, std::string& text) const;

  // Editor delegate overrides that route editor gestures to the host and to the processor.
  void BeginParamEditFromEditor(int paramIdx) override { BeginParamEdit(paramIdx); }
  void SetParamValueFromEditor(int paramIdx, double normalised) override;
  void EndParamEditFromEditor(int paramIdx) override { EndParamEdit(paramIdx); }
  bool ResizeEditorFromEditor(int width, int height, bool needsHostResize) override;
  void SendMidiMsgFromEditor(const MidiMsg& msg) override { QueueMidiMsgForProcessor(msg); }
  void SendSysExFromEditor(const SysExMsg& msg) override { QueueSysExForProcessor(msg); }
  void SendArbitraryMsgFromEditor(int messageTag, int controlTag, int dataSize, const void* data) override;
  // Push into the queues from the editor (dropped when full; SysEx over 512 bytes refused).
  void QueueMidiMsgForProcessor(const MidiMsg& msg) override;
  void QueueSysExForProcessor(const SysExMsg& msg) override;

  // Reads a text typed for the parameter into its units: one of its display texts (exactly, else ignoring case and
  // surrounding spaces), or, for a parameter whose values are not all named, a finite number optionally followed
  // by the parameter's label ("-7.25 dB"), clamped into its range as ParseText does. False for anything else
  // ("", "abc", "nan", "1.5junk"), which a host must not take for a value.
  static bool ReadTypedValue(const IParam& param, const char* text, double& value);

  // Stores the host's name and packed version, identifies it, then calls OnHostSpecificSetup and OnHostKnown.
  void SetHost(const char* name, int version);
  static HostId IdentifyHost(const char* name);
  PluginApi GetAPI() const { return mApi; }

  // (Re)creates the 20 ms idle timer, destroying any previous one.
  void StartIdleTimer(Timer::Drive drive = Timer::Drive::HostMainThread);
  // Stops the idle timer (a derived class stops it before its own members go when ticks come from another thread).
  void StopIdleTimer();
  // One idle tick: with an editor, delivers queued parameter values, MIDI and SysEx to the editor; then OnIdle.
  void OnIdleTimer(Timer& timer);
  // Stores the value from the editor, tells the host, and announces the change with source UI.
  void ApplyParamValueFromEditor(int paramIdx, double normalised);

 private:
  const PluginApi mApi;
  std::unique_ptr<Timer> mIdleTimer;  // declared before the queues, so it is destroyed after them

 protected:
  // Audio-thread producers of the queues for the editor; false when dropped or refused.
  bool QueueMidiForEditor(const MidiMsg& msg) { return mMidiForEditor.Push(msg); }
  bool QueueSysExForEditor(const SysExMsg& msg);

  // The five queues. Adapters pop the editor's MIDI and SysEx on the audio thread.
  SpscQueue<ParamChange, kParamQueueSize> mParamChangesForEditor;  // host thread -> idle timer
  SpscQueue<MidiMsg, kMidiQueueSize> mMidiFromEditor;              // editor -> audio thread
  SpscQueue<MidiMsg, kMidiQueueSize> mMidiForEditor;               // audio thread -> idle timer
  SpscQueue<SysExBlock, kSysExQueueSize> mSysExFromEditor;         // editor -> audio thread
  SpscQueue<SysExBlock, kSysExQueueSize> mSysExForEditor;          // audio thread -> idle timer

 private:
  SysExBlock mSysExScratch;           // idle-timer side copy of a popped SysEx block
};

}  // namespace ondrell

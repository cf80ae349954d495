#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "core/ByteChunk.h"
#include "core/Config.h"
#include "core/IPluginAPIBase.h"
#include "core/IPluginProcessor.h"
#include "vst2/IdleThreadTimer.h"
#include "vst2/VstAbi.h"

namespace ondrell {

// What the VST2 entry point passes to the plug-in's constructor.
struct CreationArgs {
  vst::VstHostCallback hostCallback = nullptr;
};

// The VST 2.4 adapter: fills and owns the effect record, answers the dispatcher, runs the three processing
// functions and relays the core's requests to the host through the host callback.
//
// Idle ticks (queued values for the editor, latency reports): a VST2 host has no way to call a plug-in back on its
// main thread except effEditIdle, which hosts send only while the editor is open. So while a view is open the
// ticks come from effEditIdle (which pumps the main-thread timers), and while it is closed from the adapter's own
// idle thread every 20 ms. That thread runs a tick only when it can take the main-thread gate at once (a busy gate
// means the host is in the dispatcher; the tick is skipped, never waited for), so ticks never overlap main-thread
// dispatcher work; a latency change found by such a tick is told to the host (audioMasterIOChanged) after the tick
// has let go of the gate, so a host that answers by calling back into the dispatcher, even from another thread,
// cannot deadlock.
// Threads: dispatcher calls on the host's main thread (effProcessEvents on the audio thread), processing on the
// audio thread, setParameter/getParameter on either; idle ticks on the main thread from effEditIdle while the
// editor is open, otherwise on the adapter's own idle thread under the main-thread gate. Owns the effect record,
// the speaker arrangements, the chunk buffers and the idle thread.
class IPluginVST2 : public IPluginAPIBase, public IPluginProcessor {
 public:
  // Magic and format version at the start of every chunk handed to the host ("tffp" as bytes, then 1.0).
  static constexpr int32_t kChunkMagic = 0x70666674;
  static constexpr int32_t kChunkVersion = 0x00010000;
  // Request flags sent with audioMasterGetTime: ppq position, tempo, bars, cycle and time signature.
  static constexpr vst::VstIntPtr kTimeInfoRequest = 0x3E00;
  // The longest slice the processor's buffers (and the oversampler's) are sized for: effSetBlockSize announces
  // at most this, and longer host blocks are processed in slices, so the buffers never grow with the
  // announcement.
  static constexpr int kMaxBlockSize = 8192;

  IPluginVST2(const Config& config, const CreationArgs& args);
  ~IPluginVST2() override;

  vst::VstEffect* GetEffect() { return &mEffect; }
  const vst::VstEffect* GetEffect() const { return &mEffect; }

  // Core overrides.
  void OnHostSpecificSetup() override;
  bool RequestEditorResize(int width, int height) override;
  void BeginParamEdit(int paramIdx) override;
  void EndParamEdit(int paramIdx) override;
  void InformHostOfParamValue(int paramIdx, double normalised) override;
  bool SendMidiMsg(const MidiMsg& msg) override;
  bool SendSysEx(const SysExMsg& msg) override;
  // Tells the host at once: initialDelay, the processor's latency, then audioMasterIOChanged. On the idle thread
  // the host call is made after the tick, outside the main-thread gate.
  void SetLatency(int samples) override;

  // True in hosts that build their controls from effGetParameterProperties (Ardour and Mixbus): they name a
  // parameter after the properties' label field, and a stepped parameter's control covers its integer range and
  // hands setParameter values of that range. Such hosts get the parameter's name in the label field, float steps
  // in the normalised range, and see Int and Enum parameters in their own units (getParameter, setParameter,
  // audioMasterAutomate); every other value, and every value in other hosts, is normalised.
  bool HostBuildsControlsFromProperties() const { return mControlsFromProperties.load(); }

  // Hooks for queries the adapter's tables do not answer; both answer 0.
  virtual vst::VstIntPtr OnCanDo(const char* /*query*/) { return 0; }
  virtual vst::VstIntPtr OnVendorSpecific(int32_t /*index*/, vst::VstIntPtr /*value*/, void* /*ptr*/, float /*opt*/) {
    return 0;
  }

  // Idle ticks while the editor is closed come from the adapter's idle thread. The entry point starts it once the
  // plug-in object is complete (a thread must not see a half-built object); effClose stops it before the plug-in's
  // own members are destroyed.
  void StartIdleThread();
  void StopIdleThread();

 private:
  // Effect record functions.
  static vst::VstIntPtr DispatcherProc(vst::VstEffect* effect, int32_t opcode, int32_t index, vst::VstIntPtr value,
                                       void* ptr, float opt);
  static void ProcessAccumulatingProc(vst::VstEffect* effect, float** inputs, float** outputs, int32_t frames);
  static void ProcessReplacingProc(vst::VstEffect* effect, float** inputs, float** outputs, int32_t frames);
  static void ProcessDoubleReplacingProc(vst::VstEffect* effect, double** inputs, double** outputs, int32_t frames);
  static void SetParameterProc(vst::VstEffect* effect, int32_t index, float value);
  static float GetParameterProc(vst::VstEffect* effect, int32_t index);

  vst::VstIntPtr Dispatch(int32_t opcode, int32_t index, vst::VstIntPtr value, void* ptr, float opt);
  vst::VstIntPtr HostCall(int32_t opcode, int32_t index = 0, vst::VstIntPtr value = 0, void* ptr = nullptr,
                          float opt = 0.0f);

  void IdentifyHostAtOpen();
  vst::VstIntPtr GetChunk(bool isProgram, void** data);
  vst::VstIntPtr SetChunk(bool isProgram, const void* data, vst::VstIntPtr size);
  vst::VstIntPtr String2Parameter(int32_t index, char* text);
  vst::VstIntPtr ProcessEvents(const vst::VstEvents* events);
  vst::VstIntPtr PinProperties(RouteDirection direction, int32_t index, vst::VstPinProperties* props) const;
  vst::VstIntPtr SetSpeakerArrangement(const vst::VstSpeakerArrangement* inputs,
                                       const vst::VstSpeakerArrangement* outputs);
  vst::VstIntPtr ParameterProperties(int32_t index, vst::VstParameterProperties* props) const;
  vst::VstIntPtr KeyEvent(bool down, int32_t character, vst::VstIntPtr vstKey, float modifiers);
  vst::VstIntPtr CanDo(const char* query);
  vst::VstIntPtr VendorSpecific(int32_t index, vst::VstIntPtr value, void* ptr, float opt);
  void SetParameter(int32_t index, float value);
  float GetParameter(int32_t index) const;
  // Whether values of this parameter cross the interface in its own units rather than normalised.
  bool InOwnUnits(const IParam& param) const;

  // The three processing functions share this: block preparation, then the block in slices of at most the block
  // size, then the editor's SysEx.
  enum class ProcessKind { Accumulating32, Replacing32, Replacing64 };
  template <typename T>
  void ProcessHostBlock(T** inputs, T** outputs, int32_t frames, ProcessKind kind);
  template <typename T>
  std::vector<T*>& Slices(RouteDirection direction);
  void PrepareBlock();
  // effMainsChanged (on): a host that reports offline rendering now sets the offline flag, and a change resets.
  void TakeProcessLevelAtResume();
  void SendEditorSysEx();

  // Idle ticks: effEditIdle pumps the main-thread timers while the editor is open; the idle thread ticks this
  // plug-in while it is closed.
  void SwitchIdleDrive(bool editorOpen);
  void IdleThreadTick(Timer& timer);

  // Members, in this order: editor rectangle, speaker arrangements, chunks, effect record, host callback.
  vst::ERect mEditorRect{};
  vst::VstSpeakerArrangement mInputArrangement{};
  vst::VstSpeakerArrangement mOutputArrangement{};
  ByteChunk mProgramChunk;
  ByteChunk mBankChunk;
  vst::VstEffect mEffect{};
  const vst::VstHostCallback mHostCallback;

  // Per-slice channel pointers (sized once at construction: nothing is allocated per block).
  std::vector<float*> mSlice32[2];
  std::vector<double*> mSlice64[2];
  SysExBlock mSysExOut;  // audio-thread copy of a SysEx block from the editor

  // Serialises the main-thread dispatcher calls with the idle thread's ticks. Recursive: a host may call back
  // into the dispatcher from inside a host callback made during a dispatcher call.
  std::recursive_mutex mMainThreadGate;
  bool mEditorOpen = false;                    // a view is open; guarded by mMainThreadGate
  std::atomic<bool> mIOChangedPending{false};  // an idle-thread tick changed the latency; the host is told after it
  // Set at effOpen from the host's identity; read by the parameter functions on any thread.
  std::atomic<bool> mControlsFromProperties{false};
  std::unique_ptr<IdleThreadTimer> mIdleThreadTimer;
};

}  // namespace ondrell

#pragma once
// The CLAP adapter: maps the host's CLAP calls, events and extensions onto the plug-in core.
// Threads: main thread for lifecycle, extensions, state, editor and idle ticks; audio thread for process, reset,
// start/stop and (while active) flush. Between them only atomics and lock-free queues; the adapter owns its
// queues to the host and the channel pointer arrays.

#include "clap/ClapAbi.h"
#include "clap/ClapPluginBase.h"
#include "core/Config.h"
#include "core/IPluginAPIBase.h"
#include "core/IPluginProcessor.h"
#include "core/SpscQueue.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace ondrell {

// What the CLAP entry point passes to the plug-in constructor.
struct CreationArgs {
  const clap_plugin_descriptor_t* descriptor = nullptr;
  const clap_host_t* host = nullptr;
};

// A parameter edit from the editor on its way to the host (16 bytes).
struct ParamEventToHost {
  enum Kind : int32_t { EditBegin = 0, Value = 1, EditEnd = 2 };
  int32_t kind = Value;
  int32_t paramIdx = 0;
  double value = 0.0;  // Value only, in the parameter's CLAP value domain
};
static_assert(sizeof(ParamEventToHost) == 16);

class IPluginCLAP : public IPluginAPIBase, public IPluginProcessor, public ClapPluginBase {
 public:
  static constexpr int kParamEventsToHostSize = 512;
  static constexpr int kMessagesToHostSize = 512;
  static constexpr uint32_t kIdleTimerPeriodMs = 20;
  // The longest slice the processor's buffers are sized for. A host may announce up to 2^31 - 1 frames per call;
  // longer calls are processed in slices, so the buffers (and the oversampler's) never grow with the announcement.
  static constexpr uint32_t kMaxBlockSize = 8192;

  IPluginCLAP(const Config& config, const CreationArgs& args);
  ~IPluginCLAP() override;

  // Which configuration init selected (or select chose).
  int SelectedConfig() const { return mSelectedConfig; }

  // Processor and API-base overrides.
  bool SendMidiMsg(const MidiMsg& msg) override;
  bool SendSysEx(const SysExMsg& msg) override;
  void SetTailSize(int samples) override;
  void SetLatency(int samples) override;
  void BeginParamEdit(int paramIdx) override;
  void InformHostOfParamValue(int paramIdx, double normalised) override;
  void EndParamEdit(int paramIdx) override;
  bool RequestEditorResize(int width, int height) override;
  // Opens the editor inside the host's window: false without an editor, for a null window, or when no view opens.
  virtual bool AttachEditorToWindow(void* window);

 protected:
  // Lifecycle.
  bool PluginInit() override;
  bool PluginActivate(double sampleRate, uint32_t minFrames, uint32_t maxFrames) override;
  void PluginDeactivate() override;
  bool PluginStartProcessing() override { return true; }
  void PluginStopProcessing() override {}
  void PluginReset() override { OnReset(); }
  clap_process_status PluginProcess(const clap_process_t* process) override;
  void PluginOnMainThread() override;

  bool ImplementsState() const override { return true; }
  bool ImplementsRender() const override { return true; }
  bool ImplementsLatency() const override { return true; }
  bool ImplementsAudioPorts() const override;
  bool ImplementsAudioPortsConfig() const override { return NIOConfigs() > 0; }
  bool ImplementsParams() const override { return true; }
  bool ImplementsGui() const override { return HasEditor(); }
  bool ImplementsTail() const override { return true; }
  bool ImplementsTimerSupport() const override { return true; }
  bool ImplementsPosixFdSupport() const override { return HasEditor(); }

  bool StateSave(const clap_ostream_t* stream) override;
  bool StateLoad(const clap_istream_t* stream) override;
  bool RenderSetMode(clap_plugin_render_mode mode) override;
  uint32_t LatencyGet() override;
  uint32_t TailGet() override;
  uint32_t AudioPortsCount(bool isInput) override;
  bool AudioPortsInfo(uint32_t index, bool isInput, clap_audio_port_info_t* info) override;
  uint32_t AudioPortsConfigCount() override;
  bool AudioPortsConfigInfo(uint32_t index, clap_audio_ports_config_t* config) override;
  bool AudioPortsConfigSelect(clap_id configId) override;
  uint32_t ParamsCount() override;
  bool ParamsInfo(uint32_t index, clap_param_info_t* info) override;
  bool ParamsValue(clap_id id, double* value) override;
  bool ParamsValueToText(clap_id id, double value, char* out, uint32_t capacity) override;
  bool ParamsTextToValue(clap_id id, const char* text, double* value) override;
  void ParamsFlush(const clap_input_events_t* in, const clap_output_events_t* out) override;
  bool GuiIsApiSupported(const char* api, bool isFloating) override;
  bool GuiCreate(const char* api, bool isFloating) override;
  void GuiDestroy() override;
  bool GuiSetScale(double scale) override;
  bool GuiGetSize(uint32_t* width, uint32_t* height) override;
  bool GuiCanResize() override { return false; }
  bool GuiAdjustSize(uint32_t* width, uint32_t* height) override;
  bool GuiSetSize(uint32_t width, uint32_t height) override;
  bool GuiSetParent(const clap_window_t* window) override;
  bool GuiShow() override;
  bool GuiHide() override;
  void TimerSupportOnTimer(clap_id timerId) override;
  void PosixFdSupportOnFd(int fd, clap_posix_fd_flags_t flags) override;

 private:
  enum class MainThreadTask : uint32_t { RequestRestart = 1 };

  void SelectConfigForChannels(int nChannels, bool& matched);
  void ApplyPendingLatency();
  void HandleInputEvents(const clap_input_events_t* in);
  void HandleParamValueEvent(const clap_event_param_value_t& event);
  void WriteParamEventsToHost(const clap_output_events_t* out);
  void WriteMessagesToHost(const clap_output_events_t* out, uint32_t nFrames);
  void DiscardSentSysEx();
  void ScheduleFlushRequest();
  // Starts the idle driver unless it runs already. Main thread, once the host can know the plug-in's extensions.
  void StartIdleDriver();
  void StopIdleDriver();
  // Opens the view in window, applies the scale the host set and starts the display driver.
  bool OpenEditorView(void* window);
  void StartDisplayDriver();
  void StopDisplayDriver();
  static bool IsFiniteValue(double value);
  static const char* PortType(int nChannels);

  SpscQueue<ParamEventToHost, kParamEventsToHostSize> mParamEventsToHost;
  std::vector<SysExBlock> mSysExToHost;  // capacity fixed at construction: the audio thread never allocates
  // Entries at the front of mSysExToHost already pushed to the host. Their events point into them, and the host
  // may read those bytes until the call that pushed them is over, so they stay in place until the next one.
  size_t mSysExSent = 0;
  std::vector<MidiMsg> mMidiToHost;
  std::vector<float*> mChannelPtrs32;
  std::vector<double*> mChannelPtrs64;
  int mSelectedConfig = 0;
  int mQuietSamples = 0;
  bool mHostTailAware = false;
  std::atomic<bool> mTailChanged{false};
  std::atomic<bool> mLatencyPending{false};
  std::atomic<bool> mRestartRequested{false};
  std::atomic<int> mPendingLatency{0};
  void* mParentWindow = nullptr;
  bool mEditorOpen = false;
  // The scale the host set with set_scale (0 while it set none); a view opened later takes it over.
  float mHostScale = 0.f;

  // Work for the main thread that the audio thread raises without locking (bits of MainThreadTask).
  std::atomic<uint32_t> mMainThreadTasks{0};

  // The idle driver: the host's timer when it offers timer support, else a helper thread whose only job is to
  // ask the host for main-thread callbacks every 20 ms.
  clap_id mHostTimerId = CLAP_INVALID_ID;
  std::thread mCallbackRequester;
  std::mutex mRequesterLock;
  std::condition_variable mRequesterWake;
  bool mRequesterStop = false;
  // How often the helper asks: the idle period, or the display tick's while a view is open.
  std::atomic<uint32_t> mRequesterPeriodMs{kIdleTimerPeriodMs};

  // The display driver while a view is open: a host timer at the display tick's period, and the descriptor the
  // window's events arrive on, watched by the host when it offers descriptor support.
  clap_id mDisplayTimerId = CLAP_INVALID_ID;
  int mWatchedFd = -1;
};

}  // namespace ondrell

#pragma once
// Our CLAP plug-in base: the clap_plugin record with its ten entry points, the extension records the adapter
// serves (each entry point forwards to a virtual operation), the host proxy, the lifecycle flags and the queue of
// callbacks that must run on the host's main thread. It checks neither threads nor call order and ignores host
// misbehaviour, apart from the few messages it logs.
// Threads: lifecycle, extensions and the callback queue on the main thread (the queue also accepts pushes from any
// thread, under its mutex); StartProcessing/StopProcessing/Reset/Process on the audio thread. Owns the record.

#include "clap/ClapAbi.h"
#include "clap/ClapHostProxy.h"

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace ondrell {

class ClapPluginBase {
 public:
  ClapPluginBase(const clap_plugin_descriptor_t* descriptor, const clap_host_t* host);
  virtual ~ClapPluginBase();
  ClapPluginBase(const ClapPluginBase&) = delete;
  ClapPluginBase& operator=(const ClapPluginBase&) = delete;

  // The record the factory hands to the host; its plugin_data points back at this object.
  const clap_plugin_t* ClapPlugin() const { return &mPlugin; }

 protected:
  // Lifecycle, called by the entry points after (init, activate, start_processing) or before (the others) the
  // flags are updated.
  virtual bool PluginInit() { return true; }
  virtual bool PluginActivate(double /*sampleRate*/, uint32_t /*minFrames*/, uint32_t /*maxFrames*/) { return true; }
  virtual void PluginDeactivate() {}
  virtual bool PluginStartProcessing() { return true; }
  virtual void PluginStopProcessing() {}
  virtual void PluginReset() {}
  virtual clap_process_status PluginProcess(const clap_process_t* /*process*/) { return CLAP_PROCESS_SLEEP; }
  // Asked first by get_extension; an extension the plug-in class serves itself.
  virtual const void* PluginExtension(const char* /*id*/) { return nullptr; }
  // Runs after the queued main-thread callbacks in on_main_thread.
  virtual void PluginOnMainThread() {}

  // Which extensions get_extension offers.
  virtual bool ImplementsState() const { return false; }
  virtual bool ImplementsRender() const { return false; }
  virtual bool ImplementsLatency() const { return false; }
  virtual bool ImplementsAudioPorts() const { return false; }
  virtual bool ImplementsAudioPortsConfig() const { return false; }
  virtual bool ImplementsParams() const { return false; }
  virtual bool ImplementsGui() const { return false; }
  virtual bool ImplementsTail() const { return false; }
  virtual bool ImplementsTimerSupport() const { return false; }
  virtual bool ImplementsPosixFdSupport() const { return false; }

  virtual bool StateSave(const clap_ostream_t* /*stream*/) { return false; }
  virtual bool StateLoad(const clap_istream_t* /*stream*/) { return false; }
  virtual bool RenderHasHardRealtimeRequirement() { return false; }
  // Only called with CLAP_RENDER_REALTIME or CLAP_RENDER_OFFLINE.
  virtual bool RenderSetMode(clap_plugin_render_mode /*mode*/) { return false; }
  virtual uint32_t LatencyGet() { return 0; }
  virtual uint32_t TailGet() { return 0; }
  virtual uint32_t AudioPortsCount(bool /*isInput*/) { return 0; }
  virtual bool AudioPortsInfo(uint32_t /*index*/, bool /*isInput*/, clap_audio_port_info_t* /*info*/) { return false; }
  virtual uint32_t AudioPortsConfigCount() { return 0; }
  virtual bool AudioPortsConfigInfo(uint32_t /*index*/, clap_audio_ports_config_t* /*config*/) { return false; }
  virtual bool AudioPortsConfigSelect(clap_id /*configId*/) { return false; }
  virtual uint32_t ParamsCount() { return 0; }
  virtual bool ParamsInfo(uint32_t /*index*/, clap_param_info_t* /*info*/) { return false; }
  virtual bool ParamsValue(clap_id /*id*/, double* /*value*/) { return false; }
  virtual bool ParamsValueToText(clap_id /*id*/, double /*value*/, char* /*out*/, uint32_t /*capacity*/) { return false; }
  virtual bool ParamsTextToValue(clap_id /*id*/, const char* /*text*/, double* /*value*/) { return false; }
  virtual void ParamsFlush(const clap_input_events_t* /*in*/, const clap_output_events_t* /*out*/) {}
  virtual bool GuiIsApiSupported(const char* /*api*/, bool /*isFloating*/) { return false; }
  virtual bool GuiGetPreferredApi(const char** /*api*/, bool* /*isFloating*/) { return false; }
  virtual bool GuiCreate(const char* /*api*/, bool /*isFloating*/) { return false; }
  virtual void GuiDestroy() {}
  virtual bool GuiSetScale(double /*scale*/) { return false; }
  virtual bool GuiGetSize(uint32_t* /*width*/, uint32_t* /*height*/) { return false; }
  virtual bool GuiCanResize() { return false; }
  virtual bool GuiGetResizeHints(clap_gui_resize_hints_t* /*hints*/) { return false; }
  virtual bool GuiAdjustSize(uint32_t* /*width*/, uint32_t* /*height*/) { return false; }
  virtual bool GuiSetSize(uint32_t /*width*/, uint32_t /*height*/) { return false; }
  virtual bool GuiSetParent(const clap_window_t* /*window*/) { return false; }
  virtual bool GuiSetTransient(const clap_window_t* /*window*/) { return false; }
  virtual void GuiSuggestTitle(const char* /*title*/) {}
  virtual bool GuiShow() { return false; }
  virtual bool GuiHide() { return false; }
  virtual void TimerSupportOnTimer(clap_id /*timerId*/) {}
  virtual void PosixFdSupportOnFd(int /*fd*/, clap_posix_fd_flags_t /*flags*/) {}

  // Runs the callback at once when the host confirms this is its main thread; otherwise queues it and asks the
  // host for a main-thread callback. Callbacks are skipped once the plug-in is being destroyed.
  void RunOnMainThread(std::function<void()> callback);
  // Runs the queued callbacks in order, each outside the queue's lock.
  void RunQueuedCallbacks();

  ClapHostProxy& HostProxy() { return mHostProxy; }
  const ClapHostProxy& HostProxy() const { return mHostProxy; }

  bool IsInitialized() const { return mInitialized; }
  bool IsActive() const { return mActive.load(); }
  bool IsBeingActivated() const { return mBeingActivated; }
  bool IsProcessing() const { return mProcessing.load(); }
  bool IsBeingDestroyed() const { return mBeingDestroyed.load(); }
  double ActivationSampleRate() const { return mSampleRate; }
  bool IsEditorCreated() const { return mEditorCreated; }
  bool IsEditorFloating() const { return mEditorFloating; }
  bool IsEditorEmbedded() const { return mEditorEmbedded; }
  const std::string& EditorApi() const { return mEditorApi; }

 private:
  static ClapPluginBase& From(const clap_plugin_t* plugin);
  static const void* GetExtension(const clap_plugin_t* plugin, const char* id);

  static const clap_plugin_params_t kParams;
  static const clap_plugin_state_t kState;
  static const clap_plugin_render_t kRender;
  static const clap_plugin_latency_t kLatency;
  static const clap_plugin_audio_ports_t kAudioPorts;
  static const clap_plugin_audio_ports_config_t kAudioPortsConfig;
  static const clap_plugin_gui_t kGui;
  static const clap_plugin_tail_t kTail;
  static const clap_plugin_timer_support_t kTimerSupport;
  static const clap_plugin_posix_fd_support_t kPosixFdSupport;

  clap_plugin_t mPlugin{};
  ClapHostProxy mHostProxy;

  bool mInitialized = false;
  std::atomic<bool> mActive{false};
  bool mBeingActivated = false;
  std::atomic<bool> mProcessing{false};
  std::atomic<bool> mBeingDestroyed{false};
  double mSampleRate = 0.0;
  bool mEditorCreated = false;
  bool mEditorFloating = false;
  bool mEditorEmbedded = false;
  std::string mEditorApi;

  std::mutex mMainThreadQueueLock;
  std::deque<std::function<void()>> mMainThreadQueue;
};

}  // namespace ondrell

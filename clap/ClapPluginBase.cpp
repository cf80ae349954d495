#include "clap/ClapPluginBase.h"

#include <cstring>
#include <string>

namespace ondrell {

ClapPluginBase::ClapPluginBase(const clap_plugin_descriptor_t* descriptor, const clap_host_t* host)
    : mHostProxy(host) {
  mPlugin.desc = descriptor;
  mPlugin.plugin_data = this;
  mPlugin.init = [](const clap_plugin_t* p) -> bool {
    auto& self = From(p);
    self.mHostProxy.Init();
    self.mInitialized = true;
    return self.PluginInit();
  };
  mPlugin.destroy = [](const clap_plugin_t* p) {
    auto& self = From(p);
    self.mBeingDestroyed = true;
    if (self.mEditorCreated) {
      self.GuiDestroy();
      self.mEditorCreated = false;
    }
    if (self.mActive.load()) {
      self.PluginDeactivate();
      self.mActive = false;
    }
    self.RunQueuedCallbacks();
    delete &self;
  };
  mPlugin.activate = [](const clap_plugin_t* p, double sampleRate, uint32_t minFrames, uint32_t maxFrames) -> bool {
    auto& self = From(p);
    self.mBeingActivated = true;
    const bool ok = self.PluginActivate(sampleRate, minFrames, maxFrames);
    self.mBeingActivated = false;
    if (!ok) return false;
    self.mActive = true;
    self.mSampleRate = sampleRate;
    return true;
  };
  mPlugin.deactivate = [](const clap_plugin_t* p) {
    auto& self = From(p);
    self.PluginDeactivate();
    self.mActive = false;
    self.mSampleRate = 0.0;
  };
  mPlugin.start_processing = [](const clap_plugin_t* p) -> bool {
    auto& self = From(p);
    if (!self.PluginStartProcessing()) return false;
    self.mProcessing = true;
    return true;
  };
  mPlugin.stop_processing = [](const clap_plugin_t* p) {
    auto& self = From(p);
    self.PluginStopProcessing();
    self.mProcessing = false;
  };
  mPlugin.reset = [](const clap_plugin_t* p) { From(p).PluginReset(); };
  mPlugin.process = [](const clap_plugin_t* p, const clap_process_t* process) -> clap_process_status {
    return From(p).PluginProcess(process);
  };
  mPlugin.get_extension = &GetExtension;
  mPlugin.on_main_thread = [](const clap_plugin_t* p) {
    auto& self = From(p);
    self.RunQueuedCallbacks();
    self.PluginOnMainThread();
  };
}

ClapPluginBase::~ClapPluginBase() = default;

ClapPluginBase& ClapPluginBase::From(const clap_plugin_t* plugin) {
  return *static_cast<ClapPluginBase*>(plugin->plugin_data);
}

void ClapPluginBase::RunOnMainThread(std::function<void()> callback) {
  if (mHostProxy.CanUseThreadCheck() && mHostProxy.IsMainThread()) {
    if (!mBeingDestroyed.load()) callback();
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mMainThreadQueueLock);
    mMainThreadQueue.push_back(std::move(callback));
  }
  mHostProxy.RequestCallback();
}

void ClapPluginBase::RunQueuedCallbacks() {
  for (;;) {
    std::function<void()> callback;
    {
      std::lock_guard<std::mutex> lock(mMainThreadQueueLock);
      if (mMainThreadQueue.empty()) return;
      callback = std::move(mMainThreadQueue.front());
      mMainThreadQueue.pop_front();
    }
    if (!mBeingDestroyed.load()) callback();
  }
}

const void* ClapPluginBase::GetExtension(const clap_plugin_t* plugin, const char* id) {
  auto& self = From(plugin);
  if (!id) return nullptr;
  if (const void* own = self.PluginExtension(id)) return own;
  auto is = [id](const char* name) { return std::strcmp(id, name) == 0; };
  if (is(CLAP_EXT_STATE) && self.ImplementsState()) return &kState;
  if (is(CLAP_EXT_RENDER) && self.ImplementsRender()) return &kRender;
  if (is(CLAP_EXT_LATENCY) && self.ImplementsLatency()) return &kLatency;
  if (is(CLAP_EXT_AUDIO_PORTS) && self.ImplementsAudioPorts()) return &kAudioPorts;
  if (is(CLAP_EXT_AUDIO_PORTS_CONFIG) && self.ImplementsAudioPortsConfig()) return &kAudioPortsConfig;
  if (is(CLAP_EXT_PARAMS) && self.ImplementsParams()) return &kParams;
  if (is(CLAP_EXT_TIMER_SUPPORT) && self.ImplementsTimerSupport()) return &kTimerSupport;
  if (is(CLAP_EXT_POSIX_FD_SUPPORT) && self.ImplementsPosixFdSupport()) return &kPosixFdSupport;
  if (is(CLAP_EXT_GUI) && self.ImplementsGui()) return &kGui;
  if (is(CLAP_EXT_TAIL) && self.ImplementsTail()) return &kTail;
  return nullptr;
}

const clap_plugin_params_t ClapPluginBase::kParams = {
    [](const clap_plugin_t* p) { return From(p).ParamsCount(); },
    [](const clap_plugin_t* p, uint32_t index, clap_param_info_t* info) { return From(p).ParamsInfo(index, info); },
    [](const clap_plugin_t* p, clap_id id, double* value) { return From(p).ParamsValue(id, value); },
    [](const clap_plugin_t* p, clap_id id, double value, char* out, uint32_t capacity) {
      return From(p).ParamsValueToText(id, value, out, capacity);
    },
    [](const clap_plugin_t* p, clap_id id, const char* text, double* value) {
      return From(p).ParamsTextToValue(id, text, value);
    },
    [](const clap_plugin_t* p, const clap_input_events_t* in, const clap_output_events_t* out) {
      From(p).ParamsFlush(in, out);
    },
};

const clap_plugin_state_t ClapPluginBase::kState = {
    [](const clap_plugin_t* p, const clap_ostream_t* stream) { return From(p).StateSave(stream); },
    [](const clap_plugin_t* p, const clap_istream_t* stream) { return From(p).StateLoad(stream); },
};

const clap_plugin_render_t ClapPluginBase::kRender = {
    [](const clap_plugin_t* p) { return From(p).RenderHasHardRealtimeRequirement(); },
    [](const clap_plugin_t* p, clap_plugin_render_mode mode) {
      auto& self = From(p);
      if (mode != CLAP_RENDER_REALTIME && mode != CLAP_RENDER_OFFLINE) {
        const std::string message =
            "host called clap_plugin_render.set_mode with an unknown mode : " + std::to_string(mode);
        self.mHostProxy.HostMisbehaving(message.c_str());
        return false;
      }
      return self.RenderSetMode(mode);
    },
};

const clap_plugin_latency_t ClapPluginBase::kLatency = {
    [](const clap_plugin_t* p) { return From(p).LatencyGet(); },
};

const clap_plugin_tail_t ClapPluginBase::kTail = {
    [](const clap_plugin_t* p) { return From(p).TailGet(); },
};

const clap_plugin_audio_ports_t ClapPluginBase::kAudioPorts = {
    [](const clap_plugin_t* p, bool isInput) { return From(p).AudioPortsCount(isInput); },
    [](const clap_plugin_t* p, uint32_t index, bool isInput, clap_audio_port_info_t* info) {
      return From(p).AudioPortsInfo(index, isInput, info);
    },
};

const clap_plugin_audio_ports_config_t ClapPluginBase::kAudioPortsConfig = {
    [](const clap_plugin_t* p) { return From(p).AudioPortsConfigCount(); },
    [](const clap_plugin_t* p, uint32_t index, clap_audio_ports_config_t* config) {
      return From(p).AudioPortsConfigInfo(index, config);
    },
    [](const clap_plugin_t* p, clap_id id) { return From(p).AudioPortsConfigSelect(id); },
};

const clap_plugin_timer_support_t ClapPluginBase::kTimerSupport = {
    [](const clap_plugin_t* p, clap_id id) { From(p).TimerSupportOnTimer(id); },
};

const clap_plugin_posix_fd_support_t ClapPluginBase::kPosixFdSupport = {
    [](const clap_plugin_t* p, int fd, clap_posix_fd_flags_t flags) { From(p).PosixFdSupportOnFd(fd, flags); },
};

const clap_plugin_gui_t ClapPluginBase::kGui = {
    [](const clap_plugin_t* p, const char* api, bool isFloating) { return From(p).GuiIsApiSupported(api, isFloating); },
    [](const clap_plugin_t* p, const char** api, bool* isFloating) {
      return From(p).GuiGetPreferredApi(api, isFloating);
    },
    [](const clap_plugin_t* p, const char* api, bool isFloating) {
      auto& self = From(p);
      if (!self.GuiCreate(api, isFloating)) return false;
      self.mEditorCreated = true;
      self.mEditorFloating = isFloating;
      self.mEditorEmbedded = false;
      self.mEditorApi = api ? api : "";
      return true;
    },
    [](const clap_plugin_t* p) {
      auto& self = From(p);
      self.GuiDestroy();
      self.mEditorCreated = false;
      self.mEditorEmbedded = false;
    },
    [](const clap_plugin_t* p, double scale) { return From(p).GuiSetScale(scale); },
    [](const clap_plugin_t* p, uint32_t* width, uint32_t* height) { return From(p).GuiGetSize(width, height); },
    [](const clap_plugin_t* p) { return From(p).GuiCanResize(); },
    [](const clap_plugin_t* p, clap_gui_resize_hints_t* hints) { return From(p).GuiGetResizeHints(hints); },
    [](const clap_plugin_t* p, uint32_t* width, uint32_t* height) { return From(p).GuiAdjustSize(width, height); },
    [](const clap_plugin_t* p, uint32_t width, uint32_t height) { return From(p).GuiSetSize(width, height); },
    [](const clap_plugin_t* p, const clap_window_t* window) {
      auto& self = From(p);
      if (!self.GuiSetParent(window)) return false;
      self.mEditorEmbedded = true;
      return true;
    },
    [](const clap_plugin_t* p, const clap_window_t* window) { return From(p).GuiSetTransient(window); },
    [](const clap_plugin_t* p, const char* title) { From(p).GuiSuggestTitle(title); },
    [](const clap_plugin_t* p) { return From(p).GuiShow(); },
    [](const clap_plugin_t* p) { return From(p).GuiHide(); },
};

}  // namespace ondrell

#include "tools/host/ClapHost.h"
#include "tools/host/VstHost.h"

#include "clap/ClapAbi.h"

#include "tools/host/DynamicLibrary.h"
#include "tools/host/MainLoopWaiter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace ondrell::host {
namespace {

using Clock = std::chrono::steady_clock;

// One loaded .clap file: the library handle and its initialised entry. Shared by every plug-in made from it, so
// deinit and the unloading happen only after the last instance is destroyed.
class ClapModule {
 public:
  ~ClapModule() {
    if (mEntry && mInitialised) mEntry->deinit();
  }

  bool Open(const std::string& path, std::string& error) {
    std::string why;
    if (!mLibrary.Open(path, why)) {
      error = std::string("cannot load ") + path + ": " + why;
      return false;
    }
    mEntry = static_cast<const clap_plugin_entry_t*>(mLibrary.Symbol("clap_entry"));
    if (!mEntry) {
      error = path + " does not export clap_entry";
      return false;
    }
    if (!clap_version_is_compatible(mEntry->clap_version)) {
      error = path + " uses an incompatible CLAP version";
      return false;
    }
    if (!mEntry->init || !mEntry->init(path.c_str())) {
      error = "clap_entry.init failed for " + path;
      return false;
    }
    mInitialised = true;
    mFactory = static_cast<const clap_plugin_factory_t*>(mEntry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (!mFactory) {
      error = path + " has no plug-in factory";
      return false;
    }
    return true;
  }

  const clap_plugin_factory_t* Factory() const { return mFactory; }

 private:
  DynamicLibrary mLibrary;
  const clap_plugin_entry_t* mEntry = nullptr;
  const clap_plugin_factory_t* mFactory = nullptr;
  bool mInitialised = false;
};

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

// A plug-in instance and the host it sees. Main thread: everything except StartProcessing, Process and
// StopProcessing, which run on the audio thread; the request flags are atomics shared by both.
class ClapHostedPlugin final : public HostedPlugin {
 public:
  ClapHostedPlugin(std::shared_ptr<ClapModule> module, uint32_t trackChannels)
      : mModule(std::move(module)), mTrackChannels(trackChannels), mMainThread(std::this_thread::get_id()) {
    mHost.clap_version = CLAP_VERSION;
    mHost.host_data = this;
    mHost.name = "quorl-host";
    mHost.vendor = "Ondrell Audio";
    mHost.url = "https://ondrell-audio.com";
    mHost.version = "4.1.0";
    mHost.get_extension = &HostGetExtension;
    mHost.request_restart = &HostRequestRestart;
    mHost.request_process = &HostRequestProcess;
    mHost.request_callback = &HostRequestCallback;
  }

  ~ClapHostedPlugin() override {
    if (mPlugin) {
      if (mActive) Deactivate();
      mPlugin->destroy(mPlugin);
    }
  }

  bool Create(const std::string& id, std::string& error) {
    mPlugin = mModule->Factory()->create_plugin(mModule->Factory(), &mHost, id.c_str());
    if (!mPlugin) {
      error = "the factory refused to create " + id;
      return false;
    }
    if (!mPlugin->init(mPlugin)) {
      error = "init failed for " + id;
      mPlugin->destroy(mPlugin);
      mPlugin = nullptr;
      return false;
    }
    mParams = static_cast<const clap_plugin_params_t*>(mPlugin->get_extension(mPlugin, CLAP_EXT_PARAMS));
    mState = static_cast<const clap_plugin_state_t*>(mPlugin->get_extension(mPlugin, CLAP_EXT_STATE));
    mLatency = static_cast<const clap_plugin_latency_t*>(mPlugin->get_extension(mPlugin, CLAP_EXT_LATENCY));
    mTail = static_cast<const clap_plugin_tail_t*>(mPlugin->get_extension(mPlugin, CLAP_EXT_TAIL));
    mRender = static_cast<const clap_plugin_render_t*>(mPlugin->get_extension(mPlugin, CLAP_EXT_RENDER));
    mPorts = static_cast<const clap_plugin_audio_ports_t*>(mPlugin->get_extension(mPlugin, CLAP_EXT_AUDIO_PORTS));
    mPortsConfig = static_cast<const clap_plugin_audio_ports_config_t*>(
        mPlugin->get_extension(mPlugin, CLAP_EXT_AUDIO_PORTS_CONFIG));
    mTimerExt = static_cast<const clap_plugin_timer_support_t*>(
        mPlugin->get_extension(mPlugin, CLAP_EXT_TIMER_SUPPORT));
    mFdExt = static_cast<const clap_plugin_posix_fd_support_t*>(
        mPlugin->get_extension(mPlugin, CLAP_EXT_POSIX_FD_SUPPORT));
    SelectConfigForTrack();
    return true;
  }

  std::string Name() const override { return Text(mPlugin->desc ? mPlugin->desc->name : nullptr); }
  std::string Id() const override { return Text(mPlugin->desc ? mPlugin->desc->id : nullptr); }

  std::vector<ParamInfo> Params() override {
    std::vector<ParamInfo> list;
    if (!mParams) return list;
    const uint32_t n = mParams->count(mPlugin);
    for (uint32_t i = 0; i < n; ++i) {
      clap_param_info_t info{};
      if (!mParams->get_info(mPlugin, i, &info)) continue;
      ParamInfo p;
      p.id = info.id;
      p.name.assign(info.name, strnlen(info.name, sizeof info.name));
      p.module.assign(info.module, strnlen(info.module, sizeof info.module));
      p.minValue = info.min_value;
      p.maxValue = info.max_value;
      p.defaultValue = info.default_value;
      p.stepped = (info.flags & CLAP_PARAM_IS_STEPPED) != 0;
      p.automatable = (info.flags & CLAP_PARAM_IS_AUTOMATABLE) != 0;
      p.hidden = (info.flags & CLAP_PARAM_IS_HIDDEN) != 0;
      p.readOnly = (info.flags & CLAP_PARAM_IS_READONLY) != 0;
      // A stepped CLAP parameter takes the whole numbers of its range.
      if (p.stepped && std::isfinite(p.minValue) && std::isfinite(p.maxValue) && p.maxValue >= p.minValue &&
          p.maxValue - p.minValue < kMaxListedEntries)
        for (double v = std::ceil(p.minValue); v <= p.maxValue; v += 1.0) p.entryValues.push_back(v);
      list.push_back(std::move(p));
    }
    return list;
  }

  bool GetValue(uint32_t id, double& value) override { return mParams && mParams->get_value(mPlugin, id, &value); }

  bool ValueToText(uint32_t id, double value, std::string& text) override {
    if (!mParams) return false;
    char buffer[CLAP_NAME_SIZE] = {};
    if (!mParams->value_to_text(mPlugin, id, value, buffer, sizeof buffer)) return false;
    text.assign(buffer, strnlen(buffer, sizeof buffer));
    return true;
  }

  bool TextToValue(uint32_t id, const std::string& text, double& value) override {
    return mParams && mParams->text_to_value(mPlugin, id, text.c_str(), &value);
  }

  void QueueParamValue(uint32_t id, double value) override {
    clap_event_param_value_t ev{};
    ev.header.size = sizeof ev;
    ev.header.time = 0;
    ev.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    ev.header.type = CLAP_EVENT_PARAM_VALUE;
    ev.header.flags = 0;
    ev.param_id = id;
    ev.cookie = nullptr;
    ev.note_id = -1;
    ev.port_index = -1;
    ev.channel = -1;
    ev.key = -1;
    ev.value = value;
    std::lock_guard<std::mutex> lock(mPendingLock);
    mPending.push_back(ev);
  }

  void FlushParams() override {
    if (!mParams || mProcessing.load()) return;
    std::vector<clap_event_param_value_t> events;
    {
      std::lock_guard<std::mutex> lock(mPendingLock);
      events.swap(mPending);
    }
    EventList in(events);
    OutputCollector out(*this);
    mParams->flush(mPlugin, &in.list, &out.list);
  }

  PortLayout Ports() override {
    PortLayout layout;
    if (!mPorts) return layout;
    clap_audio_port_info_t info{};
    if (mPorts->count(mPlugin, true) > 0 && mPorts->get(mPlugin, 0, true, &info)) {
      layout.inputChannels = info.channel_count;
      layout.supports64 = (info.flags & CLAP_AUDIO_PORT_SUPPORTS_64BITS) != 0;
    }
    if (mPorts->count(mPlugin, false) > 0 && mPorts->get(mPlugin, 0, false, &info)) {
      layout.outputChannels = info.channel_count;
      layout.supports64 = (layout.inputChannels == 0 || layout.supports64) &&
                          (info.flags & CLAP_AUDIO_PORT_SUPPORTS_64BITS) != 0;
    }
    return layout;
  }

  bool SetOffline(bool offline) override {
    if (!mRender) return !offline;
    return mRender->set(mPlugin, offline ? CLAP_RENDER_OFFLINE : CLAP_RENDER_REALTIME);
  }

  bool Activate(double sampleRate, uint32_t maxFrames) override {
    if (mActive) return true;
    PreparePortBuffers(maxFrames);
    mActivating = true;
    const bool ok = mPlugin->activate(mPlugin, sampleRate, 1, maxFrames);
    mActivating = false;
    mActive = ok;
    return ok;
  }

  void Deactivate() override {
    if (!mActive) return;
    mPlugin->deactivate(mPlugin);
    mActive = false;
  }

  bool IsActive() const override { return mActive; }

  uint32_t Latency() override { return mLatency ? mLatency->get(mPlugin) : 0; }
  uint32_t Tail() override { return mTail ? mTail->get(mPlugin) : 0; }

  bool StartProcessing() override {
    mAudioThread.store(std::this_thread::get_id());
    const bool ok = mPlugin->start_processing(mPlugin);
    mProcessing.store(ok);
    return ok;
  }

  void StopProcessing() override {
    if (mProcessing.load()) mPlugin->stop_processing(mPlugin);
    mProcessing.store(false);
    mAudioThread.store(std::thread::id());
  }

  int Process(const AudioBlock& block) override {
    if (!mActive || !mProcessing.load()) return -1;
    if (block.frames > mMaxFrames) return -1;
    const bool wide = block.in64 || block.out64;
    FillPortPointers(block, wide);

    // Values queued from the main thread are taken without waiting: if the lock is busy they go next block.
    mBlockEvents.clear();
    if (mPendingLock.try_lock()) {
      mBlockEvents.swap(mPending);
      mPendingLock.unlock();
    }
    EventList in(mBlockEvents);
    OutputCollector out(*this);

    clap_process_t proc{};
    proc.steady_time = mSteadyTime;
    proc.frames_count = block.frames;
    proc.transport = nullptr;
    proc.audio_inputs = mInputs.empty() ? nullptr : mInputs.data();
    proc.audio_outputs = mOutputs.empty() ? nullptr : mOutputs.data();
    proc.audio_inputs_count = static_cast<uint32_t>(mInputs.size());
    proc.audio_outputs_count = static_cast<uint32_t>(mOutputs.size());
    proc.in_events = &in.list;
    proc.out_events = &out.list;
    const int status = mPlugin->process(mPlugin, &proc);
    mSteadyTime += block.frames;
    return status;
  }

  bool SaveState(std::vector<uint8_t>& bytes) override {
    if (!mState) return false;
    bytes.clear();
    clap_ostream_t stream{&bytes, [](const clap_ostream_t* s, const void* buffer, uint64_t size) -> int64_t {
                            auto* out = static_cast<std::vector<uint8_t>*>(s->ctx);
                            const auto* p = static_cast<const uint8_t*>(buffer);
                            out->insert(out->end(), p, p + size);
                            return static_cast<int64_t>(size);
                          }};
    return mState->save(mPlugin, &stream);
  }

  bool LoadState(const std::vector<uint8_t>& bytes) override {
    if (!mState) return false;
    struct Reader {
      const std::vector<uint8_t>* data;
      size_t pos;
    } reader{&bytes, 0};
    clap_istream_t stream{&reader, [](const clap_istream_t* s, void* buffer, uint64_t size) -> int64_t {
                            auto* r = static_cast<Reader*>(s->ctx);
                            const size_t n = std::min<uint64_t>(size, r->data->size() - r->pos);
                            if (n) std::memcpy(buffer, r->data->data() + r->pos, n);
                            r->pos += n;
                            return static_cast<int64_t>(n);
                          }};
    return mState->load(mPlugin, &stream);
  }

  void PumpMainThread(int timeoutMs) override {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
    for (;;) {
      ServiceRequests();
      const auto now = Clock::now();
      FireDueTimers(now);
      if (now >= deadline) return;
      auto wakeAt = deadline;
      for (const auto& t : mTimers) wakeAt = std::min(wakeAt, t.due);
      const int waitMs = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(wakeAt - now).count());
      WaitForWork(std::max(0, waitMs));
      if (Clock::now() >= deadline) {
        ServiceRequests();
        FireDueTimers(Clock::now());
        return;
      }
    }
  }

  bool TakeRestartRequest() override { return mRestartPending.exchange(false); }

  HostRequests Requests() const override {
    HostRequests r;
    r.restartRequests = mCount.restartRequests.load();
    r.callbackRequests = mCount.callbackRequests.load();
    r.flushRequests = mCount.flushRequests.load();
    r.latencyChanged = mCount.latencyChanged.load();
    r.latencyChangedOutsideActivate = mCount.latencyChangedOutsideActivate.load();
    r.tailChanged = mCount.tailChanged.load();
    r.rescans = mCount.rescans.load();
    r.timerTicks = mCount.timerTicks.load();
    r.paramValuesFromPlugin = mCount.paramValuesFromPlugin.load();
    r.gesturesFromPlugin = mCount.gesturesFromPlugin.load();
    return r;
  }

 private:
  struct EventList {
    explicit EventList(const std::vector<clap_event_param_value_t>& events) : events(events) {
      list.ctx = this;
      list.size = [](const clap_input_events_t* l) -> uint32_t {
        return static_cast<uint32_t>(static_cast<const EventList*>(l->ctx)->events.size());
      };
      list.get = [](const clap_input_events_t* l, uint32_t i) -> const clap_event_header_t* {
        const auto& ev = static_cast<const EventList*>(l->ctx)->events;
        return i < ev.size() ? &ev[i].header : nullptr;
      };
    }
    const std::vector<clap_event_param_value_t>& events;
    clap_input_events_t list{};
  };

  // Output events: the host only counts them; a value event is what a user edit looks like to a DAW.
  struct OutputCollector {
    explicit OutputCollector(ClapHostedPlugin& owner) : owner(owner) {
      list.ctx = this;
      list.try_push = [](const clap_output_events_t* l, const clap_event_header_t* ev) -> bool {
        auto* self = static_cast<OutputCollector*>(l->ctx);
        if (!ev || ev->size < sizeof(clap_event_header_t)) return false;
        if (ev->space_id == CLAP_CORE_EVENT_SPACE_ID) {
          if (ev->type == CLAP_EVENT_PARAM_VALUE) ++self->owner.mCount.paramValuesFromPlugin;
          if (ev->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || ev->type == CLAP_EVENT_PARAM_GESTURE_END)
            ++self->owner.mCount.gesturesFromPlugin;
        }
        return true;
      };
    }
    ClapHostedPlugin& owner;
    clap_output_events_t list{};
  };

  struct Timer {
    clap_id id;
    uint32_t periodMs;
    Clock::time_point due;
  };

  struct WatchedFd {
    int fd;
    clap_posix_fd_flags_t flags;
  };

  static ClapHostedPlugin* Self(const clap_host_t* host) { return static_cast<ClapHostedPlugin*>(host->host_data); }
  bool OnMainThread() const { return std::this_thread::get_id() == mMainThread; }

  void Wake() { mWaiter.Wake(); }

  // Asks the plug-in's own configurations for the track's channel count, as a DAW would on insertion.
  void SelectConfigForTrack() {
    if (!mPortsConfig || mTrackChannels == 0) return;
    const PortLayout now = Ports();
    if (now.inputChannels == mTrackChannels || (now.inputChannels == 0 && now.outputChannels == mTrackChannels))
      return;
    const uint32_t n = mPortsConfig->count(mPlugin);
    for (uint32_t i = 0; i < n; ++i) {
      clap_audio_ports_config_t cfg{};
      if (!mPortsConfig->get(mPlugin, i, &cfg)) continue;
      const bool inputFits = !cfg.has_main_input || cfg.main_input_channel_count == mTrackChannels;
      if (inputFits && cfg.has_main_output && cfg.main_output_channel_count == mTrackChannels) {
        mPortsConfig->select(mPlugin, cfg.id);
        return;
      }
    }
  }

  void PreparePortBuffers(uint32_t maxFrames) {
    mMaxFrames = maxFrames;
    auto build = [&](bool isInput, std::vector<clap_audio_buffer_t>& buffers, std::vector<uint32_t>& counts) {
      buffers.clear();
      counts.clear();
      const uint32_t n = mPorts ? mPorts->count(mPlugin, isInput) : 0;
      for (uint32_t i = 0; i < n; ++i) {
        clap_audio_port_info_t info{};
        counts.push_back(mPorts->get(mPlugin, i, isInput, &info) ? info.channel_count : 0);
        buffers.push_back(clap_audio_buffer_t{});
      }
    };
    build(true, mInputs, mInputCounts);
    build(false, mOutputs, mOutputCounts);
    uint32_t totalChannels = 0;
    for (uint32_t c : mInputCounts) totalChannels += c;
    for (uint32_t c : mOutputCounts) totalChannels += c;
    mScratch32.assign(size_t(totalChannels) * maxFrames, 0.0f);
    mScratch64.assign(size_t(totalChannels) * maxFrames, 0.0);
    mPtrs32.assign(totalChannels, nullptr);
    mPtrs64.assign(totalChannels, nullptr);
  }

  // Main ports get the caller's channels; every other port (and any channel the caller lacks) gets scratch.
  void FillPortPointers(const AudioBlock& block, bool wide) {
    size_t slot = 0;
    auto fill = [&](bool isInput, std::vector<clap_audio_buffer_t>& buffers, const std::vector<uint32_t>& counts,
                    uint32_t mainChannels) {
      for (size_t port = 0; port < buffers.size(); ++port) {
        const size_t first = slot;
        for (uint32_t c = 0; c < counts[port]; ++c, ++slot) {
          float* s32 = mScratch32.data() + slot * mMaxFrames;
          double* s64 = mScratch64.data() + slot * mMaxFrames;
          const bool fromCaller = port == 0 && c < mainChannels;
          if (isInput) {
            if (fromCaller) {
              mPtrs32[slot] = wide ? nullptr : const_cast<float*>(block.in32[c]);
              mPtrs64[slot] = wide ? const_cast<double*>(block.in64[c]) : nullptr;
            } else {
              std::fill(s32, s32 + block.frames, 0.0f);
              std::fill(s64, s64 + block.frames, 0.0);
              mPtrs32[slot] = s32;
              mPtrs64[slot] = s64;
            }
          } else {
            mPtrs32[slot] = fromCaller && !wide ? block.out32[c] : s32;
            mPtrs64[slot] = fromCaller && wide ? block.out64[c] : s64;
          }
        }
        clap_audio_buffer_t& b = buffers[port];
        b.channel_count = counts[port];
        b.latency = 0;
        b.constant_mask = 0;
        b.data32 = wide ? nullptr : mPtrs32.data() + first;
        b.data64 = wide ? mPtrs64.data() + first : nullptr;
      }
    };
    const uint32_t inMain = block.in32 || block.in64 ? (mInputCounts.empty() ? 0 : mInputCounts[0]) : 0;
    const uint32_t outMain = block.out32 || block.out64 ? (mOutputCounts.empty() ? 0 : mOutputCounts[0]) : 0;
    fill(true, mInputs, mInputCounts, inMain);
    fill(false, mOutputs, mOutputCounts, outMain);
  }

  void ServiceRequests() {
    if (mCallbackPending.exchange(false)) mPlugin->on_main_thread(mPlugin);
    if (mFlushPending.exchange(false)) {
      // While processing the next process call carries the output events; otherwise flush now.
      if (!mProcessing.load()) FlushParams();
    }
  }

  void FireDueTimers(Clock::time_point now) {
    if (!mTimerExt) return;
    for (size_t i = 0; i < mTimers.size(); ++i) {
      if (mTimers[i].due > now) continue;
      const clap_id id = mTimers[i].id;
      mTimers[i].due = now + std::chrono::milliseconds(mTimers[i].periodMs);
      ++mCount.timerTicks;
      // The plug-in may unregister timers from inside on_timer: index again afterwards.
      mTimerExt->on_timer(mPlugin, id);
    }
  }

  void WaitForWork(int timeoutMs) {
    std::vector<MainLoopWaiter::Watch> watches;
    for (const auto& w : mFds)
      watches.push_back({w.fd, (w.flags & CLAP_POSIX_FD_READ) != 0, (w.flags & CLAP_POSIX_FD_WRITE) != 0});
    const std::vector<MainLoopWaiter::Ready> ready = mWaiter.Wait(timeoutMs, watches);
    if (!mFdExt) return;
    for (const MainLoopWaiter::Ready& r : ready) {
      clap_posix_fd_flags_t flags = 0;
      if (r.read) flags |= CLAP_POSIX_FD_READ;
      if (r.write) flags |= CLAP_POSIX_FD_WRITE;
      if (r.error) flags |= CLAP_POSIX_FD_ERROR;
      mFdExt->on_fd(mPlugin, r.fd, flags);
    }
  }

  // ---- The host record and its extensions ----

  static const void* HostGetExtension(const clap_host_t*, const char* id) {
    if (!id) return nullptr;
    if (!std::strcmp(id, CLAP_EXT_LOG)) return &kLog;
    if (!std::strcmp(id, CLAP_EXT_THREAD_CHECK)) return &kThreadCheck;
    if (!std::strcmp(id, CLAP_EXT_PARAMS)) return &kParams;
    if (!std::strcmp(id, CLAP_EXT_LATENCY)) return &kLatency;
    if (!std::strcmp(id, CLAP_EXT_TAIL)) return &kTail;
    if (!std::strcmp(id, CLAP_EXT_TRACK_INFO)) return &kTrackInfo;
    if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT)) return &kTimerSupport;
    if (!std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT)) return MainLoopWaiter::kWatchesDescriptors ? &kFdSupport : nullptr;
    return nullptr;
  }

  static void HostRequestRestart(const clap_host_t* host) {
    auto* self = Self(host);
    ++self->mCount.restartRequests;
    self->mRestartPending = true;
    self->Wake();
  }

  static void HostRequestProcess(const clap_host_t*) {}

  static void HostRequestCallback(const clap_host_t* host) {
    auto* self = Self(host);
    ++self->mCount.callbackRequests;
    self->mCallbackPending = true;
    self->Wake();
  }

  static void Log(const clap_host_t*, clap_log_severity severity, const char* msg) {
    static const char* const names[] = {"debug", "info", "warning", "error", "fatal", "host misbehaving",
                                        "plug-in misbehaving"};
    const char* name = severity >= 0 && severity <= 6 ? names[severity] : "log";
    std::fprintf(stderr, "quorl-host: plug-in %s: %s\n", name, msg ? msg : "");
  }

  static bool IsMainThread(const clap_host_t* host) { return Self(host)->OnMainThread(); }
  static bool IsAudioThread(const clap_host_t* host) {
    return Self(host)->mAudioThread.load() == std::this_thread::get_id();
  }

  static void Rescan(const clap_host_t* host, clap_param_rescan_flags) { ++Self(host)->mCount.rescans; }
  static void Clear(const clap_host_t*, clap_id, clap_param_clear_flags) {}
  static void RequestFlush(const clap_host_t* host) {
    auto* self = Self(host);
    ++self->mCount.flushRequests;
    self->mFlushPending = true;
    self->Wake();
  }

  static void LatencyChanged(const clap_host_t* host) {
    auto* self = Self(host);
    ++self->mCount.latencyChanged;
    if (!self->mActivating) {
      ++self->mCount.latencyChangedOutsideActivate;
      std::fprintf(stderr, "quorl-host: the plug-in reported a latency change outside activate\n");
    }
  }

  static void TailChanged(const clap_host_t* host) { ++Self(host)->mCount.tailChanged; }

  static bool TrackInfo(const clap_host_t* host, clap_track_info_t* info) {
    auto* self = Self(host);
    if (!info || self->mTrackChannels == 0) return false;
    *info = clap_track_info_t{};
    info->flags = CLAP_TRACK_INFO_HAS_TRACK_NAME | CLAP_TRACK_INFO_HAS_AUDIO_CHANNEL;
    std::snprintf(info->name, sizeof info->name, "%s", "quorl-host");
    info->audio_channel_count = static_cast<int32_t>(self->mTrackChannels);
    info->audio_port_type = self->mTrackChannels == 1   ? CLAP_PORT_MONO
                            : self->mTrackChannels == 2 ? CLAP_PORT_STEREO
                                                        : nullptr;
    return true;
  }

  static bool RegisterTimer(const clap_host_t* host, uint32_t periodMs, clap_id* timerId) {
    auto* self = Self(host);
    if (!timerId || !self->OnMainThread()) return false;
    const clap_id id = self->mNextTimerId++;
    self->mTimers.push_back(Timer{id, std::max<uint32_t>(periodMs, 1),
                                  Clock::now() + std::chrono::milliseconds(std::max<uint32_t>(periodMs, 1))});
    *timerId = id;
    return true;
  }

  static bool UnregisterTimer(const clap_host_t* host, clap_id timerId) {
    auto* self = Self(host);
    if (!self->OnMainThread()) return false;
    auto& t = self->mTimers;
    const auto it = std::find_if(t.begin(), t.end(), [&](const Timer& x) { return x.id == timerId; });
    if (it == t.end()) return false;
    t.erase(it);
    return true;
  }

  static bool RegisterFd(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags) {
    auto* self = Self(host);
    if (!self->OnMainThread() || fd < 0) return false;
    for (const auto& w : self->mFds)
      if (w.fd == fd) return false;
    self->mFds.push_back(WatchedFd{fd, flags});
    return true;
  }

  static bool ModifyFd(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags) {
    for (auto& w : Self(host)->mFds)
      if (w.fd == fd) {
        w.flags = flags;
        return true;
      }
    return false;
  }

  static bool UnregisterFd(const clap_host_t* host, int fd) {
    auto& fds = Self(host)->mFds;
    const auto it = std::find_if(fds.begin(), fds.end(), [&](const WatchedFd& w) { return w.fd == fd; });
    if (it == fds.end()) return false;
    fds.erase(it);
    return true;
  }

  static const clap_host_log_t kLog;
  static const clap_host_thread_check_t kThreadCheck;
  static const clap_host_params_t kParams;
  static const clap_host_latency_t kLatency;
  static const clap_host_tail_t kTail;
  static const clap_host_track_info_t kTrackInfo;
  static const clap_host_timer_support_t kTimerSupport;
  static const clap_host_posix_fd_support_t kFdSupport;

  std::shared_ptr<ClapModule> mModule;
  uint32_t mTrackChannels;
  std::thread::id mMainThread;
  std::atomic<std::thread::id> mAudioThread{};
  clap_host_t mHost{};
  const clap_plugin_t* mPlugin = nullptr;

  const clap_plugin_params_t* mParams = nullptr;
  const clap_plugin_state_t* mState = nullptr;
  const clap_plugin_latency_t* mLatency = nullptr;
  const clap_plugin_tail_t* mTail = nullptr;
  const clap_plugin_render_t* mRender = nullptr;
  const clap_plugin_audio_ports_t* mPorts = nullptr;
  const clap_plugin_audio_ports_config_t* mPortsConfig = nullptr;
  const clap_plugin_timer_support_t* mTimerExt = nullptr;
  const clap_plugin_posix_fd_support_t* mFdExt = nullptr;

  bool mActive = false;
  std::atomic<bool> mActivating{false};
  std::atomic<bool> mProcessing{false};
  uint32_t mMaxFrames = 0;
  int64_t mSteadyTime = 0;

  std::vector<clap_audio_buffer_t> mInputs, mOutputs;
  std::vector<uint32_t> mInputCounts, mOutputCounts;
  std::vector<float> mScratch32;
  std::vector<double> mScratch64;
  std::vector<float*> mPtrs32;
  std::vector<double*> mPtrs64;

  std::mutex mPendingLock;
  std::vector<clap_event_param_value_t> mPending;
  std::vector<clap_event_param_value_t> mBlockEvents;

  std::vector<Timer> mTimers;
  clap_id mNextTimerId = 1;
  std::vector<WatchedFd> mFds;
  MainLoopWaiter mWaiter;

  std::atomic<bool> mRestartPending{false};
  std::atomic<bool> mCallbackPending{false};
  std::atomic<bool> mFlushPending{false};
  // Counted on whichever thread the plug-in calls from, read by the main thread.
  struct Counters {
    std::atomic<uint32_t> restartRequests{0}, callbackRequests{0}, flushRequests{0}, latencyChanged{0},
        latencyChangedOutsideActivate{0}, tailChanged{0}, rescans{0}, timerTicks{0}, paramValuesFromPlugin{0},
        gesturesFromPlugin{0};
  } mCount;
};

const clap_host_log_t ClapHostedPlugin::kLog = {&ClapHostedPlugin::Log};
const clap_host_thread_check_t ClapHostedPlugin::kThreadCheck = {&ClapHostedPlugin::IsMainThread,
                                                                 &ClapHostedPlugin::IsAudioThread};
const clap_host_params_t ClapHostedPlugin::kParams = {&ClapHostedPlugin::Rescan, &ClapHostedPlugin::Clear,
                                                      &ClapHostedPlugin::RequestFlush};
const clap_host_latency_t ClapHostedPlugin::kLatency = {&ClapHostedPlugin::LatencyChanged};
const clap_host_tail_t ClapHostedPlugin::kTail = {&ClapHostedPlugin::TailChanged};
const clap_host_track_info_t ClapHostedPlugin::kTrackInfo = {&ClapHostedPlugin::TrackInfo};
const clap_host_timer_support_t ClapHostedPlugin::kTimerSupport = {&ClapHostedPlugin::RegisterTimer,
                                                                   &ClapHostedPlugin::UnregisterTimer};
const clap_host_posix_fd_support_t ClapHostedPlugin::kFdSupport = {
    &ClapHostedPlugin::RegisterFd, &ClapHostedPlugin::ModifyFd, &ClapHostedPlugin::UnregisterFd};

class ClapLibrary final : public PluginLibrary {
 public:
  explicit ClapLibrary(std::shared_ptr<ClapModule> module) : mModule(std::move(module)) {}

  std::vector<PluginEntry> Plugins() const override {
    std::vector<PluginEntry> list;
    const auto* f = mModule->Factory();
    const uint32_t n = f->get_plugin_count(f);
    for (uint32_t i = 0; i < n; ++i) {
      const clap_plugin_descriptor_t* d = f->get_plugin_descriptor(f, i);
      if (!d || !d->id) continue;
      PluginEntry e{Text(d->id), Text(d->name), Text(d->vendor), Text(d->version), Text(d->description), {}};
      for (const char* const* feature = d->features; feature && *feature; ++feature) e.features.push_back(*feature);
      list.push_back(std::move(e));
    }
    return list;
  }

  std::unique_ptr<HostedPlugin> Create(const std::string& id, uint32_t trackChannels,
                                       std::string& error) override {
    auto plugin = std::make_unique<ClapHostedPlugin>(mModule, trackChannels);
    if (!plugin->Create(id, error)) return nullptr;
    return plugin;
  }

 private:
  std::shared_ptr<ClapModule> mModule;
};

}  // namespace

std::unique_ptr<PluginLibrary> OpenClapLibrary(const std::string& path, std::string& error) {
  auto module = std::make_shared<ClapModule>();
  if (!module->Open(path, error)) return nullptr;
  return std::make_unique<ClapLibrary>(std::move(module));
}

std::unique_ptr<PluginLibrary> OpenPluginLibrary(const std::string& path, std::string& error) {
  const auto dot = path.rfind('.');
  const std::string suffix = dot == std::string::npos ? std::string() : path.substr(dot);
  if (suffix == ".clap") return OpenClapLibrary(path, error);
  if (suffix == ".so" || suffix == ".dll") return OpenVstLibrary(path, error);
  error = "unknown plug-in format: " + path + " (expected a .clap or a VST2 .so or .dll file)";
  return nullptr;
}

}  // namespace ondrell::host

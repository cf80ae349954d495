#include "tests/clap/ClapTestHost.h"

#include "tools/host/DynamicLibrary.h"

#if !defined(_WIN32)
#include <poll.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace ondrell::test {

const char* ClapPath() { return QUORL_CLAP_PATH; }

const clap_plugin_entry_t& ClapEntry() {
  static const clap_plugin_entry_t* entry = [] {
    host::DynamicLibrary library;
    std::string error;
    if (!library.Open(QUORL_CLAP_PATH, error)) {
      std::fprintf(stderr, "cannot load %s: %s\n", QUORL_CLAP_PATH, error.c_str());
      std::abort();
    }
    auto* e = static_cast<const clap_plugin_entry_t*>(library.Symbol("clap_entry"));
    if (!e) std::abort();
    library.Keep();  // the entry's state is process-wide: loaded for the whole test process
    return e;
  }();
  return *entry;
}

TestHost::TestHost(HostOptions options) : mOptions(options) {
  mHost.clap_version = options.clapVersion;
  mHost.host_data = this;
  mHost.name = options.name;
  mHost.vendor = "Ondrell Audio tests";
  mHost.url = "";
  mHost.version = options.version;
  mHost.get_extension = &GetExtension;
  mHost.request_restart = [](const clap_host_t* h) { ++Self(h).restartRequests; };
  mHost.request_process = [](const clap_host_t*) {};
  mHost.request_callback = [](const clap_host_t* h) { ++Self(h).callbackRequests; };
}

const void* TestHost::GetExtension(const clap_host_t* h, const char* id) {
  TestHost& self = Self(h);
  const HostOptions& o = self.mOptions;
  static const clap_host_log_t log = {[](const clap_host_t* host, clap_log_severity, const char* msg) {
    Self(host).logs.emplace_back(msg ? msg : "");
  }};
  static const clap_host_thread_check_t threadCheck = {
      [](const clap_host_t* host) { return !Self(host).inAudio; },
      [](const clap_host_t* host) { return Self(host).inAudio; }};
  static const clap_host_params_t params = {
      [](const clap_host_t* host, clap_param_rescan_flags flags) { Self(host).rescans.push_back(flags); },
      [](const clap_host_t*, clap_id, clap_param_clear_flags) {},
      [](const clap_host_t* host) { ++Self(host).flushRequests; }};
  static const clap_host_latency_t latency = {[](const clap_host_t* host) {
    TestHost& t = Self(host);
    ++t.latencyChanged;
    if (t.activating) ++t.latencyChangedDuringActivate;
  }};
  static const clap_host_tail_t tail = {[](const clap_host_t* host) { ++Self(host).tailChanged; }};
  static const clap_host_timer_support_t timers = {
      [](const clap_host_t* host, uint32_t period, clap_id* id) {
        TestHost& t = Self(host);
        if (!t.knowsTimerSupport) {
          t.misuse.emplace_back("register_timer before the host looked up clap.timer-support");
          *id = CLAP_INVALID_ID;
          return false;
        }
        *id = t.nextTimerId++;
        t.timers.push_back(*id);
        t.timerPeriods[*id] = period;
        return true;
      },
      [](const clap_host_t* host, clap_id id) {
        TestHost& t = Self(host);
        auto& list = t.timers;
        const auto it = std::find(list.begin(), list.end(), id);
        if (it == list.end()) return false;
        list.erase(it);
        t.timerPeriods.erase(id);
        return true;
      }};
  static const clap_host_posix_fd_support_t posixFds = {
      [](const clap_host_t* host, int fd, clap_posix_fd_flags_t flags) {
        TestHost& t = Self(host);
        if (!t.knowsPosixFdSupport) {
          t.misuse.emplace_back("register_fd before the host looked up clap.posix-fd-support");
          return false;
        }
        return t.fds.emplace(fd, flags).second;
      },
      [](const clap_host_t* host, int fd, clap_posix_fd_flags_t flags) {
        auto& fds = Self(host).fds;
        const auto it = fds.find(fd);
        if (it == fds.end()) return false;
        it->second = flags;
        return true;
      },
      [](const clap_host_t* host, int fd) { return Self(host).fds.erase(fd) == 1; }};
  static const clap_host_gui_t gui = {
      [](const clap_host_t*) {},
      [](const clap_host_t* host, uint32_t w, uint32_t h) {
        Self(host).resizes.emplace_back(w, h);
        return ++Self(host).resizeRequests > 0;
      },
      [](const clap_host_t*) { return false; }, [](const clap_host_t*) { return false; },
      [](const clap_host_t*, bool) {}};
  static const clap_host_track_info_t trackInfo = {[](const clap_host_t* host, clap_track_info_t* info) {
    *info = clap_track_info_t{};
    info->flags = CLAP_TRACK_INFO_HAS_AUDIO_CHANNEL;
    info->audio_channel_count = Self(host).mOptions.trackChannels;
    return true;
  }};
  if (!id) return nullptr;
  const std::string e = id;
  if (e == CLAP_EXT_LOG && o.log) return &log;
  if (e == CLAP_EXT_THREAD_CHECK && o.threadCheck) return &threadCheck;
  if (e == CLAP_EXT_PARAMS && o.params) return &params;
  if (e == CLAP_EXT_LATENCY && o.latency) return &latency;
  if (e == CLAP_EXT_TAIL && o.tail) return &tail;
  if (e == CLAP_EXT_TIMER_SUPPORT && o.timerSupport) return &timers;
  if (e == CLAP_EXT_POSIX_FD_SUPPORT && o.posixFdSupport) return &posixFds;
  if (e == CLAP_EXT_GUI && o.gui) return &gui;
  if (e == CLAP_EXT_TRACK_INFO && o.trackChannels >= 0) return &trackInfo;
  return nullptr;
}

EventList::EventList() {
  mList.ctx = this;
  mList.size = [](const clap_input_events_t* l) {
    return static_cast<uint32_t>(static_cast<const EventList*>(l->ctx)->mEvents.size());
  };
  mList.get = [](const clap_input_events_t* l, uint32_t i) -> const clap_event_header_t* {
    const auto& events = static_cast<const EventList*>(l->ctx)->mEvents;
    return i < events.size() ? reinterpret_cast<const clap_event_header_t*>(events[i].get()) : nullptr;
  };
}

void EventList::AddParam(clap_id id, double value, uint32_t time) {
  clap_event_param_value_t ev{};
  ev.header = {sizeof ev, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
  ev.param_id = id;
  ev.note_id = -1;
  ev.port_index = -1;
  ev.channel = -1;
  ev.key = -1;
  ev.value = value;
  Add(ev);
}

OutputEvents::OutputEvents() {
  mList.ctx = this;
  mList.try_push = [](const clap_output_events_t* l, const clap_event_header_t* h) {
    auto* self = static_cast<OutputEvents*>(l->ctx);
    OutEvent e;
    e.type = h->type;
    e.size = h->size;
    e.time = h->time;
    switch (h->type) {
      case CLAP_EVENT_PARAM_VALUE: {
        const auto* v = reinterpret_cast<const clap_event_param_value_t*>(h);
        e.paramId = v->param_id;
        e.value = v->value;
        e.channel = v->channel;
        e.key = v->key;
        break;
      }
      case CLAP_EVENT_PARAM_GESTURE_BEGIN:
      case CLAP_EVENT_PARAM_GESTURE_END:
        e.paramId = reinterpret_cast<const clap_event_param_gesture_t*>(h)->param_id;
        break;
      case CLAP_EVENT_NOTE_ON:
      case CLAP_EVENT_NOTE_OFF: {
        const auto* n = reinterpret_cast<const clap_event_note_t*>(h);
        e.channel = n->channel;
        e.key = n->key;
        e.value = n->velocity;
        break;
      }
      case CLAP_EVENT_MIDI: {
        const auto* m = reinterpret_cast<const clap_event_midi_t*>(h);
        e.bytes.assign(m->data, m->data + 3);
        break;
      }
      case CLAP_EVENT_MIDI_SYSEX: {
        const auto* s = reinterpret_cast<const clap_event_midi_sysex_t*>(h);
        e.bytes.assign(s->buffer, s->buffer + s->size);
        break;
      }
      default:
        break;
    }
    self->events.push_back(std::move(e));
    return true;
  };
}

Instance::Instance(TestHost& host, bool callInit) : mHost(host) {
  const auto* factory = static_cast<const clap_plugin_factory_t*>(ClapEntry().get_factory(CLAP_PLUGIN_FACTORY_ID));
  if (!factory) return;
  const clap_plugin_descriptor_t* desc = factory->get_plugin_descriptor(factory, 0);
  if (!desc) return;
  mPlugin = factory->create_plugin(factory, host.Host(), desc->id);
  if (mPlugin && callInit && !mPlugin->init(mPlugin)) {
    mPlugin->destroy(mPlugin);
    mPlugin = nullptr;
  }
  if (mPlugin && callInit && host.Options().lookUpExtensionsAfterInit) {
    Ext<clap_plugin_timer_support_t>(CLAP_EXT_TIMER_SUPPORT);
    Ext<clap_plugin_posix_fd_support_t>(CLAP_EXT_POSIX_FD_SUPPORT);
  }
}

Instance::~Instance() {
  if (!mPlugin) return;
  mPlugin->destroy(mPlugin);
}

bool Instance::Activate(double rate, uint32_t maxFrames) {
  mHost.activating = true;
  const bool ok = mPlugin->activate(mPlugin, rate, 1, maxFrames);
  mHost.activating = false;
  if (ok) {
    mHost.inAudio = true;
    mPlugin->start_processing(mPlugin);
    mHost.inAudio = false;
  }
  mActive = ok;
  return ok;
}

void Instance::Deactivate() {
  if (!mActive) return;
  mHost.inAudio = true;
  mPlugin->stop_processing(mPlugin);
  mHost.inAudio = false;
  mPlugin->deactivate(mPlugin);
  mActive = false;
}

clap_process_status Instance::Process(float* const* in, float* const* out, uint32_t channels, uint32_t frames,
                                      const clap_input_events_t* events, const clap_output_events_t* outEvents,
                                      const clap_event_transport_t* transport) {
  static const EventList empty;
  clap_audio_buffer_t inBuf{const_cast<float**>(in), nullptr, channels, 0, 0};
  clap_audio_buffer_t outBuf{const_cast<float**>(out), nullptr, channels, 0, 0};
  OutputEvents sink;
  clap_process_t p{};
  p.frames_count = frames;
  p.transport = transport;
  p.audio_inputs = in ? &inBuf : nullptr;
  p.audio_inputs_count = in ? 1 : 0;
  p.audio_outputs = &outBuf;
  p.audio_outputs_count = 1;
  p.in_events = events ? events : empty.List();
  p.out_events = outEvents ? outEvents : sink.List();
  mHost.inAudio = true;
  const clap_process_status status = mPlugin->process(mPlugin, &p);
  mHost.inAudio = false;
  return status;
}

clap_process_status Instance::Process64(double* const* in, double* const* out, uint32_t channels, uint32_t frames,
                                        const clap_input_events_t* events,
                                        const clap_output_events_t* outEvents) {
  static const EventList empty;
  clap_audio_buffer_t inBuf{nullptr, const_cast<double**>(in), channels, 0, 0};
  clap_audio_buffer_t outBuf{nullptr, const_cast<double**>(out), channels, 0, 0};
  OutputEvents sink;
  clap_process_t p{};
  p.frames_count = frames;
  p.audio_inputs = &inBuf;
  p.audio_inputs_count = 1;
  p.audio_outputs = &outBuf;
  p.audio_outputs_count = 1;
  p.in_events = events ? events : empty.List();
  p.out_events = outEvents ? outEvents : sink.List();
  mHost.inAudio = true;
  const clap_process_status status = mPlugin->process(mPlugin, &p);
  mHost.inAudio = false;
  return status;
}

void Instance::Tick() {
  const auto* timer = Ext<clap_plugin_timer_support_t>(CLAP_EXT_TIMER_SUPPORT);
  if (timer && !mHost.timers.empty()) {
    for (clap_id id : std::vector<clap_id>(mHost.timers)) timer->on_timer(mPlugin, id);
  } else {
    mPlugin->on_main_thread(mPlugin);
  }
}

#if !defined(_WIN32)
void Instance::DeliverReadyFds() {
  const auto* fdSupport = Ext<clap_plugin_posix_fd_support_t>(CLAP_EXT_POSIX_FD_SUPPORT);
  if (!fdSupport) return;
  // A copy: the plug-in may stop watching a descriptor while it is told about it.
  const std::map<int, clap_posix_fd_flags_t> fds = mHost.fds;
  for (const auto& [fd, flags] : fds) {
    pollfd p{fd, POLLIN, 0};
    if ((flags & CLAP_POSIX_FD_READ) && poll(&p, 1, 0) > 0) fdSupport->on_fd(mPlugin, fd, CLAP_POSIX_FD_READ);
  }
}
#endif

double Instance::Value(clap_id id) const {
  double v = -12345.0;
  Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS)->get_value(mPlugin, id, &v);
  return v;
}

std::string Instance::Text(clap_id id, double value, uint32_t capacity) const {
  std::vector<char> buffer(std::max<uint32_t>(capacity, 1), '\x7f');
  if (!Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS)->value_to_text(mPlugin, id, value, buffer.data(), capacity))
    return "<refused>";
  return std::string(buffer.data());
}

bool Instance::SaveState(std::vector<uint8_t>& bytes) const {
  bytes.clear();
  clap_ostream_t stream{&bytes, [](const clap_ostream_t* s, const void* data, uint64_t size) -> int64_t {
                          auto* out = static_cast<std::vector<uint8_t>*>(s->ctx);
                          const auto* p = static_cast<const uint8_t*>(data);
                          // Take at most 7 bytes per call, so the plug-in's write loop is exercised.
                          const uint64_t n = std::min<uint64_t>(size, 7);
                          out->insert(out->end(), p, p + n);
                          return static_cast<int64_t>(n);
                        }};
  return Ext<clap_plugin_state_t>(CLAP_EXT_STATE)->save(mPlugin, &stream);
}

bool Instance::LoadState(const std::vector<uint8_t>& bytes, size_t readStep) const {
  struct Reader {
    const std::vector<uint8_t>* data;
    size_t pos, step;
  } reader{&bytes, 0, readStep};
  clap_istream_t stream{&reader, [](const clap_istream_t* s, void* buffer, uint64_t size) -> int64_t {
                          auto* r = static_cast<Reader*>(s->ctx);
                          const size_t n = std::min<size_t>({size, r->step, r->data->size() - r->pos});
                          if (n) std::memcpy(buffer, r->data->data() + r->pos, n);
                          r->pos += n;
                          return static_cast<int64_t>(n);
                        }};
  return Ext<clap_plugin_state_t>(CLAP_EXT_STATE)->load(mPlugin, &stream);
}

}  // namespace ondrell::test

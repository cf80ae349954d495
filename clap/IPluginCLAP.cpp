#include "clap/IPluginCLAP.h"

#include "core/ByteChunk.h"
#include "core/IParam.h"
#include "core/Timer.h"
#include "graphics/IGContext.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace ondrell {
namespace {

constexpr int kInfiniteTail = INT_MAX;
constexpr int kStateReadStep = 256;

template <size_t N>
void CopyText(char (&field)[N], const std::string& text) {
  const size_t n = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

// Channel counts of a configuration side joined by ".", or "0" without buses; a wildcard bus shows as "*".
std::string SideName(const ChannelIOConfig& config, RouteDirection direction) {
  if (config.NBuses(direction) == 0) return "0";
  std::string name;
  for (const BusSpec& bus : config.Buses(direction)) {
    if (!name.empty()) name += '.';
    name += bus.nChannels == kWildcardChannels ? std::string("*") : std::to_string(bus.nChannels);
  }
  return name;
}

}  // namespace

IPluginCLAP::IPluginCLAP(const Config& config, const CreationArgs& args)
    : IPluginAPIBase(config, PluginApi::CLAP),
      IPluginProcessor(config),
      ClapPluginBase(args.descriptor, args.host) {
  mSysExToHost.reserve(kMessagesToHostSize);
  mMidiToHost.reserve(kMessagesToHostSize);
  const size_t slots =
      static_cast<size_t>(std::max(NChannels(RouteDirection::Input), NChannels(RouteDirection::Output)));
  mChannelPtrs32.assign(slots, nullptr);
  mChannelPtrs64.assign(slots, nullptr);

  int version = 0;
  const clap_host_t* host = args.host;
  if (host && host->version && host->version[0]) {
    // Nine characters per number always fit an int; the packing wraps instead of overflowing for large ones.
    int major = 0, minor = 0, patch = 0;
    if (std::sscanf(host->version, "%9d.%9d.%9d", &major, &minor, &patch) >= 1)
      version = static_cast<int>(static_cast<uint32_t>(major) * 65536u + static_cast<uint32_t>(minor) * 256u +
                                 static_cast<uint32_t>(patch));
  }
  SetHost(host && host->name ? host->name : "", version);
  StartIdleTimer();
}

IPluginCLAP::~IPluginCLAP() {
  StopDisplayDriver();
  StopIdleDriver();
  StopIdleTimer();
}

// ---- Lifecycle ------------------------------------------------------------------------------------------------

bool IPluginCLAP::PluginInit() {
  mSelectedConfig = 0;
  bool matched = false;
  clap_track_info_t track{};
  if (HostProxy().CanUseTrackInfo() && HostProxy().TrackInfoGet(&track)) {
    SelectConfigForChannels(track.audio_channel_count, matched);
    if (!matched && track.audio_channel_count != 2) SelectConfigForChannels(2, matched);
  } else {
    SelectConfigForChannels(2, matched);
  }
  // A host looks up the plug-in's extensions only after init returns, so registering a timer now would reach a
  // host that cannot know where to deliver it. The idle driver starts at the first main-thread callback, at
  // activation or when the editor is created, whichever comes first.
  HostProxy().RequestCallback();
  return true;
}

void IPluginCLAP::SelectConfigForChannels(int nChannels, bool& matched) {
  matched = false;
  for (int i = 0; i < NIOConfigs(); ++i) {
    const ChannelIOConfig& config = *GetIOConfig(i);
    if (config.NBuses(RouteDirection::Output) < 1 || config.NChannelsOnBus(RouteDirection::Output, 0) != nChannels)
      continue;
    const bool inputMatches = config.NBuses(RouteDirection::Input) > 0 &&
                              config.NChannelsOnBus(RouteDirection::Input, 0) == nChannels;
    const bool instrumentWithoutInput =
        GetPluginKind() == 1 &&
        (config.NBuses(RouteDirection::Input) == 0 || config.NChannelsOnBus(RouteDirection::Input, 0) == 0);
    if (inputMatches || instrumentWithoutInput) {
      // Several matches cannot happen with this plug-in's configurations; the first one wins.
      mSelectedConfig = i;
      matched = true;
      return;
    }
  }
}

bool IPluginCLAP::PluginActivate(double sampleRate, uint32_t /*minFrames*/, uint32_t maxFrames) {
  if (maxFrames == 0 || maxFrames > static_cast<uint32_t>(INT_MAX) || !(sampleRate > 0.0) ||
      !std::isfinite(sampleRate))
    return false;
  try {
    SetBlockSize(static_cast<int>(std::min(maxFrames, kMaxBlockSize)));
  } catch (const std::bad_alloc&) {
    return false;
  }
  SetSampleRate(sampleRate);
  StartIdleDriver();
  OnActivate(true);
  OnParamsReset(ParamChangeSource::Reset);
  OnReset();
  mHostTailAware = HostProxy().CanUseTail();
  mQuietSamples = 0;
  ApplyPendingLatency();
  return true;
}

void IPluginCLAP::PluginDeactivate() { OnActivate(false); }

void IPluginCLAP::PluginOnMainThread() {
  if (IsInitialized() && !IsBeingDestroyed()) StartIdleDriver();
  const uint32_t tasks = mMainThreadTasks.exchange(0);
  if ((tasks & static_cast<uint32_t>(MainThreadTask::RequestRestart)) && !IsBeingDestroyed())
    HostProxy().RequestRestart();
  if (mHostTimerId == CLAP_INVALID_ID) Timer::PumpMainThreadTimers();
}

// ---- Idle driver ------------------------------------------------------------------------------------------------

void IPluginCLAP::StartIdleDriver() {
  if (mHostTimerId != CLAP_INVALID_ID || mCallbackRequester.joinable()) return;
  clap_id id = CLAP_INVALID_ID;
  if (HostProxy().CanUseTimerSupport() && HostProxy().TimerSupportRegister(kIdleTimerPeriodMs, &id) &&
      id != CLAP_INVALID_ID) {
    mHostTimerId = id;
    return;
  }
  mRequesterStop = false;
  mCallbackRequester = std::thread([this] {
    std::unique_lock<std::mutex> lock(mRequesterLock);
    while (!mRequesterWake.wait_for(lock, std::chrono::milliseconds(mRequesterPeriodMs.load()),
                                    [this] { return mRequesterStop; })) {
      lock.unlock();
      HostProxy().RequestCallback();
      lock.lock();
    }
  });
}

void IPluginCLAP::StopIdleDriver() {
  if (mHostTimerId != CLAP_INVALID_ID) {
    HostProxy().TimerSupportUnregister(mHostTimerId);
    mHostTimerId = CLAP_INVALID_ID;
  }
  if (mCallbackRequester.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mRequesterLock);
      mRequesterStop = true;
    }
    mRequesterWake.notify_all();
    mCallbackRequester.join();
  }
}

void IPluginCLAP::TimerSupportOnTimer(clap_id timerId) {
  if (timerId != CLAP_INVALID_ID && (timerId == mHostTimerId || timerId == mDisplayTimerId))
    Timer::PumpMainThreadTimers();
}

// ---- Display driver ---------------------------------------------------------------------------------------------

void IPluginCLAP::StartDisplayDriver() {
  StopDisplayDriver();
  graphics::IGContext* ui = GetUI();
  if (!ui || !ui->GetWindow()) return;
  // The display tick is one of the main-thread timers; this makes the host pump them at its rate.
  const int period = graphics::IGContext::DisplayTickPeriodMs(ui->FPS());
  clap_id id = CLAP_INVALID_ID;
  if (HostProxy().CanUseTimerSupport() && HostProxy().TimerSupportRegister(static_cast<uint32_t>(period), &id) &&
      id != CLAP_INVALID_ID)
    mDisplayTimerId = id;
  else
    mRequesterPeriodMs = static_cast<uint32_t>(period);
  // Window events are then handled as they arrive instead of at the next tick.
  const int fd = ui->GetPlatformEventFd();
  if (fd >= 0 && HostProxy().CanUsePosixFdSupport() &&
      HostProxy().PosixFdSupportRegister(fd, CLAP_POSIX_FD_READ | CLAP_POSIX_FD_ERROR))
    mWatchedFd = fd;
}

void IPluginCLAP::StopDisplayDriver() {
  // Before the view closes: its descriptor must not be watched once it is closed (and its number reused).
  if (mWatchedFd >= 0) {
    HostProxy().PosixFdSupportUnregister(mWatchedFd);
    mWatchedFd = -1;
  }
  if (mDisplayTimerId != CLAP_INVALID_ID) {
    HostProxy().TimerSupportUnregister(mDisplayTimerId);
    mDisplayTimerId = CLAP_INVALID_ID;
  }
  mRequesterPeriodMs = kIdleTimerPeriodMs;
}

void IPluginCLAP::PosixFdSupportOnFd(int fd, clap_posix_fd_flags_t /*flags*/) {
  if (fd < 0 || fd != mWatchedFd) return;
  graphics::IGContext* ui = GetUI();
  if (ui) ui->ProcessPlatformEvents();
  // A broken connection would stay readable for ever; the host stops watching it. (The host may also have closed
  // the view meanwhile, which stopped the watch already.)
  ui = GetUI();
  if (mWatchedFd >= 0 && (!ui || ui->GetPlatformEventFd() != mWatchedFd)) {
    HostProxy().PosixFdSupportUnregister(mWatchedFd);
    mWatchedFd = -1;
  }
}

// ---- Processing -------------------------------------------------------------------------------------------------

bool IPluginCLAP::IsFiniteValue(double value) { return std::isfinite(value); }

const char* IPluginCLAP::PortType(int nChannels) {
  return nChannels == 1 ? CLAP_PORT_MONO : nChannels == 2 ? CLAP_PORT_STEREO : nullptr;
}

clap_process_status IPluginCLAP::PluginProcess(const clap_process_t* process) {
  if (!process) return CLAP_PROCESS_ERROR;
  if (process->audio_inputs_count > 0 && !process->audio_inputs) return CLAP_PROCESS_ERROR;
  if (process->audio_outputs_count > 0 && !process->audio_outputs) return CLAP_PROCESS_ERROR;
  const uint32_t frames = process->frames_count;
  const int blockSize = GetBlockSize();
  // Without an activation there are no conversion buffers to work in.
  if (frames > 0 && blockSize <= 0) return CLAP_PROCESS_ERROR;

  const clap_audio_buffer_t* inputs = process->audio_inputs;
  const clap_audio_buffer_t* outputs = process->audio_outputs;
  const uint32_t nInBuffers = process->audio_inputs_count, nOutBuffers = process->audio_outputs_count;

  bool wide = false;
  bool inputWithChannels = false;
  for (uint32_t b = 0; b < nInBuffers; ++b) inputWithChannels = inputWithChannels || inputs[b].channel_count > 0;
  if (inputWithChannels)
    wide = inputs[0].data64 != nullptr;
  else if (nOutBuffers > 0)
    wide = outputs[0].data64 != nullptr;

  // A buffer that announces channels must carry them in the block's sample format.
  auto buffersUsable = [wide](const clap_audio_buffer_t* list, uint32_t count) {
    for (uint32_t b = 0; b < count; ++b) {
      const clap_audio_buffer_t& buffer = list[b];
      if (buffer.channel_count == 0) continue;
      if (wide ? !buffer.data64 : !buffer.data32) return false;
      for (uint32_t c = 0; c < buffer.channel_count; ++c)
        if (wide ? !buffer.data64[c] : !buffer.data32[c]) return false;
    }
    return true;
  };
  if (!buffersUsable(inputs, nInBuffers) || !buffersUsable(outputs, nOutBuffers)) return CLAP_PROCESS_ERROR;

  if (const clap_event_transport_t* t = process->transport) {
    TransportInfo info;
    const double factor = static_cast<double>(CLAP_BEATTIME_FACTOR);
    if (t->flags & CLAP_TRANSPORT_HAS_TEMPO) info.tempo = t->tempo;
    if (t->flags & CLAP_TRANSPORT_HAS_SECONDS_TIMELINE)
      info.samplePos = static_cast<double>(t->song_pos_seconds) * GetSampleRate() / factor;
    if (t->flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE) {
      info.ppqPos = static_cast<double>(t->song_pos_beats) / factor;
      info.lastBarPos = static_cast<double>(t->bar_start) / factor;
      info.loopStart = static_cast<double>(t->loop_start_beats) / factor;
      info.loopEnd = static_cast<double>(t->loop_end_beats) / factor;
    }
    if (t->flags & CLAP_TRANSPORT_HAS_TIME_SIGNATURE) {
      info.numerator = t->tsig_num;
      info.denominator = t->tsig_denom;
    }
    info.running = (t->flags & CLAP_TRANSPORT_IS_PLAYING) != 0;
    info.loopEnabled = (t->flags & CLAP_TRANSPORT_IS_LOOP_ACTIVE) != 0;
    SetTransportInfo(info);
  }

  HandleInputEvents(process->in_events);

  MidiMsg midi;
  while (mMidiFromEditor.Pop(midi)) ProcessMidiMsg(midi);
  SysExBlock sysEx;
  while (mSysExFromEditor.Pop(sysEx)) SendSysEx(sysEx.AsMsg());

  uint64_t suppliedIn = 0, suppliedOut = 0;
  for (uint32_t b = 0; b < nInBuffers; ++b) suppliedIn += inputs[b].channel_count;
  for (uint32_t b = 0; b < nOutBuffers; ++b) suppliedOut += outputs[b].channel_count;
  const int nIn = static_cast<int>(std::min<uint64_t>(suppliedIn, INT_MAX));
  const int nOut = static_cast<int>(std::min<uint64_t>(suppliedOut, INT_MAX));

  const int tail = GetTailSize();
  const bool checkSilence = !mHostTailAware && tail != 0 && tail != kInfiniteTail;
  bool inputsSilent = true;

  SetChannelsConnected(RouteDirection::Input, 0, NChannels(RouteDirection::Input), false);
  SetChannelsConnected(RouteDirection::Input, 0, nIn, true);
  SetChannelsConnected(RouteDirection::Output, 0, NChannels(RouteDirection::Output), false);
  SetChannelsConnected(RouteDirection::Output, 0, nOut, true);

  // Collects the channel pointers of a buffer list, advanced to the slice, into the pointer array; channels
  // beyond the processor's slots are not taken.
  const int arraySize = static_cast<int>(mChannelPtrs64.size());
  auto gather = [&](const clap_audio_buffer_t* list, uint32_t count, uint32_t offset) {
    int k = 0;
    for (uint32_t b = 0; b < count && k < arraySize; ++b)
      for (uint32_t c = 0; c < list[b].channel_count && k < arraySize; ++c, ++k) {
        if (wide)
          mChannelPtrs64[static_cast<size_t>(k)] = list[b].data64[c] + offset;
        else
          mChannelPtrs32[static_cast<size_t>(k)] = list[b].data32[c] + offset;
      }
    return k;
  };

  // A host may send more frames than it announced at activation: they are processed in slices of at most the
  // block size, so the conversion buffers are never overrun. Events were applied above, for the whole call.
  uint32_t start = 0;
  do {
    const uint32_t n = std::min<uint32_t>(frames - start, static_cast<uint32_t>(std::max(blockSize, 0)));
    const int nInPtrs = gather(inputs, nInBuffers, start);
    if (checkSilence && inputsSilent) {
      for (int k = 0; k < nInPtrs && inputsSilent; ++k)
        for (uint32_t i = 0; i < n; ++i) {
          const bool zero = wide ? mChannelPtrs64[static_cast<size_t>(k)][i] == 0.0
                                 : mChannelPtrs32[static_cast<size_t>(k)][i] == 0.0f;
          if (!zero) {
            inputsSilent = false;
            break;
          }
        }
    }
    if (wide)
      AttachBuffers(RouteDirection::Input, 0, nInPtrs, mChannelPtrs64.data());
    else
      AttachBuffers(RouteDirection::Input, 0, nInPtrs, mChannelPtrs32.data(), static_cast<int>(n));
    const int nOutPtrs = gather(outputs, nOutBuffers, start);
    if (wide) {
      AttachBuffers(RouteDirection::Output, 0, nOutPtrs, mChannelPtrs64.data());
      ProcessBuffers(static_cast<int>(n));
    } else {
      AttachBuffers(RouteDirection::Output, 0, nOutPtrs, mChannelPtrs32.data(), static_cast<int>(n));
      ProcessBuffers32(static_cast<int>(n));
    }
    start += n;
  } while (start < frames);

  WriteParamEventsToHost(process->out_events);
  WriteMessagesToHost(process->out_events, frames);
  if (mTailChanged.exchange(false)) HostProxy().TailChanged();

  if (mHostTailAware) return CLAP_PROCESS_TAIL;
  if (tail == 0) return CLAP_PROCESS_CONTINUE_IF_NOT_QUIET;
  if (tail == kInfiniteTail) return CLAP_PROCESS_CONTINUE;
  mQuietSamples = inputsSilent ? static_cast<int>(std::min<int64_t>(tail, int64_t(mQuietSamples) + frames)) : 0;
  return mQuietSamples < tail ? CLAP_PROCESS_CONTINUE : CLAP_PROCESS_SLEEP;
}

void IPluginCLAP::HandleInputEvents(const clap_input_events_t* in) {
  if (!in || !in->size || !in->get) return;
  const uint32_t count = in->size(in);
  for (uint32_t i = 0; i < count; ++i) {
    const clap_event_header_t* header = in->get(in, i);
    if (!header || header->size < sizeof(clap_event_header_t) || header->space_id != CLAP_CORE_EVENT_SPACE_ID)
      continue;
    const int32_t time = static_cast<int32_t>(std::min<uint32_t>(header->time, INT32_MAX));
    switch (header->type) {
      case CLAP_EVENT_NOTE_ON:
      case CLAP_EVENT_NOTE_OFF: {
        if (header->size < sizeof(clap_event_note_t)) break;
        const auto& note = *reinterpret_cast<const clap_event_note_t*>(header);
        MidiMsg msg;
        msg.offset = time;
        msg.data1 = static_cast<uint8_t>(note.key);
        if (header->type == CLAP_EVENT_NOTE_ON) {
          msg.status = static_cast<uint8_t>(0x90 | (note.channel & 0x0F));
          // A velocity outside 0..1 (or NaN) would not fit a MIDI data byte.
          const double velocity = std::isfinite(note.velocity) ? std::clamp(note.velocity, 0.0, 1.0) : 0.0;
          msg.data2 = static_cast<uint8_t>(std::lround(velocity * 127.0));
        } else {
          msg.status = static_cast<uint8_t>(0x80 | (note.channel & 0x0F));
          msg.data2 = 0;
        }
        ProcessMidiMsg(msg);
        QueueMidiForEditor(msg);
        break;
      }
      case CLAP_EVENT_MIDI: {
        if (header->size < sizeof(clap_event_midi_t)) break;
        const auto& event = *reinterpret_cast<const clap_event_midi_t*>(header);
        MidiMsg msg;
        msg.offset = time;
        msg.status = event.data[0];
        msg.data1 = event.data[1];
        msg.data2 = event.data[2];
        ProcessMidiMsg(msg);
        QueueMidiForEditor(msg);
        break;
      }
      case CLAP_EVENT_PARAM_VALUE:
        if (header->size < sizeof(clap_event_param_value_t)) break;
        HandleParamValueEvent(*reinterpret_cast<const clap_event_param_value_t*>(header));
        break;
      case CLAP_EVENT_MIDI_SYSEX: {
        if (header->size < sizeof(clap_event_midi_sysex_t)) break;
        const auto& event = *reinterpret_cast<const clap_event_midi_sysex_t*>(header);
        if ((!event.buffer && event.size > 0) || event.size > static_cast<uint32_t>(INT32_MAX)) break;
        const SysExMsg msg{time, static_cast<int32_t>(event.size), event.buffer};
        ProcessSysEx(msg);
        QueueSysExForEditor(msg);
        break;
      }
      default:
        break;
    }
  }
}

void IPluginCLAP::HandleParamValueEvent(const clap_event_param_value_t& event) {
  if (event.param_id >= static_cast<uint32_t>(NParams())) return;
  // A NaN or infinite value would poison the parameter and everything computed from it.
  if (!IsFiniteValue(event.value)) return;
  const int index = static_cast<int>(event.param_id);
  IParam& param = *GetParam(index);
  const bool isDouble = param.GetKind() == ParamKind::Double;
  const double real = isDouble ? param.ClampValue(param.FromNormalised(event.value)) : param.ClampValue(event.value);
  if (!param.SetValue(real)) return;
  QueueParamValueForEditor(index, event.value, isDouble);
  OnParamChange(index, ParamChangeSource::Host, static_cast<int>(std::min<uint32_t>(event.header.time, INT32_MAX)));
}

void IPluginCLAP::WriteParamEventsToHost(const clap_output_events_t* out) {
  if (!out || !out->try_push) return;
  ParamEventToHost entry;
  while (mParamEventsToHost.Pop(entry)) {
    if (entry.kind == ParamEventToHost::Value) {
      clap_event_param_value_t event{};
      event.header = {sizeof(clap_event_param_value_t), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
      event.param_id = static_cast<clap_id>(entry.paramIdx);
      event.cookie = nullptr;
      event.note_id = -1;
      event.port_index = -1;
      event.channel = -1;
      event.key = -1;
      event.value = entry.value;
      out->try_push(out, &event.header);
    } else {
      clap_event_param_gesture_t event{};
      const uint16_t type =
          entry.kind == ParamEventToHost::EditBegin ? CLAP_EVENT_PARAM_GESTURE_BEGIN : CLAP_EVENT_PARAM_GESTURE_END;
      event.header = {sizeof(clap_event_param_gesture_t), 0, CLAP_CORE_EVENT_SPACE_ID, type, 0};
      event.param_id = static_cast<clap_id>(entry.paramIdx);
      out->try_push(out, &event.header);
    }
  }
}

void IPluginCLAP::DiscardSentSysEx() {
  mSysExToHost.erase(mSysExToHost.begin(), mSysExToHost.begin() + static_cast<std::ptrdiff_t>(mSysExSent));
  mSysExSent = 0;
}

void IPluginCLAP::WriteMessagesToHost(const clap_output_events_t* out, uint32_t nFrames) {
  const bool canPush = out && out->try_push;
  const int64_t frames = nFrames;
  DiscardSentSysEx();  // the host is done with the previous call's events
  size_t m = 0, s = 0;
  for (;;) {
    const bool haveMidi = m < mMidiToHost.size() && mMidiToHost[m].offset < frames;
    const bool haveSysEx = s < mSysExToHost.size() && mSysExToHost[s].offset < frames;
    if (!haveMidi && !haveSysEx) break;
    if (haveSysEx && (!haveMidi || mSysExToHost[s].offset <= mMidiToHost[m].offset)) {
      const SysExBlock& block = mSysExToHost[s++];
      clap_event_midi_sysex_t event{};
      event.header = {sizeof(clap_event_midi_sysex_t), static_cast<uint32_t>(std::max(block.offset, 0)),
                      CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI_SYSEX, 0};
      event.port_index = 0;
      event.buffer = block.data;
      event.size = static_cast<uint32_t>(block.size);
      if (canPush) out->try_push(out, &event.header);
    } else {
      const MidiMsg& msg = mMidiToHost[m++];
      const uint32_t time = static_cast<uint32_t>(std::max(msg.offset, 0));
      const int kind = msg.status >> 4;
      if (kind == 0x9 || kind == 0x8) {
        clap_event_note_t event{};
        event.header = {sizeof(clap_event_note_t), time, CLAP_CORE_EVENT_SPACE_ID,
                        static_cast<uint16_t>(kind == 0x9 ? CLAP_EVENT_NOTE_ON : CLAP_EVENT_NOTE_OFF), 0};
        event.note_id = -1;
        event.port_index = 0;
        event.channel = static_cast<int16_t>(msg.status & 0x0F);
        event.key = msg.data1;
        event.velocity = msg.data2 / 127.0;
        if (canPush) out->try_push(out, &event.header);
      } else {
        clap_event_midi_t event{};
        event.header = {sizeof(clap_event_midi_t), time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
        event.port_index = 0;
        event.data[0] = msg.status;
        event.data[1] = msg.data1;
        event.data[2] = msg.data2;
        if (canPush) out->try_push(out, &event.header);
      }
    }
  }
  mMidiToHost.erase(mMidiToHost.begin(), mMidiToHost.begin() + static_cast<std::ptrdiff_t>(m));
  mSysExSent = s;
  for (auto& msg : mMidiToHost) msg.offset = static_cast<int32_t>(msg.offset - frames);
  for (size_t i = mSysExSent; i < mSysExToHost.size(); ++i)
    mSysExToHost[i].offset = static_cast<int32_t>(mSysExToHost[i].offset - frames);
}

bool IPluginCLAP::SendMidiMsg(const MidiMsg& msg) {
  // The list never grows beyond its reserved capacity: the audio thread must not allocate. A full list drops.
  if (mMidiToHost.size() < mMidiToHost.capacity()) {
    const auto at = std::upper_bound(mMidiToHost.begin(), mMidiToHost.end(), msg.offset,
                                     [](int32_t offset, const MidiMsg& queued) { return offset < queued.offset; });
    mMidiToHost.insert(at, msg);
  }
  return true;
}

bool IPluginCLAP::SendSysEx(const SysExMsg& msg) {
  SysExBlock block;
  // SysEx longer than a block's 512 bytes is refused rather than cut: a truncated SysEx is a different message.
  if (!block.Assign(msg)) return false;
  if (mSysExToHost.size() == mSysExToHost.capacity()) DiscardSentSysEx();
  if (mSysExToHost.size() < mSysExToHost.capacity()) {
    const auto sent = mSysExToHost.begin() + static_cast<std::ptrdiff_t>(mSysExSent);
    const auto at = std::upper_bound(sent, mSysExToHost.end(), block.offset,
                                     [](int32_t offset, const SysExBlock& queued) { return offset < queued.offset; });
    mSysExToHost.insert(at, block);
  }
  return true;
}

void IPluginCLAP::SetTailSize(int samples) {
  IPluginProcessor::SetTailSize(samples);
  if (HostProxy().CanUseTail()) mTailChanged = true;
}

// ---- Latency ---------------------------------------------------------------------------------------------------

void IPluginCLAP::SetLatency(int samples) {
  const int effective = mLatencyPending.load() ? mPendingLatency.load() : GetLatency();
  if (samples == effective) return;
  mPendingLatency = samples;
  mLatencyPending = true;
  if (IsActive() && !mRestartRequested.load()) {
    mRestartRequested = true;
    // This may run on the audio thread (reset): no lock and no allocation, just a flag and a callback request.
    if (HostProxy().CanUseThreadCheck() && HostProxy().IsMainThread()) {
      HostProxy().RequestRestart();
    } else {
      mMainThreadTasks.fetch_or(static_cast<uint32_t>(MainThreadTask::RequestRestart));
      HostProxy().RequestCallback();
    }
  }
}

void IPluginCLAP::ApplyPendingLatency() {
  if (!mLatencyPending.load()) return;
  const int pending = mPendingLatency.load();
  if (pending == GetLatency()) {
    mLatencyPending = false;
    mRestartRequested = false;
    return;
  }
  IPluginProcessor::SetLatency(pending);
  mLatencyPending = false;
  mRestartRequested = false;
  HostProxy().LatencyChanged();
}

uint32_t IPluginCLAP::LatencyGet() { return static_cast<uint32_t>(std::max(GetLatency(), 0)); }

uint32_t IPluginCLAP::TailGet() {
  const int tail = GetTailSize();
  if (tail == kInfiniteTail) return UINT32_MAX;
  return static_cast<uint32_t>(std::max(tail, 0));
}

bool IPluginCLAP::RenderSetMode(clap_plugin_render_mode mode) {
  SetRenderingOffline(mode == CLAP_RENDER_OFFLINE);
  return true;
}

// ---- Audio ports -------------------------------------------------------------------------------------------------

bool IPluginCLAP::ImplementsAudioPorts() const {
  return MaxBusCount(RouteDirection::Input) > 0 || MaxBusCount(RouteDirection::Output) > 0;
}

uint32_t IPluginCLAP::AudioPortsCount(bool isInput) {
  const ChannelIOConfig* config = GetIOConfig(mSelectedConfig);
  if (!config) return 0;
  return static_cast<uint32_t>(config->NBuses(isInput ? RouteDirection::Input : RouteDirection::Output));
}

bool IPluginCLAP::AudioPortsInfo(uint32_t index, bool isInput, clap_audio_port_info_t* info) {
  const ChannelIOConfig* config = GetIOConfig(mSelectedConfig);
  if (!info || !config || index >= AudioPortsCount(isInput)) return false;
  const RouteDirection direction = isInput ? RouteDirection::Input : RouteDirection::Output;
  const int bus = static_cast<int>(index);
  const int nChannels = std::max(config->NChannelsOnBus(direction, bus), 0);
  *info = clap_audio_port_info_t{};
  info->id = index;
  CopyText(info->name, MakeBusName(direction, bus, config->NBuses(direction)));
  info->flags = CLAP_AUDIO_PORT_SUPPORTS_64BITS | CLAP_AUDIO_PORT_PREFERS_64BITS |
                CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE | (index == 0 ? CLAP_AUDIO_PORT_IS_MAIN : 0u);
  info->channel_count = static_cast<uint32_t>(nChannels);
  info->port_type = PortType(nChannels);
  info->in_place_pair = CLAP_INVALID_ID;
  return true;
}

uint32_t IPluginCLAP::AudioPortsConfigCount() { return static_cast<uint32_t>(NIOConfigs()); }

bool IPluginCLAP::AudioPortsConfigInfo(uint32_t index, clap_audio_ports_config_t* out) {
  if (!out || index >= AudioPortsConfigCount()) return false;
  const ChannelIOConfig& config = *GetIOConfig(static_cast<int>(index));
  *out = clap_audio_ports_config_t{};
  out->id = index;
  CopyText(out->name, SideName(config, RouteDirection::Input) + "-" + SideName(config, RouteDirection::Output));
  const int inBuses = config.NBuses(RouteDirection::Input), outBuses = config.NBuses(RouteDirection::Output);
  out->input_port_count = static_cast<uint32_t>(inBuses);
  out->output_port_count = static_cast<uint32_t>(outBuses);
  const int inChannels = inBuses > 0 ? std::max(config.NChannelsOnBus(RouteDirection::Input, 0), 0) : 0;
  const int outChannels = outBuses > 0 ? std::max(config.NChannelsOnBus(RouteDirection::Output, 0), 0) : 0;
  out->has_main_input = inBuses > 0;
  out->main_input_channel_count = static_cast<uint32_t>(inChannels);
  out->main_input_port_type = inBuses > 0 ? PortType(inChannels) : nullptr;
  out->has_main_output = outBuses > 0;
  out->main_output_channel_count = static_cast<uint32_t>(outChannels);
  out->main_output_port_type = outBuses > 0 ? PortType(outChannels) : nullptr;
  return true;
}

bool IPluginCLAP::AudioPortsConfigSelect(clap_id configId) {
  if (configId >= AudioPortsConfigCount()) return false;
  mSelectedConfig = static_cast<int>(configId);
  return true;
}

// ---- Parameters --------------------------------------------------------------------------------------------------

uint32_t IPluginCLAP::ParamsCount() { return static_cast<uint32_t>(NParams()); }

bool IPluginCLAP::ParamsInfo(uint32_t index, clap_param_info_t* info) {
  if (!info || index >= ParamsCount()) return false;
  const IParam& param = *GetParam(static_cast<int>(index));
  const bool isDouble = param.GetKind() == ParamKind::Double;
  *info = clap_param_info_t{};
  info->id = index;
  info->flags = CLAP_PARAM_REQUIRES_PROCESS;
  if (!isDouble) info->flags |= CLAP_PARAM_IS_STEPPED;
  if (!param.HasFlag(IParam::FlagNoAutomation)) info->flags |= CLAP_PARAM_IS_AUTOMATABLE;
  info->cookie = nullptr;
  CopyText(info->name, param.GetName());
  CopyText(info->module, param.GetGroup());
  info->min_value = isDouble ? 0.0 : param.GetMin();
  info->max_value = isDouble ? 1.0 : param.GetMax();
  info->default_value = param.DefaultValue(isDouble);
  return true;
}

bool IPluginCLAP::ParamsValue(clap_id id, double* value) {
  if (!value || id >= ParamsCount()) return false;
  const IParam& param = *GetParam(static_cast<int>(id));
  *value = param.GetKind() == ParamKind::Double ? param.ToNormalised(param.Value()) : param.Value();
  return true;
}

bool IPluginCLAP::ParamsValueToText(clap_id id, double value, char* out, uint32_t capacity) {
  if (!out || capacity == 0 || id >= ParamsCount() || !IsFiniteValue(value)) return false;
  const IParam& param = *GetParam(static_cast<int>(id));
  std::string text;
  if (param.GetKind() == ParamKind::Double)
    param.FormatValue(param.ToNormalised(param.FromNormalised(value)), true, text, true);
  else
    param.FormatValue(param.ClampValue(value), false, text, true);
  const char* label = param.DisplayLabel();
  if (label && label[0]) {
    text += ' ';
    text += label;
  }
  if (text.size() >= capacity) return false;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return true;
}

bool IPluginCLAP::ParamsTextToValue(clap_id id, const char* text, double* value) {
  if (!text || !value || id >= ParamsCount()) return false;
  const IParam& param = *GetParam(static_cast<int>(id));
  // A text that is no value of the parameter is refused: taking it as 0 would reset the parameter on a typo.
  double v = 0.0;
  if (!ReadTypedValue(param, text, v)) return false;
  if (param.GetKind() == ParamKind::Double) v = param.ToNormalised(v);
  if (!IsFiniteValue(v)) return false;
  *value = v;
  return true;
}

void IPluginCLAP::ParamsFlush(const clap_input_events_t* in, const clap_output_events_t* out) {
  HandleInputEvents(in);
  WriteParamEventsToHost(out);
}

void IPluginCLAP::ScheduleFlushRequest() {
  if (IsProcessing()) return;
  RunOnMainThread([this] { HostProxy().ParamsRequestFlush(); });
}

void IPluginCLAP::BeginParamEdit(int paramIdx) {
  mParamEventsToHost.Push(ParamEventToHost{ParamEventToHost::EditBegin, paramIdx, 0.0});
  ScheduleFlushRequest();
}

void IPluginCLAP::InformHostOfParamValue(int paramIdx, double normalised) {
  const IParam* param = GetParam(paramIdx);
  if (!param) return;
  const double value = param->GetKind() == ParamKind::Double ? normalised : param->FromNormalised(normalised);
  mParamEventsToHost.Push(ParamEventToHost{ParamEventToHost::Value, paramIdx, value});
  ScheduleFlushRequest();
}

void IPluginCLAP::EndParamEdit(int paramIdx) {
  mParamEventsToHost.Push(ParamEventToHost{ParamEventToHost::EditEnd, paramIdx, 0.0});
  ScheduleFlushRequest();
}

// ---- State -------------------------------------------------------------------------------------------------------

bool IPluginCLAP::StateSave(const clap_ostream_t* stream) {
  if (!stream || !stream->write) return false;
  ByteChunk chunk;
  if (!SerializeState(chunk)) return false;
  const int64_t size = chunk.Size();
  int64_t pos = 0;
  while (pos < size) {
    const int64_t n = stream->write(stream, chunk.Data() + pos, static_cast<uint64_t>(size - pos));
    if (n < 1 || n > size - pos) return false;
    pos += n;
  }
  return true;
}

bool IPluginCLAP::StateLoad(const clap_istream_t* stream) {
  if (!stream || !stream->read) return false;
  // The state is exactly what SerializeState writes for the current values; anything else is refused before a
  // single parameter changes. That also bounds how much of a runaway stream is read.
  ByteChunk expected;
  if (!SerializeState(expected)) return false;
  ByteChunk chunk;
  uint8_t buffer[kStateReadStep];
  int64_t got = 0;
  for (;;) {
    got = stream->read(stream, buffer, sizeof buffer);
    if (got <= 0) break;
    if (got > static_cast<int64_t>(sizeof buffer)) return false;
    chunk.AppendBytes(buffer, static_cast<int>(got));
    if (chunk.Size() > expected.Size()) return false;
  }
  if (got < 0 || chunk.Size() == 0 || chunk.Size() != expected.Size()) return false;
  if (expected.Size() == NParams() * static_cast<int>(sizeof(double))) {
    for (int i = 0; i < NParams(); ++i) {
      double v = 0.0;
      chunk.Read(v, i * static_cast<int>(sizeof(double)));
      if (!std::isfinite(v)) return false;
    }
  }
  std::vector<double> before(static_cast<size_t>(NParams()));
  for (int i = 0; i < NParams(); ++i) before[static_cast<size_t>(i)] = GetParam(i)->Value();
  const int pos = UnserializeState(chunk, 0);
  if (pos < 0 || pos != chunk.Size()) {
    // Only a state format other than the plain parameter values can get here: put every value back.
    for (int i = 0; i < NParams(); ++i) GetParam(i)->SetValue(before[static_cast<size_t>(i)]);
    OnParamsReset(ParamChangeSource::Preset);
    return false;
  }
  OnStateRestored();
  HostProxy().ParamsRescan(CLAP_PARAM_RESCAN_VALUES);
  return true;
}

// ---- Editor ------------------------------------------------------------------------------------------------------

// The window system the editor embeds in: Win32 windows on Windows, X11 windows elsewhere.
#if defined(_WIN32)
static constexpr const char* kEditorWindowApi = CLAP_WINDOW_API_WIN32;
#else
static constexpr const char* kEditorWindowApi = CLAP_WINDOW_API_X11;
#endif

bool IPluginCLAP::GuiIsApiSupported(const char* api, bool isFloating) {
  return api && std::strcmp(api, kEditorWindowApi) == 0 && !isFloating;
}

bool IPluginCLAP::GuiCreate(const char* api, bool isFloating) {
  if (!HasEditor() || !GuiIsApiSupported(api, isFloating)) return false;
  StartIdleDriver();
  return true;
}

void IPluginCLAP::GuiDestroy() {
  StopDisplayDriver();
  CloseWindow();
  mEditorOpen = false;
  mParentWindow = nullptr;
  mHostScale = 0.f;
}

bool IPluginCLAP::GuiSetScale(double scale) {
  if (!HasEditor() || !std::isfinite(scale) || scale <= 0.0) return false;
  // Remembered, so a view that opens later (set_parent usually follows set_scale) uses it too.
  mHostScale = static_cast<float>(scale);
  SetScreenScale(mHostScale);
  return true;
}

bool IPluginCLAP::GuiGetSize(uint32_t* width, uint32_t* height) {
  if (!HasEditor() || !width || !height) return false;
  *width = static_cast<uint32_t>(std::max(GetEditorWidth(), 0));
  *height = static_cast<uint32_t>(std::max(GetEditorHeight(), 0));
  return true;
}

bool IPluginCLAP::GuiAdjustSize(uint32_t* width, uint32_t* height) {
  if (!HasEditor() || !width || !height) return false;
  int w = static_cast<int>(std::min<uint32_t>(*width, INT_MAX));
  int h = static_cast<int>(std::min<uint32_t>(*height, INT_MAX));
  ConstrainEditorSize(w, h);
  *width = static_cast<uint32_t>(w);
  *height = static_cast<uint32_t>(h);
  return true;
}

bool IPluginCLAP::GuiSetSize(uint32_t width, uint32_t height) {
  if (!HasEditor()) return false;
  OnParentWindowResized(static_cast<int>(std::min<uint32_t>(width, INT_MAX)),
                        static_cast<int>(std::min<uint32_t>(height, INT_MAX)));
  return true;
}

bool IPluginCLAP::GuiSetParent(const clap_window_t* window) {
  if (!window || !GuiIsApiSupported(window->api, false)) return false;
#if defined(_WIN32)
  return AttachEditorToWindow(window->win32);
#else
  return AttachEditorToWindow(reinterpret_cast<void*>(static_cast<uintptr_t>(window->x11)));
#endif
}

bool IPluginCLAP::AttachEditorToWindow(void* window) {
  if (!HasEditor() || !window) return false;
  mParentWindow = window;
  mEditorOpen = OpenEditorView(window);
  if (!mEditorOpen) mParentWindow = nullptr;
  return mEditorOpen;
}

bool IPluginCLAP::OpenEditorView(void* window) {
  StopDisplayDriver();
  if (OpenWindow(window) == nullptr) return false;
  if (mHostScale > 0.f) SetScreenScale(mHostScale);
  StartDisplayDriver();
  return true;
}

bool IPluginCLAP::GuiShow() {
  if (!HasEditor() || !mParentWindow) return false;
  if (mEditorOpen) return true;
  mEditorOpen = OpenEditorView(mParentWindow);
  return mEditorOpen;
}

bool IPluginCLAP::GuiHide() {
  if (!HasEditor()) return false;
  StopDisplayDriver();
  CloseWindow();
  mEditorOpen = false;
  return true;
}

bool IPluginCLAP::RequestEditorResize(int width, int height) {
  if (HasEditor()) {
    if (width != GetEditorWidth() || height != GetEditorHeight())
      HostProxy().GuiRequestResize(static_cast<uint32_t>(std::max(width, 0)),
                                   static_cast<uint32_t>(std::max(height, 0)));
    SetEditorSize(width, height);
  }
  return true;
}

}  // namespace ondrell

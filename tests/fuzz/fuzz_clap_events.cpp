// Fuzzes QuorlEQ's handling of a CLAP input event list in process and flush: arbitrary event headers, sizes,
// types and payloads, arbitrary frame counts (also beyond the activated maximum), 32- or 64-bit buffers.
// Silence in must give finite audio out, and every parameter must stay finite and in range.

#include "tests/fuzz/ClapFuzzHost.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Events {
  std::vector<std::unique_ptr<uint8_t[]>> storage;
  std::vector<const clap_event_header_t*> list;
};

constexpr uint32_t kMaxFrames = 64;
std::vector<uint8_t> gSysExPayload(600, 0xF0);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const clap_plugin_t* plugin = [] {
    const clap_plugin_t* p = ondrell::fuzz::MakePlugin();
    if (!p->activate(p, 48000.0, 1, kMaxFrames) || !p->start_processing(p)) std::abort();
    return p;
  }();
  static const auto* params = static_cast<const clap_plugin_params_t*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
  if (size < 3) return 0;
  const bool wide = data[0] & 1;
  const bool viaFlush = data[0] & 2;
  const uint32_t frames = data[1] * 2u;  // up to 510: beyond the activated maximum
  size_t pos = 2;

  Events events;
  while (pos + 2 <= size && events.list.size() < 64) {
    const uint32_t declared = data[pos];  // declared event size 0..255
    const uint16_t type = data[pos + 1] % 14;
    pos += 2;
    const size_t bytes = std::max<size_t>(declared, sizeof(clap_event_header_t));
    auto event = std::make_unique<uint8_t[]>(bytes);
    const size_t take = std::min(bytes, size - pos);
    std::memset(event.get(), 0, bytes);
    std::memcpy(event.get(), data + pos, take);
    pos += take;
    auto* header = reinterpret_cast<clap_event_header_t*>(event.get());
    header->size = declared;
    header->type = type;
    header->space_id = header->space_id % 3 == 0 ? CLAP_CORE_EVENT_SPACE_ID : header->space_id;
    // A host's SysEx event points at real bytes; the fuzzer only chooses how many and whether the pointer is null.
    if (type == CLAP_EVENT_MIDI_SYSEX && declared >= sizeof(clap_event_midi_sysex_t)) {
      auto* sysex = reinterpret_cast<clap_event_midi_sysex_t*>(event.get());
      sysex->size %= static_cast<uint32_t>(gSysExPayload.size());
      sysex->buffer = (sysex->port_index & 1) ? nullptr : gSysExPayload.data();
    }
    events.list.push_back(header);
    events.storage.push_back(std::move(event));
  }
  clap_input_events_t in{&events, [](const clap_input_events_t* l) {
                           return static_cast<uint32_t>(static_cast<const Events*>(l->ctx)->list.size());
                         },
                         [](const clap_input_events_t* l, uint32_t i) -> const clap_event_header_t* {
                           const auto& list = static_cast<const Events*>(l->ctx)->list;
                           return i < list.size() ? list[i] : nullptr;
                         }};
  clap_output_events_t out{nullptr, [](const clap_output_events_t*, const clap_event_header_t* e) {
                             return e && e->size >= sizeof(clap_event_header_t);
                           }};

  if (viaFlush) {
    params->flush(plugin, &in, &out);
  } else {
    const size_t n = frames + 1;  // never empty: a host never hands out null channel buffers
    std::vector<float> f32[2] = {std::vector<float>(n), std::vector<float>(n)};
    std::vector<double> f64[2] = {std::vector<double>(n), std::vector<double>(n)};
    std::vector<float> o32[2] = {std::vector<float>(n), std::vector<float>(n)};
    std::vector<double> o64[2] = {std::vector<double>(n), std::vector<double>(n)};
    float* in32[] = {f32[0].data(), f32[1].data()};
    double* in64[] = {f64[0].data(), f64[1].data()};
    float* out32[] = {o32[0].data(), o32[1].data()};
    double* out64[] = {o64[0].data(), o64[1].data()};
    clap_audio_buffer_t inBuffer{wide ? nullptr : in32, wide ? in64 : nullptr, 2, 0, 0};
    clap_audio_buffer_t outBuffer{wide ? nullptr : out32, wide ? out64 : nullptr, 2, 0, 0};
    clap_process_t process{};
    process.frames_count = frames;
    process.audio_inputs = &inBuffer;
    process.audio_inputs_count = 1;
    process.audio_outputs = &outBuffer;
    process.audio_outputs_count = 1;
    process.in_events = &in;
    process.out_events = &out;
    if (plugin->process(plugin, &process) == CLAP_PROCESS_ERROR) std::abort();
    for (int c = 0; c < 2; ++c)
      for (uint32_t i = 0; i < frames; ++i)
        if (!std::isfinite(wide ? o64[c][i] : double(o32[c][i]))) std::abort();
  }
  for (uint32_t i = 0; i < params->count(plugin); ++i) {
    clap_param_info_t info{};
    double v = 0.0;
    if (!params->get_info(plugin, i, &info) || !params->get_value(plugin, info.id, &v)) std::abort();
    if (!std::isfinite(v) || v < info.min_value || v > info.max_value) std::abort();
  }
  return 0;
}

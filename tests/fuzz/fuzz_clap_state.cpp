// Fuzzes the CLAP state load of QuorlEQ: any byte stream, read in varying portions. A refused load must leave
// every parameter as it was; an accepted one must leave finite values in range.

#include "tests/fuzz/ClapFuzzHost.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Stream {
  const uint8_t* data;
  size_t size, pos, step;
};

std::vector<uint8_t> Save(const clap_plugin_t* plugin, const clap_plugin_state_t* state) {
  std::vector<uint8_t> bytes;
  clap_ostream_t out{&bytes, [](const clap_ostream_t* s, const void* p, uint64_t n) -> int64_t {
                       auto* v = static_cast<std::vector<uint8_t>*>(s->ctx);
                       v->insert(v->end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
                       return static_cast<int64_t>(n);
                     }};
  if (!state->save(plugin, &out)) std::abort();
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const clap_plugin_t* plugin = ondrell::fuzz::MakePlugin();
  static const auto* state = static_cast<const clap_plugin_state_t*>(plugin->get_extension(plugin, CLAP_EXT_STATE));
  static const auto* params = static_cast<const clap_plugin_params_t*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
  if (size < 1) return 0;
  // The first byte picks how many bytes each read delivers (1..256), and whether the stream ends in an error.
  Stream stream{data + 1, size - 1, 0, size_t(data[0] % 128) + 1};
  const bool failAtEnd = data[0] >= 128;
  clap_istream_t in{&stream, [](const clap_istream_t* s, void* buffer, uint64_t n) -> int64_t {
                      auto* st = static_cast<Stream*>(s->ctx);
                      const size_t k = std::min<size_t>({n, st->step, st->size - st->pos});
                      std::memcpy(buffer, st->data + st->pos, k);
                      st->pos += k;
                      return static_cast<int64_t>(k);
                    }};
  clap_istream_t failing = in;
  failing.read = [](const clap_istream_t* s, void* buffer, uint64_t n) -> int64_t {
    auto* st = static_cast<Stream*>(s->ctx);
    if (st->pos >= st->size) return -1;
    const size_t k = std::min<size_t>({n, st->step, st->size - st->pos});
    std::memcpy(buffer, st->data + st->pos, k);
    st->pos += k;
    return static_cast<int64_t>(k);
  };

  const std::vector<uint8_t> before = Save(plugin, state);
  const bool loaded = state->load(plugin, failAtEnd ? &failing : &in);
  const std::vector<uint8_t> after = Save(plugin, state);
  if (!loaded && after != before) std::abort();  // a refused load changed a parameter
  if (loaded && after.size() != before.size()) std::abort();
  const uint32_t count = params->count(plugin);
  for (uint32_t i = 0; i < count; ++i) {
    clap_param_info_t info{};
    double v = 0.0;
    if (!params->get_info(plugin, i, &info) || !params->get_value(plugin, info.id, &v)) std::abort();
    if (!std::isfinite(v) || v < info.min_value || v > info.max_value) std::abort();
  }
  return 0;
}

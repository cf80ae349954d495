#pragma once
// What the CLAP fuzzers share: the plug-in made through the clap_entry linked into the fuzzer, with a minimal
// host record (no extensions). Threads: the fuzzer's single thread plays main and audio thread.

#include "clap/ClapAbi.h"

#include <cstdlib>

extern "C" const clap_plugin_entry_t clap_entry;

namespace ondrell::fuzz {

inline const clap_host_t* FuzzHost() {
  static const clap_host_t host = {
      CLAP_VERSION, nullptr, "fuzz host", "", "", "1.0.0", [](const clap_host_t*, const char*) -> const void* {
        return nullptr;
      },
      [](const clap_host_t*) {}, [](const clap_host_t*) {}, [](const clap_host_t*) {}};
  return &host;
}

// A fresh, initialised plug-in; aborts when the entry refuses (that is a fault too).
inline const clap_plugin_t* MakePlugin() {
  static const bool initialised = clap_entry.init("/fuzz/QuorlEQ.clap");
  if (!initialised) std::abort();
  const auto* factory = static_cast<const clap_plugin_factory_t*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
  const clap_plugin_t* plugin = factory->create_plugin(factory, FuzzHost(), factory->get_plugin_descriptor(factory, 0)->id);
  if (!plugin || !plugin->init(plugin)) std::abort();
  return plugin;
}

}  // namespace ondrell::fuzz

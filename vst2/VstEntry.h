#pragma once
// The body of the exported VST2 entry function: construction of one plug-in object under the process-wide
// creation lock, and the set-up that follows before the host gets the effect record.

#include <algorithm>
#include <memory>
#include <mutex>

#include "vst2/IPluginVST2.h"
#include "vst2/VstAbi.h"

namespace ondrell {

// The process-wide creation lock, created on first use (thread-safe one-time initialisation).
std::mutex& VstCreationLock();

// Creates a Plugin (derived from IPluginVST2) for the host and returns its effect record, or null when it could
// not be made. Nothing unwinds into the host.
template <class Plugin>
vst::VstEffect* CreateVstPlugin(vst::VstHostCallback hostCallback) noexcept {
  try {
    std::unique_ptr<Plugin> plugin;
    {
      std::lock_guard lock(VstCreationLock());
      plugin = std::make_unique<Plugin>(CreationArgs{hostCallback});
    }
    IPluginVST2& adapter = *plugin;
    adapter.InitializeEmptyPresets();
    vst::VstEffect* effect = adapter.GetEffect();
    effect->numPrograms = std::max(effect->numPrograms, 1);
    adapter.StartIdleThread();
    plugin.release();  // the host owns it now; effClose deletes it
    return effect;
  } catch (...) {
    return nullptr;
  }
}

}  // namespace ondrell

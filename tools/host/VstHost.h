#pragma once
// The VST 2.4 implementation of quorl-host's plug-in-format interface: loads a LinuxVST .so file through its
// VSTPluginMain (or main) entry, answers the host callback (time information, process level, sample rate and
// block size, latency changes through audioMasterIOChanged) and drives the plug-in through the dispatcher and the
// processing functions. Parameters are seen normalised, as every VST2 host sees them.

#include "tools/host/PluginFormat.h"

#include <string>

namespace ondrell::host {

std::unique_ptr<PluginLibrary> OpenVstLibrary(const std::string& path, std::string& error);

}  // namespace ondrell::host

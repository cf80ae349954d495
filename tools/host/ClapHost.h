#pragma once
// The CLAP implementation of quorl-host's plug-in-format interface: loads a .clap file, offers the host record
// with its extensions (log, thread-check, params, latency, tail, track-info, timer-support, posix-fd-support) and
// drives the plug-in through init, activation, processing, flush, state and destroy.

#include "tools/host/PluginFormat.h"

#include <string>

namespace ondrell::host {

std::unique_ptr<PluginLibrary> OpenClapLibrary(const std::string& path, std::string& error);

}  // namespace ondrell::host

#pragma once
// Offline rendering of audio through a hosted plug-in, the way a DAW drives it: render mode, activation, an audio
// thread that processes block after block while the main thread services the plug-in's requests, restarts when the
// plug-in asks for one, and optional latency compensation.

#include "tools/host/AudioFile.h"
#include "tools/host/PluginFormat.h"

#include <string>

namespace ondrell::host {

struct RenderOptions {
  uint32_t blockSize = 512;
  bool offline = false;            // the plug-in's offline render mode; realtime otherwise
  bool compensateLatency = false;  // drop the reported latency from the start and render that much longer
  bool use64 = false;              // 64-bit buffers when the plug-in's ports support them
  uint64_t extraFrames = 0;        // silence appended after the input (for tails)
};

struct RenderReport {
  uint32_t latency = 0;       // latency reported after the first activation
  uint32_t finalLatency = 0;  // latency after the last (re)activation
  uint32_t restarts = 0;
  uint64_t blocks = 0;
  int lastStatus = 0;
  bool renderModeAccepted = true;
  bool used64 = false;
};

// Renders input (any channel count; mapped onto the plug-in's main input port) into output (the plug-in's main
// output channels). The plug-in must be inactive; it is left inactive.
bool Render(HostedPlugin& plugin, const AudioData& input, AudioData& output, const RenderOptions& options,
            RenderReport& report, std::string& error);

}  // namespace ondrell::host

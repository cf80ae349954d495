#pragma once
// CPU cost of hosted plug-ins: processes a stretch of noise block by block on the calling thread, the way a DAW's
// audio thread does, and measures the CPU time that took. Several instances (for example two mono instances for
// one stereo track) run one after the other in every block.

#include "tools/host/PluginFormat.h"

#include <string>
#include <vector>

namespace ondrell::host {

struct BenchOptions {
  double seconds = 60.0;     // audio measured
  double preroll = 2.0;      // audio processed before measuring, so parameter glides have settled
  double sampleRate = 48000.0;
  uint32_t blockSize = 512;
  bool use64 = false;
};

struct BenchResult {
  double threadCpuSeconds = 0.0;   // CPU time of the processing thread while measuring
  double processCpuSeconds = 0.0;  // CPU time of the whole process while measuring (includes plug-in threads)
  double wallSeconds = 0.0;
  double audioSeconds = 0.0;
  double peak = 0.0;               // largest output magnitude, a check that audio came out
};

// The plug-ins must be inactive; they are left inactive.
bool BenchPlugins(const std::vector<HostedPlugin*>& plugins, const BenchOptions& options, BenchResult& result,
                  std::string& error);

}  // namespace ondrell::host

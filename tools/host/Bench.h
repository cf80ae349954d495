#pragma once
// CPU cost of a hosted plug-in: processes a stretch of stereo noise block by block on the calling thread, the way
// a DAW's audio thread does, and measures the CPU time that took.

#include "tools/host/PluginFormat.h"

#include <string>

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

// The plug-in must be inactive; it is left inactive.
bool BenchPlugin(HostedPlugin& plugin, const BenchOptions& options, BenchResult& result, std::string& error);

}  // namespace ondrell::host

#include "tools/host/Bench.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace ondrell::host {
namespace {

double Clock(clockid_t id) {
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

bool BenchPlugin(HostedPlugin& plugin, const BenchOptions& options, BenchResult& result, std::string& error) {
  result = BenchResult{};
  if (options.blockSize == 0 || options.seconds <= 0.0 || options.sampleRate <= 0.0) {
    error = "the block size, duration and rate must be positive";
    return false;
  }
  if (plugin.IsActive()) plugin.Deactivate();
  plugin.SetOffline(false);
  const PortLayout ports = plugin.Ports();
  if (ports.outputChannels == 0) {
    error = "the plug-in has no audio output";
    return false;
  }
  const bool wide = options.use64 && ports.supports64;
  if (!plugin.Activate(options.sampleRate, options.blockSize)) {
    error = "the plug-in refused to activate";
    return false;
  }
  if (!plugin.StartProcessing()) {
    plugin.Deactivate();
    error = "the plug-in refused to start processing";
    return false;
  }

  // One second of noise at -12 dBFS (a fixed linear congruential sequence), looped: every run sees the same input.
  const uint32_t block = options.blockSize;
  const size_t loop = static_cast<size_t>(options.sampleRate);
  std::vector<std::vector<double>> noise(std::max<uint32_t>(ports.inputChannels, 1), std::vector<double>(loop));
  uint32_t state = 12345;
  for (auto& channel : noise)
    for (double& x : channel) {
      state = state * 1664525u + 1013904223u;
      x = (static_cast<double>(state >> 8) / 16777216.0 * 2.0 - 1.0) * 0.25;
    }
  const uint32_t inCh = ports.inputChannels, outCh = ports.outputChannels;
  std::vector<std::vector<float>> in32(inCh, std::vector<float>(block)), out32(outCh, std::vector<float>(block));
  std::vector<std::vector<double>> in64(inCh, std::vector<double>(block)), out64(outCh, std::vector<double>(block));
  std::vector<const float*> in32p(inCh);
  std::vector<float*> out32p(outCh);
  std::vector<const double*> in64p(inCh);
  std::vector<double*> out64p(outCh);
  for (uint32_t c = 0; c < inCh; ++c) {
    in32p[c] = in32[c].data();
    in64p[c] = in64[c].data();
  }
  for (uint32_t c = 0; c < outCh; ++c) {
    out32p[c] = out32[c].data();
    out64p[c] = out64[c].data();
  }

  const auto prerollFrames = static_cast<uint64_t>(options.preroll * options.sampleRate);
  const auto measuredFrames = static_cast<uint64_t>(options.seconds * options.sampleRate);
  size_t at = 0;
  bool ok = true;
  auto run = [&](uint64_t frames, bool measure) {
    double threadStart = 0.0, processStart = 0.0, wallStart = 0.0;
    if (measure) {
      threadStart = Clock(CLOCK_THREAD_CPUTIME_ID);
      processStart = Clock(CLOCK_PROCESS_CPUTIME_ID);
      wallStart = Clock(CLOCK_MONOTONIC);
    }
    for (uint64_t done = 0; done < frames && ok;) {
      const auto n = static_cast<uint32_t>(std::min<uint64_t>(block, frames - done));
      for (uint32_t c = 0; c < inCh; ++c)
        for (uint32_t i = 0; i < n; ++i) {
          const double v = noise[c][(at + i) % loop];
          in32[c][i] = static_cast<float>(v);
          in64[c][i] = v;
        }
      at = (at + n) % loop;
      AudioBlock b;
      b.frames = n;
      if (wide) {
        b.in64 = inCh ? in64p.data() : nullptr;
        b.out64 = out64p.data();
      } else {
        b.in32 = inCh ? in32p.data() : nullptr;
        b.out32 = out32p.data();
      }
      if (plugin.Process(b) <= 0) {
        ok = false;
        break;
      }
      if (measure)
        for (uint32_t c = 0; c < outCh; ++c)
          for (uint32_t i = 0; i < n; ++i)
            result.peak = std::max(result.peak, std::fabs(wide ? out64[c][i] : double(out32[c][i])));
      done += n;
    }
    if (measure) {
      result.threadCpuSeconds = Clock(CLOCK_THREAD_CPUTIME_ID) - threadStart;
      result.processCpuSeconds = Clock(CLOCK_PROCESS_CPUTIME_ID) - processStart;
      result.wallSeconds = Clock(CLOCK_MONOTONIC) - wallStart;
    }
  };
  run(prerollFrames, false);
  // The plug-in may have asked for a restart (a new latency) while settling; re-activate as a DAW would.
  plugin.PumpMainThread(0);
  if (ok && plugin.TakeRestartRequest()) {
    plugin.StopProcessing();
    plugin.Deactivate();
    ok = plugin.Activate(options.sampleRate, options.blockSize) && plugin.StartProcessing();
    if (ok) run(prerollFrames, false);
  }
  if (ok) run(measuredFrames, true);
  result.audioSeconds = static_cast<double>(measuredFrames) / options.sampleRate;
  plugin.StopProcessing();
  plugin.Deactivate();
  if (!ok) error = "the plug-in failed to process";
  return ok;
}

}  // namespace ondrell::host

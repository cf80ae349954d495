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

// The buffers of one instance.
struct Lane {
  HostedPlugin* plugin = nullptr;
  bool wide = false;
  uint32_t inCh = 0, outCh = 0;
  std::vector<std::vector<float>> in32, out32;
  std::vector<std::vector<double>> in64, out64;
  std::vector<const float*> in32p;
  std::vector<float*> out32p;
  std::vector<const double*> in64p;
  std::vector<double*> out64p;
};

bool Start(Lane& lane, const BenchOptions& options) {
  return lane.plugin->Activate(options.sampleRate, options.blockSize) && lane.plugin->StartProcessing();
}

void Stop(Lane& lane) {
  lane.plugin->StopProcessing();
  lane.plugin->Deactivate();
}

}  // namespace

bool BenchPlugins(const std::vector<HostedPlugin*>& plugins, const BenchOptions& options, BenchResult& result,
                  std::string& error) {
  result = BenchResult{};
  if (plugins.empty() || options.blockSize == 0 || options.seconds <= 0.0 || options.sampleRate <= 0.0) {
    error = "bench needs a plug-in, and a positive block size, duration and rate";
    return false;
  }
  const uint32_t block = options.blockSize;
  std::vector<Lane> lanes(plugins.size());
  uint32_t maxIn = 1;
  for (size_t k = 0; k < plugins.size(); ++k) {
    Lane& lane = lanes[k];
    lane.plugin = plugins[k];
    if (lane.plugin->IsActive()) lane.plugin->Deactivate();
    lane.plugin->SetOffline(false);
    const PortLayout ports = lane.plugin->Ports();
    if (ports.outputChannels == 0) {
      error = "the plug-in has no audio output";
      return false;
    }
    lane.wide = options.use64 && ports.supports64;
    lane.plugin->SetSamplePrecision(lane.wide);
    lane.inCh = ports.inputChannels;
    lane.outCh = ports.outputChannels;
    maxIn = std::max(maxIn, lane.inCh);
    lane.in32.assign(lane.inCh, std::vector<float>(block));
    lane.in64.assign(lane.inCh, std::vector<double>(block));
    lane.out32.assign(lane.outCh, std::vector<float>(block));
    lane.out64.assign(lane.outCh, std::vector<double>(block));
    for (uint32_t c = 0; c < lane.inCh; ++c) {
      lane.in32p.push_back(lane.in32[c].data());
      lane.in64p.push_back(lane.in64[c].data());
    }
    for (uint32_t c = 0; c < lane.outCh; ++c) {
      lane.out32p.push_back(lane.out32[c].data());
      lane.out64p.push_back(lane.out64[c].data());
    }
  }
  for (Lane& lane : lanes)
    if (!Start(lane, options)) {
      error = "the plug-in refused to activate or to start processing";
      for (Lane& started : lanes) Stop(started);
      return false;
    }

  // One second of noise at -12 dBFS per channel (a fixed linear congruential sequence), looped: every run sees the
  // same input. Instance k takes channels k*inputs .. (k+1)*inputs-1, so mono instances share a stereo signal.
  const size_t loop = static_cast<size_t>(options.sampleRate);
  const size_t noiseChannels = std::max<size_t>(2, maxIn * lanes.size());
  std::vector<std::vector<double>> noise(noiseChannels, std::vector<double>(loop));
  uint32_t state = 12345;
  for (auto& channel : noise)
    for (double& x : channel) {
      state = state * 1664525u + 1013904223u;
      x = (static_cast<double>(state >> 8) / 16777216.0 * 2.0 - 1.0) * 0.25;
    }

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
      for (size_t k = 0; k < lanes.size() && ok; ++k) {
        Lane& lane = lanes[k];
        for (uint32_t c = 0; c < lane.inCh; ++c) {
          const std::vector<double>& src = noise[(k * lane.inCh + c) % noise.size()];
          for (uint32_t i = 0; i < n; ++i) {
            const double v = src[(at + i) % loop];
            lane.in32[c][i] = static_cast<float>(v);
            lane.in64[c][i] = v;
          }
        }
        AudioBlock b;
        b.frames = n;
        if (lane.wide) {
          b.in64 = lane.inCh ? lane.in64p.data() : nullptr;
          b.out64 = lane.out64p.data();
        } else {
          b.in32 = lane.inCh ? lane.in32p.data() : nullptr;
          b.out32 = lane.out32p.data();
        }
        if (lane.plugin->Process(b) <= 0) ok = false;
        if (measure)
          for (uint32_t c = 0; c < lane.outCh; ++c)
            for (uint32_t i = 0; i < n; ++i)
              result.peak =
                  std::max(result.peak, std::fabs(lane.wide ? lane.out64[c][i] : double(lane.out32[c][i])));
      }
      at = (at + n) % loop;
      done += n;
    }
    if (measure) {
      result.threadCpuSeconds = Clock(CLOCK_THREAD_CPUTIME_ID) - threadStart;
      result.processCpuSeconds = Clock(CLOCK_PROCESS_CPUTIME_ID) - processStart;
      result.wallSeconds = Clock(CLOCK_MONOTONIC) - wallStart;
    }
  };

  const auto prerollFrames = static_cast<uint64_t>(options.preroll * options.sampleRate);
  run(prerollFrames, false);
  // A plug-in may have announced a new latency while settling; it is re-activated as a DAW would.
  for (Lane& lane : lanes) {
    lane.plugin->PumpMainThread(0);
    if (ok && lane.plugin->TakeRestartRequest()) {
      Stop(lane);
      ok = Start(lane, options);
    }
  }
  if (ok) run(prerollFrames, false);
  const auto measuredFrames = static_cast<uint64_t>(options.seconds * options.sampleRate);
  if (ok) run(measuredFrames, true);
  result.audioSeconds = static_cast<double>(measuredFrames) / options.sampleRate;
  for (Lane& lane : lanes) Stop(lane);
  if (!ok) error = "the plug-in failed to process";
  return ok;
}

}  // namespace ondrell::host

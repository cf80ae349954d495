#include "tools/host/Render.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace ondrell::host {

bool Render(HostedPlugin& plugin, const AudioData& input, AudioData& output, const RenderOptions& options,
            RenderReport& report, std::string& error) {
  report = RenderReport{};
  if (options.blockSize == 0) {
    error = "the block size must be at least 1";
    return false;
  }
  if (plugin.IsActive()) plugin.Deactivate();
  report.renderModeAccepted = plugin.SetOffline(options.offline);

  const PortLayout ports = plugin.Ports();
  if (ports.outputChannels == 0) {
    error = "the plug-in has no audio output";
    return false;
  }
  const bool wide = options.use64 && ports.supports64;
  report.used64 = wide;
  plugin.SetSamplePrecision(wide);
  if (!plugin.Activate(input.sampleRate, options.blockSize)) {
    error = "the plug-in refused to activate";
    return false;
  }
  report.latency = report.finalLatency = plugin.Latency();

  const uint64_t inFrames = input.Frames();
  const uint64_t delay = options.compensateLatency ? report.latency : 0;
  const uint64_t total = inFrames + options.extraFrames + delay;
  output.sampleRate = input.sampleRate;
  output.channels.assign(ports.outputChannels, std::vector<double>(inFrames + options.extraFrames, 0.0));

  const uint32_t block = options.blockSize;
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

  uint64_t pos = 0;
  bool failed = false;
  while (pos < total && !failed) {
    std::atomic<bool> done{false}, restart{false};
    // The audio thread: one run of start_processing .. stop_processing, ended early by a restart request.
    std::thread audio([&] {
      if (!plugin.StartProcessing()) {
        error = "the plug-in refused to start processing";
        failed = true;
        done = true;
        return;
      }
      while (pos < total && !restart.load()) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(block, total - pos));
        for (uint32_t c = 0; c < inCh; ++c) {
          const std::vector<double>* src = input.channels.empty() ? nullptr : &input.channels[c % input.channels.size()];
          for (uint32_t i = 0; i < n; ++i) {
            const double v = src && pos + i < inFrames ? (*src)[pos + i] : 0.0;
            in32[c][i] = static_cast<float>(v);
            in64[c][i] = v;
          }
        }
        AudioBlock b;
        b.frames = n;
        if (wide) {
          b.in64 = inCh ? in64p.data() : nullptr;
          b.out64 = out64p.data();
        } else {
          b.in32 = inCh ? in32p.data() : nullptr;
          b.out32 = out32p.data();
        }
        const int status = plugin.Process(b);
        report.lastStatus = status;
        ++report.blocks;
        if (status <= 0) {
          error = "the plug-in failed to process (status " + std::to_string(status) + ")";
          failed = true;
          break;
        }
        for (uint32_t c = 0; c < outCh; ++c)
          for (uint32_t i = 0; i < n; ++i) {
            const uint64_t at = pos + i;
            if (at < delay) continue;
            output.channels[c][at - delay] = wide ? out64[c][i] : double(out32[c][i]);
          }
        pos += n;
      }
      plugin.StopProcessing();
      done = true;
    });
    while (!done.load()) {
      plugin.PumpMainThread(5);
      if (plugin.TakeRestartRequest()) restart = true;
    }
    audio.join();
    plugin.PumpMainThread(0);
    if (plugin.TakeRestartRequest()) restart = true;
    if (restart.load() && !failed) {
      // A restart is how a plug-in gets a new latency or configuration to the host: re-activate.
      plugin.Deactivate();
      if (!plugin.Activate(input.sampleRate, options.blockSize)) {
        error = "the plug-in refused to re-activate after a restart request";
        failed = true;
        break;
      }
      ++report.restarts;
      report.finalLatency = plugin.Latency();
    }
  }
  plugin.Deactivate();
  plugin.PumpMainThread(0);
  return !failed;
}

}  // namespace ondrell::host

// Plug-in core hot paths: parameter stores and queue traffic (audio thread), the 32-bit block path through the
// channel slots, and state chunk loading (main thread).
#include <benchmark/benchmark.h>

#include <vector>

#include "core/IPluginAPIBase.h"

using namespace ondrell;

namespace {

class BenchPlugin : public IPluginAPIBase, public IPluginProcessor {
 public:
  explicit BenchPlugin(const Config& c) : IPluginAPIBase(c, PluginApi::CLAP), IPluginProcessor(c) {
    for (int i = 0; i < NParams(); ++i) GetParam(i)->DefineDouble("p", 0.0, -20.0, 20.0, 0.1, "dB");
  }
  bool SendMidiMsg(const MidiMsg&) override { return true; }
  using IPluginAPIBase::mParamChangesForEditor;
};

Config BenchConfig() {
  Config c;
  c.nParams = 10;
  c.channelIO = "1-1 2-2";
  c.hasEditor = true;
  return c;
}

void BM_Core_ParamSetNormalised(benchmark::State& state) {
  IParam p;
  p.DefineDouble("Gain", 0.0, -20.0, 10.0, 0.1, "dB");
  double n = 0.0;
  for (auto _ : state) {
    n = n < 1.0 ? n + 0.001 : 0.0;
    benchmark::DoNotOptimize(p.SetNormalised(n));
  }
}
BENCHMARK(BM_Core_ParamSetNormalised);

void BM_Core_ParamQueuePushPop(benchmark::State& state) {
  BenchPlugin plugin(BenchConfig());
  ParamChange change;
  for (auto _ : state) {
    plugin.QueueParamValueForEditor(4, 0.25, true);
    benchmark::DoNotOptimize(plugin.mParamChangesForEditor.Pop(change));
  }
}
BENCHMARK(BM_Core_ParamQueuePushPop);

// One stereo block of 32-bit host buffers: convert in, default pass-through, convert out.
void BM_Core_Block32(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  BenchPlugin plugin(BenchConfig());
  plugin.SetBlockSize(frames);
  std::vector<float> inL(frames, 0.5f), inR(frames, -0.5f), outL(frames), outR(frames);
  float* ins[] = {inL.data(), inR.data()};
  float* outs[] = {outL.data(), outR.data()};
  for (auto _ : state) {
    plugin.SetChannelsConnected(RouteDirection::Input, 0, 2, true);
    plugin.SetChannelsConnected(RouteDirection::Output, 0, 2, true);
    plugin.AttachBuffers(RouteDirection::Input, 0, 2, ins, frames);
    plugin.AttachBuffers(RouteDirection::Output, 0, 2, outs, frames);
    plugin.ProcessBuffers32(frames);
    benchmark::DoNotOptimize(outL.data());
  }
  state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(BM_Core_Block32)->Arg(64)->Arg(512);

void BM_Core_UnserializeState(benchmark::State& state) {
  BenchPlugin plugin(BenchConfig());
  ByteChunk chunk;
  plugin.SerializeState(chunk);
  for (auto _ : state) benchmark::DoNotOptimize(plugin.UnserializeState(chunk, 0));
}
BENCHMARK(BM_Core_UnserializeState);

}  // namespace

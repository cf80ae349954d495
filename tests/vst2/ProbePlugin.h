#pragma once
// A small plug-in on the VST2 adapter for tests of the adapter itself: it doubles its input, and records what the
// adapter hands it (block lengths, transport, offline flag, key presses, parameter and editor notifications).
// Threads: processing records are written on the audio thread and read by the test after the call returns;
// idle-side records are atomics because the idle thread writes them.

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "graphics/IGraphicsTypes.h"
#include "vst2/IPluginVST2.h"

namespace ondrell::test {

inline Config ProbeConfig() {
  Config c;
  c.nParams = 3;
  c.nPresets = 1;
  c.channelIO = "1-1 2-2";
  c.pluginName = "Probe";
  c.productName = "Probe Product";
  c.makerName = "Ondrell Audio";
  c.version = PackVersion(1, 2, 3);
  c.uniqueId = FourCharCode("Prb1");
  c.makerId = FourCharCode("Ondr");
  c.hasEditor = true;
  c.editorWidth = 664;
  c.editorHeight = 215;
  c.editorWidthLimits = {221, 1992};
  c.editorHeightLimits = {71, 645};
  return c;
}

class ProbePlugin : public IPluginVST2 {
 public:
  explicit ProbePlugin(const CreationArgs& args) : IPluginVST2(ProbeConfig(), args) {
    GetParam(0)->DefineDouble("Level", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(1)->DefineEnum("Mode", 2, 6, "", 0, "", {"Off", "30 Hz", "50 Hz", "80 Hz", "160 Hz", "300 Hz"});
    GetParam(2)->DefineBool("Switch", false, "", IParam::FlagNoAutomation);
  }

  using IEditorDelegate::OnParamChange;
  void OnParamChange(int /*paramIdx*/) override { paramChanges.fetch_add(1); }
  void OnParamChangeForEditor(int /*paramIdx*/, ParamChangeSource source) override {
    if (source == ParamChangeSource::EditorDelegate) editorDeliveries.fetch_add(1);
  }

  void ProcessBlock(sample** inputs, sample** outputs, int nFrames) override {
    ++blocks;
    maxFrames = std::max(maxFrames, nFrames);
    transport = GetTransportInfo();
    offline = GetRenderingOffline();
    for (int c = 0; c < NChannels(RouteDirection::Output); ++c)
      for (int i = 0; i < nFrames; ++i) outputs[c][i] = 2.0 * inputs[c][i];
    if (onBlock) onBlock();
  }

  void OnIdle() override {
    idleTicks.fetch_add(1);
    const int latency = pendingLatency.exchange(-1);
    if (latency >= 0) SetLatency(latency);
  }

  bool OnHostKeyDown(const graphics::IKeyPress& key) override {
    lastKey = key;
    keyDowns.fetch_add(1);
    return true;
  }
  bool OnHostKeyUp(const graphics::IKeyPress& key) override {
    lastKey = key;
    return false;
  }

  void OnReset() override { resets.fetch_add(1); }
  void OnActivate(bool active) override { activations.push_back(active); }

  // Lets a test queue SysEx as the editor would.
  void SendSysExFromEditorForTest(const SysExMsg& msg) { SendSysExFromEditor(msg); }

  int blocks = 0;
  int maxFrames = 0;
  TransportInfo transport;
  bool offline = false;
  std::function<void()> onBlock;
  graphics::IKeyPress lastKey;
  std::vector<bool> activations;
  std::atomic<int> paramChanges{0};
  std::atomic<int> editorDeliveries{0};
  std::atomic<int> idleTicks{0};
  std::atomic<int> pendingLatency{-1};
  std::atomic<int> keyDowns{0};
  std::atomic<int> resets{0};
};

}  // namespace ondrell::test

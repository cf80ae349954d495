#pragma once
// A lean plug-in for the fuzzers: the equaliser's configuration and parameter set, no recording, and checks
// that stop the run (abort) when an invariant breaks.
#include <cmath>
#include <cstdlib>

#include "core/IPluginAPIBase.h"

namespace ondrell::fuzz {

inline void Require(bool condition) {
  if (!condition) std::abort();
}

class FuzzPlugin : public IPluginAPIBase, public IPluginProcessor {
 public:
  explicit FuzzPlugin(const Config& config) : IPluginAPIBase(config, PluginApi::VST2), IPluginProcessor(config) {
    GetParam(0)->DefineEnum("HPF", 0, 6, "", 0, "", {"Off", "30 Hz", "50 Hz", "80 Hz", "160 Hz", "300 Hz"});
    GetParam(1)->DefineEnum("LoShelf Freq", 0, 4, "", 0, "", {"35 Hz", "60 Hz", "110 Hz", "220 Hz"});
    GetParam(2)->DefineDouble("LoShelf Level", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(3)->DefineEnum("MF 1 Freq", 2, 6);
    GetParam(4)->DefineDouble("MF Level 1", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(5)->DefineEnum("MF 2 Freq", 3, 7);
    GetParam(6)->DefineDouble("MF Level 2", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(7)->DefineDouble("HiShelf Level", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(8)->DefineDouble("Gain", 0.0, -20.0, 10.0, 0.1, "dB");
    GetParam(9)->DefineBool("Oversampling", false, "", IParam::FlagNoAutomation, "", "off", "on");
  }

  static Config MakeConfig(int nPresets) {
    Config c;
    c.nParams = 10;
    c.nPresets = nPresets;
    c.channelIO = "1-1 2-2";
    c.hasEditor = true;
    return c;
  }

  bool SendMidiMsg(const MidiMsg&) override { return true; }

  // Every value finite, inside its range, and on its step where the parameter is stepped.
  void RequireSaneValues() const {
    for (int i = 0; i < NParams(); ++i) {
      const IParam& p = *GetParam(i);
      const double v = p.Value();
      Require(std::isfinite(v) && v >= p.GetMin() && v <= p.GetMax());
      if (p.HasFlag(IParam::FlagStepped)) Require(v == std::round(v / p.GetStep()) * p.GetStep());
    }
  }
};

}  // namespace ondrell::fuzz

// quorl-selfcheck: runs the plug-in core end to end outside any host and prints a short report.
// It defines the equaliser's parameters, saves and reloads a state chunk and a preset bank, routes a host
// change through the queue to the editor side with an idle-timer tick, processes one block through the
// channel slots, and identifies a host. Exits 1 when any check fails.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "core/IPluginAPIBase.h"

using namespace ondrell;

namespace {

// A stand-in for a format adapter: it remembers what would go to the host and to the editor.
class SelfCheckPlugin : public IPluginAPIBase, public IPluginProcessor {
 public:
  explicit SelfCheckPlugin(const Config& config)
      : IPluginAPIBase(config, PluginApi::CLAP), IPluginProcessor(config) {
    GetParam(0)->DefineEnum("HPF", 0, 6, "", 0, "", {"Off", "30 Hz", "50 Hz", "80 Hz", "160 Hz", "300 Hz"});
    GetParam(1)->DefineEnum("LoShelf Freq", 0, 4, "", 0, "", {"35 Hz", "60 Hz", "110 Hz", "220 Hz"});
    GetParam(2)->DefineDouble("LoShelf Level", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(3)->DefineEnum("MF 1 Freq", 2, 6, "", 0, "", {"150 Hz", "180 Hz", "240 Hz", "400 Hz", "820 Hz", "1200 Hz"});
    GetParam(4)->DefineDouble("MF Level 1", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(5)->DefineEnum("MF 2 Freq", 3, 7, "", 0, "",
                            {"220 Hz", "315 Hz", "640 Hz", "2500 Hz", "3150 Hz", "6000 Hz", "8000 Hz"});
    GetParam(6)->DefineDouble("MF Level 2", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(7)->DefineDouble("HiShelf Level", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(8)->DefineDouble("Gain", 0.0, -20.0, 10.0, 0.1, "dB");
    GetParam(9)->DefineBool("Oversampling", false, "", IParam::FlagNoAutomation, "", "off", "on");
  }
  ~SelfCheckPlugin() override { StopIdleTimer(); }

  bool SendMidiMsg(const MidiMsg&) override { return true; }
  void SendParamValueToEditor(int index, double value, bool normalised) override {
    if (!normalised) editorValues.push_back({index, value});
  }
  void OnIdle() override { ++idleTicks; }

  std::vector<ParamChange> editorValues;
  int idleTicks = 0;
};

Config EqConfig() {
  Config c;
  c.nParams = 10;
  c.nPresets = 1;
  c.channelIO = "1-1 2-2";
  c.pluginName = "Quorl EQ";
  c.productName = "Quorl EQ";
  c.makerName = "Ondrell Audio";
  c.version = PackVersion(4, 1, 0);
  c.uniqueId = FourCharCode("Qreq");
  c.makerId = FourCharCode("Ondr");
  c.hasEditor = true;
  c.editorWidth = 664;
  c.editorHeight = 215;
  c.editorWidthLimits = {221, 1992};
  c.editorHeightLimits = {71, 645};
  return c;
}

int gFailures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("  %-4s %s\n", ok ? "ok" : "FAIL", what.c_str());
  if (!ok) ++gFailures;
}

std::string Shown(const IParam& p) {
  std::string text;
  p.FormatValue(p.Value(), false, text);
  const std::string label = p.DisplayLabel();
  return label.empty() ? text : text + " " + label;
}

}  // namespace

int main() {
  SelfCheckPlugin plugin(EqConfig());
  const int version = plugin.GetPluginVersion(false);
  std::printf("%s %d.%d.%d by %s: %d parameters, %d channel configurations\n", plugin.GetPluginName().c_str(),
              version >> 16, (version >> 8) & 0xFF, version & 0xFF, plugin.GetMakerName().c_str(), plugin.NParams(),
              plugin.NIOConfigs());

  std::printf("\nParameters\n");
  for (int i = 0; i < plugin.NParams(); ++i) {
    const IParam& p = *plugin.GetParam(i);
    std::printf("  %d  %-14s %-8s normalised %.4f\n", i, p.GetName(), Shown(p).c_str(), p.Normalised());
  }

  std::printf("\nState\n");
  ByteChunk defaults;
  plugin.SerializeState(defaults);
  Check(defaults.Size() == 80, "defaults save as " + std::to_string(defaults.Size()) + " bytes (10 doubles)");
  plugin.GetParam(4)->SetValue(-7.25);
  plugin.GetParam(5)->SetValue(5);
  plugin.GetParam(9)->SetValue(1);
  ByteChunk edited;
  plugin.SerializeState(edited);
  plugin.UnserializeState(defaults, 0);
  Check(plugin.GetParam(4)->Value() == 0.0, "loading the defaults restores \"MF Level 1\" to 0.0 dB");
  const int end = plugin.UnserializeState(edited, 0);
  Check(end == 80 && plugin.GetParam(5)->Value() == 5.0 && plugin.GetParam(9)->Value() == 1.0,
        "loading the edited chunk gives \"MF 2 Freq\" " + Shown(*plugin.GetParam(5)) + ", \"Oversampling\" " +
            Shown(*plugin.GetParam(9)));
  ByteChunk shortChunk;
  shortChunk.AppendBytes(defaults.Data(), 79);
  Check(plugin.UnserializeState(shortChunk, 0) == -1, "a 79-byte chunk is refused (-1)");
  Check(!plugin.GetParam(4)->SetValue(std::numeric_limits<double>::quiet_NaN()) &&
            plugin.GetParam(4)->Value() == 0.0,
        "a NaN value is refused and the parameter keeps its value");

  std::printf("\nPresets\n");
  plugin.InitializeEmptyPresets();
  plugin.ModifyCurrentPreset("Selfcheck");
  ByteChunk bank;
  plugin.SerializePresets(bank);
  SelfCheckPlugin other(EqConfig());
  const int bankEnd = other.UnserializePresets(bank, 0);
  Check(bankEnd == bank.Size() && std::string(other.GetPresetName(0)) == "Selfcheck" &&
            other.GetParam(4)->Value() == plugin.GetParam(4)->Value(),
        "a " + std::to_string(bank.Size()) + "-byte bank carries the preset \"" + other.GetPresetName(0) +
            "\" to a second instance");

  std::printf("\nParameter routing\n");
  plugin.StartIdleTimer();
  std::thread audio([&] {  // host automation arrives on the audio thread
    IParam& gain = *plugin.GetParam(8);
    gain.SetNormalised(0.5);
    plugin.QueueParamValueForEditor(8, 0.5, true);
  });
  audio.join();
  std::this_thread::sleep_for(std::chrono::milliseconds(IPluginAPIBase::kIdleTimerPeriodMs + 5));
  const int fired = Timer::PumpMainThreadTimers();  // what the adapter's main-thread hook does
  Check(fired == 1 && plugin.idleTicks == 1, "the 20 ms idle timer ticked once when pumped");
  Check(plugin.editorValues.size() == 1 && plugin.editorValues[0].index == 8 &&
            plugin.editorValues[0].value == -5.0,
        "the host's normalised 0.5 for \"Gain\" reached the editor as " + Shown(*plugin.GetParam(8)));

  std::printf("\nProcessing\n");
  plugin.SetBlockSize(4);
  float left[4] = {0.5f, -0.25f, 0.125f, 1.0f};
  float right[4] = {-1.0f, 0.0f, 0.75f, 0.25f};
  float outLeft[4] = {}, outRight[4] = {};
  float* ins[] = {left, right};
  float* outs[] = {outLeft, outRight};
  plugin.SetChannelsConnected(RouteDirection::Input, 0, 2, true);
  plugin.SetChannelsConnected(RouteDirection::Output, 0, 2, true);
  plugin.AttachBuffers(RouteDirection::Input, 0, 2, ins, 4);
  plugin.AttachBuffers(RouteDirection::Output, 0, 2, outs, 4);
  plugin.ProcessBuffers32(4);
  bool same = true;
  for (int f = 0; f < 4; ++f) same = same && outLeft[f] == left[f] && outRight[f] == right[f];
  Check(same, "a stereo 32-bit block passes through the default processing unchanged");
  Check(plugin.LegalIO(1, 1) && plugin.LegalIO(2, 2) && !plugin.LegalIO(1, 2), "mono and stereo are legal, 1-in 2-out is not");

  std::printf("\nHost\n");
  plugin.SetHost("Bitwig Studio", PackVersion(5, 2, 0));
  Check(plugin.GetHostId() == HostId::Bitwig, "\"Bitwig Studio\" is identified as host " +
                                                  std::to_string(static_cast<int>(plugin.GetHostId())));

  std::printf("\n%s: %d failure%s\n", gFailures == 0 ? "PASSED" : "FAILED", gFailures, gFailures == 1 ? "" : "s");
  return gFailures == 0 ? 0 : 1;
}

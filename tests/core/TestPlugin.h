#pragma once
// A stand-in format adapter for the core tests: IPluginAPIBase first, IPluginProcessor second, as the real
// adapters derive. It records the hooks it sees as short text lines, in order.
#include <string>
#include <vector>

#include "core/IPluginAPIBase.h"

namespace ondrell::test {

// The equaliser's configuration record and parameter set, so the tests run against the real shape of the data.
inline Config EqConfig() {
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
  c.editorWidthLimits = {1992, 221};
  c.editorHeightLimits = {71, 645};
  return c;
}

inline std::string Src(ParamChangeSource s) { return ParamChangeSourceName(s); }

class TestPlugin : public IPluginAPIBase, public IPluginProcessor {
 public:
  using IEditorDelegate::OnParamChange;

  explicit TestPlugin(const Config& config = EqConfig(), PluginApi api = PluginApi::CLAP)
      : IPluginAPIBase(config, api), IPluginProcessor(config) {
    if (config.nParams == 10) DefineEqParams();
  }
  ~TestPlugin() override { StopIdleTimer(); }

  void DefineEqParams() {
    GetParam(0)->DefineEnum("HPF", 0, 6, "", 0, "", {"Off", "30 Hz", "50 Hz", "80 Hz", "160 Hz", "300 Hz"});
    GetParam(1)->DefineEnum("LoShelf Freq", 0, 4, "", 0, "", {"35 Hz", "60 Hz", "110 Hz", "220 Hz"});
    GetParam(2)->DefineDouble("LoShelf Level", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(3)->DefineEnum("MF 1 Freq", 2, 6, "", 0, "",
                            {"150 Hz", "180 Hz", "240 Hz", "400 Hz", "820 Hz", "1200 Hz"});
    GetParam(4)->DefineDouble("MF Level 1", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(5)->DefineEnum("MF 2 Freq", 3, 7, "", 0, "",
                            {"220 Hz", "315 Hz", "640 Hz", "2500 Hz", "3150 Hz", "6000 Hz", "8000 Hz"});
    GetParam(6)->DefineDouble("MF Level 2", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(7)->DefineDouble("HiShelf Level", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(8)->DefineDouble("Gain", 0.0, -20.0, 10.0, 0.1, "dB");
    GetParam(9)->DefineBool("Oversampling", false, "", IParam::FlagNoAutomation, "", "off", "on");
  }

  // Recording hooks.
  void OnParamChange(int i) override { Log("OnParamChange(" + std::to_string(i) + ")"); }
  void OnParamChange(int i, ParamChangeSource s, int offset) override {
    Log("OnParamChange(" + std::to_string(i) + "," + Src(s) + "," + std::to_string(offset) + ")");
    IEditorDelegate::OnParamChange(i, s, offset);
  }
  void OnParamChangeForEditor(int i, ParamChangeSource s) override {
    Log("ForEditor(" + std::to_string(i) + "," + Src(s) + ")");
  }
  void SendParamValueToEditor(int i, double value, bool normalised) override {
    editorValues.push_back({i, value, normalised});
    IPluginAPIBase::SendParamValueToEditor(i, value, normalised);
  }
  void OnMidiMsgForEditor(const MidiMsg& msg) override {
    Log("EditorMidi(" + std::to_string(msg.offset) + "," + std::to_string(msg.status) + ")");
  }
  void OnSysExForEditor(const SysExMsg& msg) override {
    Log("EditorSysEx(" + std::to_string(msg.offset) + "," + std::to_string(msg.size) + ")");
    lastSysEx.assign(msg.data, msg.data + msg.size);
  }
  void OnHostSpecificSetup() override { Log("OnHostSpecificSetup"); }
  void OnHostKnown() override { Log("OnHostKnown"); }
  void OnIdle() override { Log("OnIdle"); }
  void OnPresetListChanged() override { Log("OnPresetListChanged"); }
  void OnStateRestored() override {
    Log("OnStateRestored");
    IPluginAPIBase::OnStateRestored();
  }
  void BeginParamEdit(int i) override { Log("BeginParamEdit(" + std::to_string(i) + ")"); }
  void EndParamEdit(int i) override { Log("EndParamEdit(" + std::to_string(i) + ")"); }
  void InformHostOfParamValue(int i, double n) override {
    Log("InformHost(" + std::to_string(i) + ")");
    informed.push_back(n);
  }
  bool RequestEditorResize(int w, int h) override {
    Log("RequestEditorResize(" + std::to_string(w) + "," + std::to_string(h) + ")");
    return hostAcceptsResize;
  }
  bool SendMidiMsg(const MidiMsg& msg) override {
    sentMidi.push_back(msg);
    return sendMidiResults.empty() || sendMidiResults[(sentMidi.size() - 1) % sendMidiResults.size()];
  }

  // Expose the adapter-side queue operations for the tests.
  using IPluginAPIBase::QueueMidiForEditor;
  using IPluginAPIBase::QueueSysExForEditor;
  using IPluginAPIBase::mMidiFromEditor;
  using IPluginAPIBase::mSysExFromEditor;
  using IPluginProcessor::ChannelPointers;
  using IPluginProcessor::Slots;

  struct EditorValue {
    int index;
    double value;
    bool normalised;
  };

  void Log(const std::string& line) { log.push_back(line); }

  std::vector<std::string> log;
  std::vector<EditorValue> editorValues;
  std::vector<double> informed;
  std::vector<MidiMsg> sentMidi;
  std::vector<bool> sendMidiResults;
  std::vector<uint8_t> lastSysEx;
  bool hostAcceptsResize = true;
};

}  // namespace ondrell::test

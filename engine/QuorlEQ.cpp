#include "engine/QuorlEQ.h"

#include "editor/DisplayScalePreference.h"
#include "editor/QuorlEQEditor.h"
#include "graphics/IGContext.h"

#include <cmath>
#include <initializer_list>

namespace ondrell {
inline namespace QUORL_ADAPTER_NAMESPACE {

Config QuorlEQ::MakeConfig()
{
  Config c;
  c.nParams = kNumParams;
  c.nPresets = 1;
  c.channelIO = "1-1 2-2";
  c.pluginName = "Quorl EQ";
  c.productName = "Quorl EQ";
  c.makerName = "Ondrell Audio";
  c.version = PackVersion(4, 1, 0);
  c.uniqueId = FourCharCode(kUniqueId);
  c.makerId = FourCharCode(kMakerId);
  c.latency = 0;
  c.midiIn = false;
  c.midiOut = false;
  c.mpe = false;
  c.stateChunks = false;
  c.pluginKind = 0;
  c.hasEditor = true;
  c.editorWidth = 664;
  c.editorHeight = 215;
  // One third and three times the design size, fraction dropped.
  c.editorWidthLimits = {664 / 3, 664 * 3};
  c.editorHeightLimits = {215 / 3, 215 * 3};
  c.bundleId = "";
  c.appGroupId = "";
  return c;
}

QuorlEQ::QuorlEQ(const CreationArgs& args)
  : QuorlEQBase(MakeConfig(), args)
  , mEngine(GetSampleRate())
{
  // The engine starts with output gain 0 dB, the sections set up at the processor's rate and oversampling
  // neither requested nor active, which is what the parameters' defaults below describe.
  DefineParams();
  SetMakeGraphicsFunc([this] { return editor::MakeEditorGraphics(*this); });
  SetLayoutFunc([](graphics::IGContext* ui) {
    if (ui)
      editor::LayoutEditor(*ui);
  });
}

QuorlEQ::~QuorlEQ() = default;

void QuorlEQ::DefineParams()
{
  const auto defineEnum = [this](int index, const char* name, int defaultValue,
                                 std::initializer_list<const char*> texts) {
    IParam* param = GetParam(index);
    param->DefineEnum(name, defaultValue, static_cast<int>(texts.size()), "", 0, "");
    int value = 0;
    for (const char* text : texts)
      param->AddDisplayText(value++, text);
  };
  const auto defineLevel = [this](int index, const char* name, double minimum, double maximum) {
    GetParam(index)->DefineDouble(name, 0.0, minimum, maximum, 0.1, "dB", 0, "", IParam::ShapeLinear{}, nullptr,
                                  nullptr);
  };

  defineEnum(kHighPassFreq, "HPF", 0, {"Off", "30 Hz", "50 Hz", "80 Hz", "160 Hz", "300 Hz"});
  defineEnum(kLowShelfFreq, "LoShelf Freq", 0, {"35 Hz", "60 Hz", "110 Hz", "220 Hz"});
  defineLevel(kLowShelfLevel, "LoShelf Level", -20.0, 20.0);
  defineEnum(kMid1Freq, "MF 1 Freq", 2, {"150 Hz", "180 Hz", "240 Hz", "400 Hz", "820 Hz", "1200 Hz"});
  defineLevel(kMid1Level, "MF Level 1", -20.0, 20.0);
  defineEnum(kMid2Freq, "MF 2 Freq", 3, {"220 Hz", "315 Hz", "640 Hz", "2500 Hz", "3150 Hz", "6000 Hz", "8000 Hz"});
  defineLevel(kMid2Level, "MF Level 2", -20.0, 20.0);
  defineLevel(kHighShelfLevel, "HiShelf Level", -20.0, 20.0);
  defineLevel(kGain, "Gain", -20.0, 10.0);
  GetParam(kOversampling)->DefineBool("Oversampling", false, "", IParam::FlagNoAutomation, "", "off", "on");
}

void QuorlEQ::OnParamChange(int paramIdx)
{
  const IParam* param = GetParam(paramIdx);
  if (param)
    mEngine.PostParamChange(paramIdx, param->Value());
}

void QuorlEQ::ProcessBlock(sample** inputs, sample** outputs, int nFrames)
{
  EngineBlock block;
  block.inputs = inputs;
  block.outputs = outputs;
  block.nFrames = nFrames;
  block.connectedOutputs = CountConnectedChannels(RouteDirection::Output);
  for (int channel = 0; channel < 2; ++channel)
  {
    block.inputReady[channel] = inputs && channel < NChannels(RouteDirection::Input)
                                && IsChannelConnected(RouteDirection::Input, channel) && inputs[channel];
    block.outputReady[channel] = outputs && channel < NChannels(RouteDirection::Output)
                                 && IsChannelConnected(RouteDirection::Output, channel) && outputs[channel];
  }
  mEngine.ProcessBlock(block);
}

void QuorlEQ::OnReset()
{
  EngineResetSettings settings;
  settings.sampleRate = GetSampleRate();
  settings.blockSize = GetBlockSize();
  settings.renderingOffline = GetRenderingOffline();
  settings.gainDb = GetParam(kGain)->Value();
  const EqEngine::ResetResult result = mEngine.Reset(settings);
  if (result.reportLatency)
    SetLatency(result.latency);
}

void QuorlEQ::OnEditorOpened()
{
  QuorlEQBase::OnEditorOpened();
  graphics::IGContext* ui = GetUI();
  if (ui == nullptr)
    return;
  const float scale = editor::ReadDisplayScale();
  if (std::fabs(scale - ui->GetDrawScale()) > 0.0001f)
  {
    // Applied as the end of a resize drag, so the pictures are reloaded for the new scale.
    ui->SetResizingInProcess(true);
    ui->SetFreeResize(false);
    ui->Resize(ui->Width(), ui->Height(), scale, true);
    ui->EndDragResize();
  }
}

void QuorlEQ::OnEditorClosed()
{
  QuorlEQBase::OnEditorClosed();
  if (const graphics::IGContext* ui = GetUI())
    editor::SaveDisplayScale(editor::kDisplayScalePrefName, ui->GetDrawScale());
}

void QuorlEQ::OnIdle()
{
  int latency = 0;
  if (mEngine.TakeLatencyChange(latency))
    SetLatency(latency);
}

} // namespace QUORL_ADAPTER_NAMESPACE
} // namespace ondrell

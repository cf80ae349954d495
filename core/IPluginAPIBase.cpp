#include "core/IPluginAPIBase.h"

#include <cmath>
#include <cstring>

#include "core/Trace.h"

namespace ondrell {

bool SysExBlock::Assign(const SysExMsg& msg) {
  if (msg.size < 0 || msg.size > kMaxSize) return false;
  offset = msg.offset;
  size = msg.size;
  if (msg.data != nullptr && msg.size > 0)
    std::memcpy(data, msg.data, static_cast<size_t>(msg.size));
  else
    std::memset(data, 0, sizeof data);
  return true;
}

IPluginAPIBase::IPluginAPIBase(const Config& config, PluginApi api)
    : IPluginBase(config.nParams, config.nPresets), mApi(api) {
  mUniqueId = config.uniqueId;
  mMakerId = config.makerId;
  mVersion = config.version;
  mPluginName = config.pluginName;
  mProductName = config.productName;
  mMakerName = config.makerName;
  mHasEditor = config.hasEditor;
  mStateChunks = config.stateChunks;
  SetEditorSize(config.editorWidth, config.editorHeight);
  SetEditorSizeLimits(config.editorWidthLimits[0], config.editorWidthLimits[1], config.editorHeightLimits[0],
                      config.editorHeightLimits[1]);
  mBundleId = config.bundleId;
  mAppGroupId = config.appGroupId;
  mParamDisplayText.clear();
}

IPluginAPIBase::~IPluginAPIBase() { StopIdleTimer(); }

bool IPluginAPIBase::QueueParamValueForEditor(int paramIdx, double value, bool normalised) {
  const IParam* param = GetParam(paramIdx);
  if (param == nullptr || !std::isfinite(value)) return false;
  if (normalised) value = param->FromNormalised(value);
  if (!std::isfinite(value)) return false;
  return mParamChangesForEditor.Push(ParamChange{paramIdx, value});
}

bool IPluginAPIBase::GetMidiNoteText(int /*note*/, std::string& text) const {
  text.clear();
  return false;
}

void IPluginAPIBase::SetParamValueFromEditor(int paramIdx, double normalised) {
  if (GetParam(paramIdx) == nullptr || !std::isfinite(normalised)) return;
  ApplyParamValueFromEditor(paramIdx, normalised);
  IEditorDelegate::SetParamValueFromEditor(paramIdx, normalised);
}

bool IPluginAPIBase::ResizeEditorFromEditor(int width, int height, bool needsHostResize) {
  return needsHostResize ? RequestEditorResize(width, height) : true;
}

void IPluginAPIBase::SendArbitraryMsgFromEditor(int messageTag, int controlTag, int dataSize, const void* data) {
  OnMessage(messageTag, controlTag, dataSize, data);
}

void IPluginAPIBase::QueueMidiMsgForProcessor(const MidiMsg& msg) { mMidiFromEditor.Push(msg); }

void IPluginAPIBase::QueueSysExForProcessor(const SysExMsg& msg) {
  SysExBlock block;
  if (block.Assign(msg)) mSysExFromEditor.Push(block);
}

bool IPluginAPIBase::QueueSysExForEditor(const SysExMsg& msg) {
  SysExBlock block;
  return block.Assign(msg) && mSysExForEditor.Push(block);
}

void IPluginAPIBase::SetHost(const char* name, int version) {
  mHostName = name != nullptr ? name : "";
  mHostId = IdentifyHost(mHostName.c_str());
  mHostVersion = version;
  ONDRELL_TRACE("ondrell::IPluginAPIBase::SetHost", "host \"%s\" id %d version %d", mHostName.c_str(),
                static_cast<int>(mHostId), version);
  OnHostSpecificSetup();
  OnHostKnown();
}

HostId IPluginAPIBase::IdentifyHost(const char* name) { return IdentifyHostName(name != nullptr ? name : ""); }

void IPluginAPIBase::StartIdleTimer(Timer::Drive drive) {
  StopIdleTimer();
  mIdleTimer = Timer::Create([this](Timer& timer) { OnIdleTimer(timer); }, kIdleTimerPeriodMs, drive);
}

void IPluginAPIBase::StopIdleTimer() {
  if (mIdleTimer) mIdleTimer->Stop();
}

void IPluginAPIBase::OnIdleTimer(Timer& /*timer*/) {
  if (HasEditor()) {
    ParamChange change;
    while (mParamChangesForEditor.Pop(change)) SendParamValueToEditor(change.index, change.value, false);
    MidiMsg msg;
    while (mMidiForEditor.Pop(msg)) SendMidiMsgToEditor(msg);
    while (mSysExForEditor.Pop(mSysExScratch)) SendSysExToEditor(mSysExScratch.AsMsg());
  }
  OnIdle();
}

void IPluginAPIBase::ApplyParamValueFromEditor(int paramIdx, double normalised) {
  IParam* param = GetParam(paramIdx);
  if (param == nullptr || !std::isfinite(normalised)) return;
  param->SetNormalised(normalised);
  InformHostOfParamValue(paramIdx, normalised);
  OnParamChange(paramIdx, ParamChangeSource::UI, -1);
}

}  // namespace ondrell

#include "core/IPluginAPIBase.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

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

namespace {

std::string_view Trimmed(std::string_view text) {
  const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace

bool IPluginAPIBase::ReadTypedValue(const IParam& param, const char* text, double& value) {
  if (text == nullptr) return false;
  for (int i = 0; i < param.DisplayTextCount(); ++i)
    if (std::strcmp(param.GetDisplayTextEntry(i)->text, text) == 0) {
      value = param.GetDisplayTextEntry(i)->value;
      return true;
    }
  const std::string_view typed = Trimmed(text);
  for (int i = 0; i < param.DisplayTextCount(); ++i)
    if (EqualIgnoringCase(param.GetDisplayTextEntry(i)->text, typed)) {
      value = param.GetDisplayTextEntry(i)->value;
      return true;
    }
  // An enumeration or a switch is one of its texts; numbers are no entries of theirs.
  if ((param.GetKind() == ParamKind::Enum || param.GetKind() == ParamKind::Bool) && param.DisplayTextCount() > 0)
    return false;
  const std::string number(typed);
  char* end = nullptr;
  const double parsed = std::strtod(number.c_str(), &end);
  if (end == number.c_str() || !std::isfinite(parsed)) return false;
  const std::string_view rest = Trimmed(std::string_view(end));
  if (!rest.empty() && !EqualIgnoringCase(rest, param.GetLabel())) return false;
  const double v = param.ParseText(number.substr(0, static_cast<size_t>(end - number.c_str())).c_str());
  if (!std::isfinite(v)) return false;
  value = v;
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

#include "core/IEditorDelegate.h"

#include <algorithm>
#include <cmath>

namespace ondrell {

IEditorDelegate::IEditorDelegate(int nParams) {
  for (int i = 0; i < nParams; ++i) mParams.push_back(std::make_unique<IParam>());
}

IEditorDelegate::~IEditorDelegate() = default;

void* IEditorDelegate::OpenWindow(void* /*parent*/) {
  OnEditorOpened();
  return nullptr;
}

void IEditorDelegate::CloseWindow() { OnEditorClosed(); }

void IEditorDelegate::OnEditorOpened() {
  for (int i = 0; i < NParams(); ++i) SendParamValueToEditor(i, mParams[static_cast<size_t>(i)]->Normalised(), true);
}

void IEditorDelegate::OnParamChange(int paramIdx, ParamChangeSource /*source*/, int /*sampleOffset*/) {
  OnParamChange(paramIdx);
}

void IEditorDelegate::OnParamsReset(ParamChangeSource source) {
  for (int i = 0; i < NParams(); ++i) {
    OnParamChange(i, source, -1);
    OnParamChangeForEditor(i, source);
  }
}

void IEditorDelegate::OnStateRestored() {
  for (int i = 0; i < NParams(); ++i) SendParamValueToEditor(i, mParams[static_cast<size_t>(i)]->Normalised(), true);
}

void IEditorDelegate::SendControlMsgByTag(int controlTag, int messageTag, int dataSize, const void* data) {
  OnMessage(messageTag, controlTag, dataSize, data);
}

void IEditorDelegate::SendArbitraryMsgToEditor(int messageTag, int dataSize, const void* data) {
  OnMessage(messageTag, -1, dataSize, data);
}

void IEditorDelegate::SendMidiMsgToEditor(const MidiMsg& msg) { OnMidiMsgForEditor(msg); }

void IEditorDelegate::SendSysExToEditor(const SysExMsg& msg) { OnSysExForEditor(msg); }

void IEditorDelegate::SendParamValueToEditor(int paramIdx, double /*value*/, bool /*normalised*/) {
  OnParamChangeForEditor(paramIdx, ParamChangeSource::EditorDelegate);
}

void IEditorDelegate::SetParamValueFromEditor(int paramIdx, double normalised) {
  IParam* param = GetParam(paramIdx);
  if (param == nullptr || !std::isfinite(normalised)) return;
  param->SetNormalised(normalised);
  OnParamChangeForEditor(paramIdx, ParamChangeSource::UI);
}

bool IEditorDelegate::ConstrainEditorSize(int& width, int& height) const {
  if (width >= mMinWidth && width <= mMaxWidth && height >= mMinHeight && height <= mMaxHeight) return true;
  width = std::clamp(width, mMinWidth, mMaxWidth);
  height = std::clamp(height, mMinHeight, mMaxHeight);
  return false;
}

IParam* IEditorDelegate::GetParam(int paramIdx) {
  return (paramIdx >= 0 && paramIdx < NParams()) ? mParams[static_cast<size_t>(paramIdx)].get() : nullptr;
}

const IParam* IEditorDelegate::GetParam(int paramIdx) const {
  return (paramIdx >= 0 && paramIdx < NParams()) ? mParams[static_cast<size_t>(paramIdx)].get() : nullptr;
}

void IEditorDelegate::SetEditorSize(int width, int height) {
  mEditorWidth = width;
  mEditorHeight = height;
}

void IEditorDelegate::SetEditorSizeLimits(int widthA, int widthB, int heightA, int heightB) {
  mMinWidth = std::min(widthA, widthB);
  mMaxWidth = std::max(widthA, widthB);
  mMinHeight = std::min(heightA, heightB);
  mMaxHeight = std::max(heightA, heightB);
}

}  // namespace ondrell

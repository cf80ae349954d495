#include "graphics/IControl.h"

#include "core/IParam.h"
#include "graphics/IGContext.h"
#include "graphics/IGEditorDelegate.h"

#include <algorithm>

namespace ondrell::graphics {

IControl::IControl(const IRect& bounds, int paramIdx) : mRECT(bounds), mTargetRECT(bounds)
{
  mVals.push_back({paramIdx, 0.0});
}

void IControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  if (!mod.R)
    return;
  const int valIdx = GetValIdxForPos(x, y);
  if (valIdx >= 0 && GetParamIdx(valIdx) >= 0 && !mDisablePrompt)
  {
    const IParam* param = GetParam(valIdx);
    if (param && param->DisplayTextCount() != 0)
    {
      RequestValuePrompt(mRECT, valIdx);
    }
    else
    {
      const float cx = mRECT.MW();
      const float cy = mRECT.MH();
      RequestValuePrompt(IRect(cx - 20.f, cy - 8.f, cx + 20.f, cy + 8.f), valIdx);
    }
  }
  SetDirty(false);
}

void IControl::OnMouseUp(float, float, const IMouseMod&) {}

void IControl::OnMouseDrag(float, float, float, float, const IMouseMod&) {}

void IControl::OnMouseDblClick(float x, float y, const IMouseMod&)
{
  SetValueToDefault(GetValIdxForPos(x, y));
}

void IControl::OnMouseWheel(float, float, const IMouseMod&, float) {}

bool IControl::OnKeyDown(float, float, const IKeyPress&)
{
  return false;
}

bool IControl::OnKeyUp(float, float, const IKeyPress&)
{
  return false;
}

void IControl::OnMouseOver(float, float, const IMouseMod&)
{
  const bool wasOver = mMouseIsOver;
  mMouseIsOver = true;
  if (!wasOver)
    SetDirty(false);
}

void IControl::OnMouseOut()
{
  if (mMouseIsOver)
  {
    mMouseIsOver = false;
    SetDirty(false);
  }
}

void IControl::OnDrop(const char*) {}

void IControl::OnDropMultiple(const std::vector<const char*>& paths)
{
  if (!paths.empty())
    OnDrop(paths.front());
}

void IControl::OnMsgFromDelegate(int, int, const void*) {}

void IControl::OnMidi(const MidiMsg&) {}

void IControl::CreateContextMenu(IPopupMenu&) {}

void IControl::OnPopupMenuSelection(IPopupMenu* menu, int valIdx)
{
  if (menu == nullptr || valIdx < 0 || valIdx >= NVals() || GetParamIdx(valIdx) < 0 || mDisablePrompt)
    return;
  if (const IParam* param = GetParam(0))
    SetValueFromUserInput(param->ToNormalised(static_cast<double>(menu->GetChosenItemIdx())), valIdx);
}

void IControl::OnTextEntryCompletion(const char*, int) {}

void IControl::OnContextSelection(int) {}

void IControl::SetParamIdx(int paramIdx, int valIdx)
{
  if (valIdx < 0 || valIdx >= NVals())
    return;
  mVals[static_cast<size_t>(valIdx)].idx = paramIdx;
  SetDirty(false);
}

int IControl::GetValIdxForPos(float, float) const
{
  return NVals() == 1 ? 0 : kNoValIdx;
}

void IControl::SetValueFromDelegate(double value, int valIdx)
{
  if (mGraphics && mGraphics->ControlIsCaptured(this))
    return;
  // A NaN compares unequal to everything, so it counts as a change (and the clamp in SetDirty turns it to 0).
  if (GetValue(valIdx) != value)
  {
    SetValue(value, valIdx);
    SetDirty(false);
  }
}

void IControl::SetValueFromUserInput(double value, int valIdx)
{
  if (GetValue(valIdx) != value)
  {
    SetValue(value, valIdx);
    SetDirty(true, valIdx);
  }
}

void IControl::SetValueToDefault(int valIdx)
{
  if (NVals() == 1)
    valIdx = 0;
  const auto setDefault = [this](int i) {
    if (const IParam* param = GetParam(i))
      SetValue(param->DefaultValue(true), i);
  };
  if (valIdx >= 0)
  {
    if (valIdx >= NVals())
      return;
    setDefault(valIdx);
  }
  else
  {
    for (int i = 0; i < NVals(); ++i)
      setDefault(i);
  }
  SetDirty(true, valIdx);
}

void IControl::SetValue(double value, int valIdx)
{
  if (valIdx >= 0 && valIdx < NVals())
    mVals[static_cast<size_t>(valIdx)].value = value;
}

void IControl::SetPosition(float x, float y)
{
  x = std::max(0.f, x);
  y = std::max(0.f, y);
  const float dx = x - mRECT.L;
  const float dy = y - mRECT.T;
  mRECT = mRECT.GetTranslated(dx, dy);
  mTargetRECT = mTargetRECT.GetTranslated(dx, dy);
  mMouseIsOver = false;
  OnResize();
}

void IControl::SetSize(float w, float h)
{
  mTargetRECT = IRect(mRECT.L, mRECT.T, mRECT.L + std::max(0.f, w), mRECT.T + std::max(0.f, h));
  mRECT = mTargetRECT;
  mMouseIsOver = false;
  OnResize();
}

void IControl::Hide(bool hide)
{
  mHide = hide;
  SetDirty(false);
}

void IControl::SetDisabled(bool disable)
{
  mDisabled = disable;
  mBlend.weight = disable ? 0.25f : 1.f;
  SetDirty(false);
}

bool IControl::IsHit(float x, float y) const
{
  return mTargetRECT.Contains(x, y);
}

void IControl::SetDirty(bool notify, int valIdx)
{
  if (NVals() == 1)
    valIdx = 0;
  if (valIdx >= NVals())
    return;

  const auto clamp = [this](int i) { SetValue(std::min(1.0, std::max(0.0, GetValue(i))), i); };
  if (valIdx >= 0)
  {
    clamp(valIdx);
  }
  else
  {
    for (int i = 0; i < NVals(); ++i)
      clamp(i);
  }

  mDirty = true;

  if (notify && mDelegate)
  {
    const auto send = [this](int i) {
      const int paramIdx = GetParamIdx(i);
      if (paramIdx < 0)
        return;
      mDelegate->SetParamValueFromEditor(paramIdx, GetValue(i));
      if (mGraphics)
        mGraphics->UpdateLinkedControls(this, i);
    };
    if (valIdx >= 0)
    {
      send(valIdx);
    }
    else
    {
      for (int i = 0; i < NVals(); ++i)
        send(i);
    }
  }
}

double IControl::GetValue(int valIdx) const
{
  if (valIdx < 0 || valIdx >= NVals())
    return 0.0;
  return mVals[static_cast<size_t>(valIdx)].value;
}

int IControl::GetParamIdx(int valIdx) const
{
  if (valIdx < 0 || valIdx >= NVals())
    return kNoParameter;
  return mVals[static_cast<size_t>(valIdx)].idx;
}

const IParam* IControl::GetParam(int valIdx) const
{
  const int paramIdx = GetParamIdx(valIdx);
  if (paramIdx < 0 || mDelegate == nullptr)
    return nullptr;
  return mDelegate->GetParam(paramIdx);
}

int IControl::LinkedToParam(int paramIdx) const
{
  for (int i = 0; i < NVals(); ++i)
  {
    if (mVals[static_cast<size_t>(i)].idx == paramIdx)
      return i;
  }
  return kNoValIdx;
}

void IControl::RequestValuePrompt(const IRect& bounds, int valIdx)
{
  if (valIdx >= 0 && GetParamIdx(valIdx) >= 0 && !mDisablePrompt && mGraphics)
    mGraphics->PromptUserInput(*this, bounds, valIdx);
}

} // namespace ondrell::graphics

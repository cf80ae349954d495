#include "graphics/IControls.h"

#include "core/IParam.h"
#include "graphics/IGContext.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace ondrell::graphics {

namespace {

// Whether a value snaps to the steps of its parameter.
const IParam* SteppedParam(const IControl& control)
{
  const IParam* param = control.GetParam(0);
  if (param && param->HasFlag(IParam::FlagStepped) && param->GetStep() > 0.0)
    return param;
  return nullptr;
}

} // namespace

IKnobControlBase::IKnobControlBase(const IRect& bounds, int paramIdx, EDirection direction, double gearing)
  : IControl(bounds, paramIdx), mDirection(direction), mGearing(gearing)
{
}

void IKnobControlBase::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  mMouseDown = true;
  mDragValue = GetValue(0);
  if (mHideCursorOnDrag && GetUI())
    GetUI()->HideMouseCursor(true, true);
  IControl::OnMouseDown(x, y, mod);
}

void IKnobControlBase::OnMouseUp(float, float, const IMouseMod&)
{
  if (mHideCursorOnDrag && GetUI())
    GetUI()->HideMouseCursor(false, true);
  mMouseDown = false;
  SetDirty(false);
}

void IKnobControlBase::OnMouseDrag(float, float, float dX, float dY, const IMouseMod& mod)
{
  double gearing = mGearing;
  if (mod.C || mod.S)
    gearing *= 10.0;

  const IRect b = GetKnobDragBounds();
  double range;
  double delta;
  if (mDirection == EDirection::Vertical)
  {
    range = static_cast<double>(b.T) - static_cast<double>(b.B);
    delta = dY;
  }
  else
  {
    range = static_cast<double>(b.R) - static_cast<double>(b.L);
    delta = dX;
  }
  // A knob without extent or gearing has no drag scale; moving it would divide by zero.
  if (range == 0.0 || gearing == 0.0)
    return;

  mDragValue = std::min(1.0, std::max(0.0, mDragValue + delta / range / gearing));
  double v = mDragValue;
  if (const IParam* param = SteppedParam(*this))
    v = param->SnapNormalised(v);
  SetValue(v, 0);
  SetDirty(true);
}

void IKnobControlBase::OnMouseWheel(float, float, const IMouseMod& mod, float delta)
{
  const double increment = (mod.C || mod.S) ? 0.001 : 0.01;
  double v = GetValue(0);
  if (const IParam* param = SteppedParam(*this))
  {
    if (delta > 0.f)
      v = param->ToNormalised(param->FromNormalised(v) + param->GetStep());
    else if (delta < 0.f)
      v = param->ToNormalised(param->FromNormalised(v) - param->GetStep());
  }
  else
  {
    v += static_cast<double>(delta) * increment;
  }
  SetValue(v, 0);
  SetDirty(true);
}

ISwitchControlBase::ISwitchControlBase(const IRect& bounds, int paramIdx, int numStates)
  : IControl(bounds, paramIdx), mNumStates(std::max(1, numStates)),
    mStatesDisabled(static_cast<size_t>(mNumStates), false)
{
  for (int i = 0; i <= mNumStates; ++i)
    SetDirty(false);
  mDblAsSingleClick = true;
}

void ISwitchControlBase::OnInit()
{
  if (const IParam* param = GetParam(0))
  {
    mNumStates = static_cast<int>(param->GetMax() - param->GetMin()) + 1;
    mStatesDisabled.assign(static_cast<size_t>(std::max(1, mNumStates)), false);
  }
}

void ISwitchControlBase::OnMouseUp(float, float, const IMouseMod&)
{
  mMouseDown = false;
  SetDirty(false);
}

bool ISwitchControlBase::GetStateDisabled(int state) const
{
  return state >= 0 && state < static_cast<int>(mStatesDisabled.size()) &&
         mStatesDisabled[static_cast<size_t>(state)];
}

void ISwitchControlBase::SetStateDisabled(int state, bool disabled)
{
  if (state >= 0 && state < static_cast<int>(mStatesDisabled.size()))
    mStatesDisabled[static_cast<size_t>(state)] = disabled;
  SetDirty(false);
}

int BitmapFrameForValue(double value, int nFrames)
{
  if (nFrames <= 1)
    return 1;
  // Bounded before the conversion so that no value, however far outside 0..1, overflows the int.
  double f = value * static_cast<double>(nFrames - 1) + 0.5;
  if (!(f >= 0.0))
    f = 0.0;
  f = std::min(f, static_cast<double>(nFrames));
  const int frame = static_cast<int>(f) + 1;
  return std::min(nFrames, std::max(1, frame));
}

void IBitmapBase::DrawBitmap(IGContext& g)
{
  if (mControl == nullptr)
    return;
  const int frame = BitmapFrameForValue(mControl->GetValue(0), mBitmap.N());
  const float fw = static_cast<float>(mBitmap.FW());
  const float fh = static_cast<float>(mBitmap.FH());
  const IRect& r = mControl->GetRECT();
  const float l = (r.L + r.R) * 0.5f - fw * 0.5f;
  const float t = (r.T + r.B) * 0.5f - fh * 0.5f;
  g.DrawBitmap(mBitmap, IRect(l, t, l + fw, t + fh), frame, &mControl->GetBlend());
}

void IBitmapBase::OnRescaleBitmap(IGContext& g)
{
  mBitmap = g.GetScaledBitmap(mBitmap);
}

IBitmapControl::IBitmapControl(float x, float y, const IBitmap& bitmap, int paramIdx)
  : IControl(IRect(x, y, x + static_cast<float>(bitmap.FW()), y + static_cast<float>(bitmap.FH())), paramIdx),
    IBitmapBase(bitmap)
{
  AttachIControl(this);
  mBlend = IBlend(0, 1.f);
}

void IBitmapControl::OnRescale()
{
  if (GetUI())
    OnRescaleBitmap(*GetUI());
}

IBSwitchControl::IBSwitchControl(float x, float y, const IBitmap& bitmap, int paramIdx)
  : ISwitchControlBase(IRect(x, y, x + static_cast<float>(bitmap.FW()), y + static_cast<float>(bitmap.FH())),
                       paramIdx, 2),
    IBitmapBase(bitmap)
{
  AttachIControl(this);
}

void IBSwitchControl::OnMouseDown(float, float, const IMouseMod&)
{
  const int n = mBitmap.N();
  const double step = n > 1 ? 1.0 / static_cast<double>(n - 1) : 1.0;
  SetValue(GetValue(0) + step, 0);
  if (GetValue(0) > 1.001)
    SetValue(0.0, 0);
  SetDirty(true);
}

void IBSwitchControl::OnRescale()
{
  if (GetUI())
    OnRescaleBitmap(*GetUI());
}

ITextControl::ITextControl(const IRect& bounds, const char* str, const IText& text, const IColor& bgColor,
                           bool setBoundsBasedOnStr)
  : IControl(bounds), mStr(str ? str : ""), mBGColor(bgColor), mSetBoundsBasedOnStr(setBoundsBasedOnStr)
{
  mIgnoreMouse = true;
  mText = text;
}

void ITextControl::Draw(IGContext& g)
{
  g.FillRect(mBGColor, mRECT, &mBlend);
  if (!mStr.empty() && g.GetControlInTextEntry() != this)
    g.DrawText(mText, mStr.c_str(), mRECT, &mBlend);
}

void ITextControl::OnInit()
{
  if (mSetBoundsBasedOnStr)
    SetBoundsBasedOnStr();
}

void ITextControl::SetStr(const char* str)
{
  const std::string s = str ? str : "";
  if (s == mStr)
    return;
  mStr = s;
  if (mSetBoundsBasedOnStr)
    SetBoundsBasedOnStr();
  SetDirty(false);
}

void ITextControl::SetStrFmt(int maxLength, const char* fmt, ...)
{
  if (maxLength < 0 || fmt == nullptr)
    return;
  std::vector<char> buf(static_cast<size_t>(maxLength) + 1, '\0');
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf.data(), buf.size(), fmt, args);
  va_end(args);
  mStr = buf.data();
  SetDirty(false);
}

void ITextControl::SetBoundsBasedOnStr()
{
  if (GetUI() == nullptr)
    return;
  IRect r = mRECT;
  GetUI()->MeasureText(mText, mStr.c_str(), r);
  SetTargetAndDrawRECTs(mRECT.GetCentredInside(r.W(), r.H()));
}

} // namespace ondrell::graphics

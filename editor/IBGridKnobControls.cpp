#include "editor/IBGridKnobControls.h"

#include "core/IParam.h"
#include "graphics/IGContext.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace ondrell::editor::detail {

using graphics::IColor;

namespace {

IRect GridKnobRect(float x, float y, const IBitmap& bitmap, const FilmStripGrid& grid)
{
  return IRect(x, y, x + static_cast<float>(grid.CellWidth(bitmap.W())),
               y + static_cast<float>(grid.CellHeight(bitmap.H())));
}

FilmStripGrid MakeGrid(int nFrames, int columns)
{
  return FilmStripGrid{std::max(1, nFrames), std::max(1, columns)};
}

} // namespace

int FilmStripGrid::CellForValue(double value) const
{
  return graphics::BitmapFrameForValue(value, frames) - 1;
}

// --- IBGridKnobControl ------------------------------------------------------------------------------------------

IBGridKnobControl::IBGridKnobControl(float x, float y, const IBitmap& bitmap, int paramIdx, int nFrames, int columns,
                                     EDirection direction, double gearing)
  : IKnobControlBase(GridKnobRect(x, y, bitmap, MakeGrid(nFrames, columns)), paramIdx, direction, gearing),
    IBitmapBase(bitmap),
    mGrid(MakeGrid(nFrames, columns)),
    mPromptX(mRECT.MW() - 20.f),
    mPromptY(mRECT.MH() - 8.f)
{
  AttachIControl(this);
}

void IBGridKnobControl::OnRescale()
{
  if (GetUI())
    OnRescaleBitmap(*GetUI());
}

void IBGridKnobControl::DrawGridFrame(IGContext& g)
{
  const int cw = mGrid.CellWidth(mBitmap.W());
  const int ch = mGrid.CellHeight(mBitmap.H());
  const float l = (mRECT.L + mRECT.R) * 0.5f - static_cast<float>(cw) * 0.5f;
  const float t = (mRECT.T + mRECT.B) * 0.5f - static_cast<float>(ch) * 0.5f;
  const IRect dest(l, t, l + static_cast<float>(cw), t + static_cast<float>(ch));

  const int cell = mGrid.CellForValue(GetValue(0));
  const int sx = cw * (cell % mGrid.columns);
  const int sy = ch * (cell / mGrid.columns);
  g.DrawBitmap(mBitmap, dest, sx, sy, &mBlend);
}

bool IBGridKnobControl::PromptOnShiftPress(float x, float y, const IMouseMod& mod)
{
  if (!mod.S || GetPromptDisabled())
    return false;
  RequestValuePrompt(PromptBox(), GetValIdxForPos(x, y));
  return true;
}

// --- IBGridOndrellKnobControl -----------------------------------------------------------------------------------

IBGridOndrellKnobControl::IBGridOndrellKnobControl(float x, float y, const IBitmap& bitmap, int paramIdx,
                                                   int nFrames, int columns, EDirection direction, double gearing)
  : IBGridKnobControl(x, y, bitmap, paramIdx, nFrames, columns, direction, gearing),
    mReadoutText(16.f, graphics::COLOR_WHITE, "Roboto-Regular", graphics::EAlign::Center,
                 graphics::EVAlign::Middle, 0.f, graphics::COLOR_WHITE, graphics::COLOR_BLACK)
{
}

void IBGridOndrellKnobControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  if (PromptOnShiftPress(x, y, mod))
    return;
  if (mShowValueWhileDragging)
  {
    mShowingValue = true;
    SetDirty(false);
  }
  IKnobControlBase::OnMouseDown(x, y, mod);
}

void IBGridOndrellKnobControl::OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod)
{
  IKnobControlBase::OnMouseDrag(x, y, dX, dY, mod);
  if (mShowingValue)
    SetDirty(false);
}

void IBGridOndrellKnobControl::OnMouseUp(float x, float y, const IMouseMod& mod)
{
  mShowingValue = false;
  SetDirty(false);
  IKnobControlBase::OnMouseUp(x, y, mod);
}

IRect IBGridOndrellKnobControl::ReadoutBox() const
{
  const float cx = mRECT.MW();
  const float cy = mRECT.MH();
  return IRect(cx - mReadoutWidth / 2.f + mReadoutOffsetX, cy - mReadoutHeight / 2.f + mReadoutOffsetY,
               cx + mReadoutWidth / 2.f + mReadoutOffsetX, cy + mReadoutHeight / 2.f + mReadoutOffsetY);
}

void IBGridOndrellKnobControl::Draw(IGContext& g)
{
  DrawGridFrame(g);
  if (!mShowingValue || !mShowValueWhileDragging)
    return;
  const IParam* param = GetParam(0);
  if (param == nullptr)
    return;
  std::string text;
  param->FormatValue(param->Value(), false, text, true);
  const IRect box = ReadoutBox();
  // The plate is wider than the knob; the control's clip keeps it to the knob's width.
  g.FillRoundRect(IColor(180, 0, 0, 0), box, 5.f);
  g.DrawText(mReadoutText, text.c_str(), box);
}

// --- IBGridDetentKnobControl ------------------------------------------------------------------------------------

IBGridDetentKnobControl::IBGridDetentKnobControl(float x, float y, const IBitmap& bitmap, int paramIdx,
                                                 int nFrames, int columns, EDirection direction, double gearing,
                                                 int nDetents)
  : IBGridKnobControl(x, y, bitmap, paramIdx, nFrames, columns, direction, gearing), mDetents(std::max(1, nDetents))
{
}

int IBGridDetentKnobControl::PositionForValue(double value) const
{
  // Values outside 0..1 (a drag accumulating past an end) and NaN belong to the nearest end position.
  const double p = std::floor(static_cast<double>(mDetents) * value + 0.5);
  if (!(p > 0.0))
    return 0;
  return p >= static_cast<double>(mDetents) ? mDetents : static_cast<int>(p);
}

double IBGridDetentKnobControl::ValueForPosition(int position) const
{
  return static_cast<double>(static_cast<float>(position) / static_cast<float>(mDetents));
}

void IBGridDetentKnobControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  if (PromptOnShiftPress(x, y, mod))
    return;
  IKnobControlBase::OnMouseDown(x, y, mod);
}

void IBGridDetentKnobControl::OnMouseDrag(float, float, float dX, float dY, const IMouseMod& mod)
{
  double gearing = mGearing;
  if (mod.C || mod.S)
    gearing *= 10.0;
  double range;
  double delta;
  if (mDirection == EDirection::Vertical)
  {
    range = static_cast<double>(mRECT.T) - static_cast<double>(mRECT.B);
    delta = dY;
  }
  else
  {
    range = static_cast<double>(mRECT.R) - static_cast<double>(mRECT.L);
    delta = dX;
  }
  // A knob without extent or gearing has no drag scale.
  if (range == 0.0 || gearing == 0.0)
    return;

  SetValue(GetValue(0) + delta / range / gearing, 0);
  const int p = PositionForValue(GetValue(0));
  if (p != mCurrentDetent)
  {
    mCurrentDetent = p;
    SetValue(ValueForPosition(p), 0);
    SetDirty(true);
  }
  else
  {
    SetDirty(false);
  }
}

void IBGridDetentKnobControl::OnMouseUp(float x, float y, const IMouseMod& mod)
{
  SetValue(ValueForPosition(mCurrentDetent), 0);
  SetDirty(true);
  IKnobControlBase::OnMouseUp(x, y, mod);
}

void IBGridDetentKnobControl::OnMouseDblClick(float, float, const IMouseMod&)
{
  SetValueToDefault(graphics::kNoValIdx);
  mCurrentDetent = PositionForValue(GetValue(0));
  SetDirty(true);
}

void IBGridDetentKnobControl::OnMouseWheel(float, float, const IMouseMod&, float delta)
{
  int p = PositionForValue(GetValue(0));
  if (delta > 0.f)
    p = std::min(mDetents, p + 1);
  else if (delta < 0.f)
    p = std::max(0, p - 1);
  mCurrentDetent = p;
  SetValue(ValueForPosition(p), 0);
  SetDirty(true);
  mWheelPending = true;
}

void IBGridDetentKnobControl::OnMouseOut()
{
  if (mWheelPending)
  {
    SetValue(ValueForPosition(mCurrentDetent), 0);
    SetDirty(true);
    mWheelPending = false;
  }
  IBGridKnobControl::OnMouseOut();
}

void IBGridDetentKnobControl::SetValueFromDelegate(double value, int valIdx)
{
  IBGridKnobControl::SetValueFromDelegate(value, valIdx);
  mCurrentDetent = PositionForValue(value);
}

} // namespace ondrell::editor::detail

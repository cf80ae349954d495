#include "editor/IRasterScaleCornerDragControl.h"

#include "graphics/IGContext.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ondrell::graphics {

namespace {

// Scales closer than this count as equal.
constexpr float kScaleEpsilon = 0.0001f;

float SafeScale(float s)
{
  return std::max(kScaleEpsilon, s);
}

} // namespace

IRasterScaleCornerDragControl::IRasterScaleCornerDragControl(const IRect& bounds, float cornerSize,
                                                             std::vector<float> scaleSteps,
                                                             const IColor& normalColor, const IColor& mouseOverColor,
                                                             const IColor& resizingColor, const IText& badgeText)
  : IControl(IRect(bounds.R - 2.f * cornerSize + 1.f, bounds.B - 2.f * cornerSize + 1.f, bounds.R - 1.f,
                   bounds.B - 1.f)),
    mCornerSize(cornerSize),
    mHitRect(),
    mTriangleRect(bounds.R - cornerSize + 1.f, bounds.B - cornerSize + 1.f, bounds.R - 1.f, bounds.B - 1.f),
    mBadgeText(badgeText),
    mNormalColor(normalColor),
    mMouseOverColor(mouseOverColor),
    mResizingColor(resizingColor),
    mScaleSteps(std::move(scaleSteps))
{
  std::sort(mScaleSteps.begin(), mScaleSteps.end());
}

void IRasterScaleCornerDragControl::UpdateRects()
{
  IGContext* ui = GetUI();
  if (ui == nullptr)
    return;
  const float s = SafeScale(ui->GetDrawScale());
  const auto w = static_cast<float>(ui->Width());
  const auto h = static_cast<float>(ui->Height());
  const float a = 1.f / s;
  const float e = mCornerSize * a;
  const float g = 2.f * mCornerSize * a;
  mHitRect = IRect(w - g + 1.f, h - g + 1.f, w - 1.f, h - 1.f);
  mTriangleRect = IRect(w - e + 1.f, h - e + 1.f, w - 1.f, h - 1.f);
  // The rect also covers the badge, up and to the left of the corner.
  const IRect r(w - g + 1.f - 72.f * a, h - g + 1.f - 72.f * a, w - 1.f, h - 1.f);
  SetRECT(r);
  SetTargetRECT(r);
}

float IRasterScaleCornerDragControl::NearestStep(float s) const
{
  float best = s;
  float bestDistance = 3.4028235e38f;
  for (const float d : mScaleSteps)
  {
    const float dist = std::fabs(s - d);
    if (bestDistance > dist || (std::fabs(dist - bestDistance) <= kScaleEpsilon && best > d))
    {
      best = d;
      bestDistance = dist;
    }
  }
  return best;
}

void IRasterScaleCornerDragControl::OnMouseDown(float, float, const IMouseMod& mod)
{
  IGContext* ui = GetUI();
  if (mod.R || ui == nullptr)
    return;
  mScaleAtPress = ui->GetDrawScale();
  ui->SetResizingInProcess(true);
  ui->SetFreeResize(false);
}

void IRasterScaleCornerDragControl::OnMouseUp(float, float, const IMouseMod& mod)
{
  IGContext* ui = GetUI();
  if (mod.S || ui == nullptr)
    return;
  const float s = ui->GetDrawScale();
  if (std::fabs(s - mScaleAtPress) > kScaleEpsilon)
  {
    const float t = NearestStep(s);
    if (std::fabs(t - s) > kScaleEpsilon)
      ui->SetPendingSnapScale(t);
  }
}

void IRasterScaleCornerDragControl::OnMouseDblClick(float, float, const IMouseMod&)
{
  IGContext* ui = GetUI();
  if (ui == nullptr)
    return;
  ui->SetResizingInProcess(true);
  ui->SetFreeResize(false);
  ui->Resize(ui->Width(), ui->Height(), 1.f, true);
  ui->EndDragResize();
}

void IRasterScaleCornerDragControl::OnMouseOver(float x, float y, const IMouseMod& mod)
{
  if (!mCursorSet && GetUI())
  {
    mSavedCursor = GetUI()->SetMouseCursor(CursorType::SizeNWSE);
    mCursorSet = true;
  }
  IControl::OnMouseOver(x, y, mod);
}

void IRasterScaleCornerDragControl::OnMouseOut()
{
  if (mCursorSet && GetUI())
    GetUI()->SetMouseCursor(mSavedCursor);
  mCursorSet = false;
  IControl::OnMouseOut();
}

void IRasterScaleCornerDragControl::OnAttached()
{
  if (GetUI())
    GetUI()->EnableMouseOver(true);
  UpdateRects();
}

IRect IRasterScaleCornerDragControl::BadgeRect(float s) const
{
  const float m = 1.f / SafeScale(s);
  const IRect& t = mTriangleRect;
  return IRect(t.L - 58.f * m - 8.f * m, t.T - 20.f * m - 8.f * m, t.L - 8.f * m, t.T - 8.f * m);
}

std::string IRasterScaleCornerDragControl::BadgeText(float target)
{
  char text[16] = {};
  std::snprintf(text, sizeof(text), "%ld%%", std::lround(target * 100.f));
  return text;
}

void IRasterScaleCornerDragControl::Draw(IGContext& g)
{
  const bool resizing = g.GetResizingInProcess();
  const IColor& color = resizing ? mResizingColor : (GetMouseIsOver() ? mMouseOverColor : mNormalColor);
  const IRect& t = mTriangleRect;
  g.FillTriangle(color, t.L, t.B, t.R, t.T, t.R, t.B);

  const float s = g.GetDrawScale();
  if (!resizing || g.GetFreeResize() || std::fabs(s - mScaleAtPress) <= kScaleEpsilon)
    return;
  const float m = 1.f / SafeScale(s);
  const IRect badge = BadgeRect(s);
  g.FillRoundRect(IColor(220, 24, 24, 24), badge, 4.f * m);
  g.DrawRoundRect(IColor(220, 255, 255, 255), badge, 4.f * m, nullptr, 1.f);
  IText style = mBadgeText;
  style.size = 12.f * m;
  g.DrawText(style, BadgeText(NearestStep(s)).c_str(), badge);
}

} // namespace ondrell::graphics

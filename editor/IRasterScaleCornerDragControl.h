#pragma once

// The handle in the editor's bottom-right corner that scales the whole editor. While the user drags it the
// context follows the pointer freely; on release the scale snaps to the nearest preset step unless shift is held,
// and while dragging a badge next to the corner previews that step as a percentage. A double click returns to
// 100 %. The triangle and its hit square keep nearly the same size in pixels at every scale.

#include "graphics/IControl.h"

#include <string>
#include <vector>

namespace ondrell::graphics {

// Threads: the editor's window thread only (as every control).
class IRasterScaleCornerDragControl : public IControl
{
public:
  // bounds: the area whose bottom-right corner holds the handle (the whole editor). cornerSize: the triangle's
  // side in pixels at screen scale 1. The steps are kept sorted ascending.
  IRasterScaleCornerDragControl(const IRect& bounds, float cornerSize, std::vector<float> scaleSteps,
                                const IColor& normalColor, const IColor& mouseOverColor,
                                const IColor& resizingColor, const IText& badgeText);

  // A left press starts a resize drag that the context performs.
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  // Without shift, a moved scale snaps to the nearest step when the context ends the drag.
  void OnMouseUp(float x, float y, const IMouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const IMouseMod& mod) override;
  void OnMouseOver(float x, float y, const IMouseMod& mod) override;
  void OnMouseOut() override;
  void OnRescale() override { UpdateRects(); }
  void OnResize() override { UpdateRects(); }
  void OnAttached() override;
  void Draw(IGContext& g) override;
  // Only the hit square counts, not the badge area of the rect.
  bool IsHit(float x, float y) const override { return mHitRect.Contains(x, y); }

  // Places the hit square, the triangle and the rect at the context's bottom-right corner for its draw scale.
  void UpdateRects();
  // The step nearest to s; between two steps at (nearly) equal distance the smaller; s itself without steps.
  float NearestStep(float s) const;

  const IRect& GetHitRect() const { return mHitRect; }
  const IRect& GetTriangleRect() const { return mTriangleRect; }
  const std::vector<float>& GetScaleSteps() const { return mScaleSteps; }
  float GetScaleAtPress() const { return mScaleAtPress; }
  // The badge's rect for draw scale s, up and to the left of the triangle.
  IRect BadgeRect(float s) const;
  // The badge's text for a snap target: the rounded percentage, "150%" for 1.5.
  static std::string BadgeText(float target);

private:
  float mCornerSize;
  float mScaleAtPress = 1.f;
  bool mCursorSet = false;
  CursorType mSavedCursor = CursorType::Arrow;
  IRect mHitRect;
  IRect mTriangleRect;
  IText mBadgeText;
  IColor mNormalColor;
  IColor mMouseOverColor;
  IColor mResizingColor;
  std::vector<float> mScaleSteps;
};

} // namespace ondrell::graphics

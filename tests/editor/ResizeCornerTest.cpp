// The resize corner on the real editor: free dragging and the snap to the nearest step on release, shift to keep
// the dragged scale, the badge that previews the snap, double click back to 100 %, its rects at other scales,
// its cursor, and the scale stored when the editor closes.

#include "EditorTestSupport.h"

#include "editor/IBGridKnobControls.h"
#include "editor/IRasterScaleCornerDragControl.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quorl_editor_test;
using ondrell::editor::detail::IBGridKnobControl;

namespace {

constexpr int kCorner = 12;

class ResizeCornerTest : public ::testing::Test
{
protected:
  IRasterScaleCornerDragControl& Corner() { return rig.ControlAs<IRasterScaleCornerDragControl>(kCorner); }

  // Presses in the corner's hit square at (px, py) points of the current scale, drags to where the pointer would be
  // at the given scale, and releases there.
  void DragCornerTo(float scale, bool shift = false, float px = 650.f, float py = 200.f)
  {
    const IMouseMod mod = LeftButton(shift);
    const float s0 = rig.UI().GetDrawScale();
    rig.Press(px, py, LeftButton());
    // The window reports positions in points of the current scale: pixels / draw scale.
    const float x = px * scale / s0;
    const float y = py * scale / s0;
    rig.Drag(x, y, x - px, y - py, mod);
    const float s1 = rig.UI().GetDrawScale();
    rig.Release(x * s0 / s1, y * s0 / s1, mod);
  }

  ScopedConfigHome home;
  EditorRig rig;
};

TEST(NearestStepTest, NearestStepAndTiesToTheSmaller)
{
  const IRasterScaleCornerDragControl corner(IRect(0, 0, 664, 215), 20.f, {2.f, 1.f, 1.75f, 1.25f, 1.5f},
                                             COLOR_BLACK, COLOR_BLACK, COLOR_BLACK, IText());
  EXPECT_EQ(corner.GetScaleSteps(), (std::vector<float>{1.f, 1.25f, 1.5f, 1.75f, 2.f}));
  const struct
  {
    float s;
    float step;
  } cases[] = {{1.6f, 1.5f}, {1.9f, 2.f}, {0.7f, 1.f}, {3.f, 2.f}, {1.625f, 1.5f}, {1.125f, 1.f},
               {1.75f, 1.75f}, {0.5f, 1.f}, {4.f, 2.f}};
  for (const auto& c : cases)
    EXPECT_EQ(corner.NearestStep(c.s), c.step) << c.s;

  const IRasterScaleCornerDragControl noSteps(IRect(0, 0, 664, 215), 20.f, {}, COLOR_BLACK, COLOR_BLACK,
                                              COLOR_BLACK, IText());
  EXPECT_EQ(noSteps.NearestStep(1.37f), 1.37f);
}

TEST_F(ResizeCornerTest, ReleaseSnapsToTheNearestStep)
{
  const struct
  {
    float dragged;
    float result;
  } cases[] = {{1.6f, 1.5f}, {1.9f, 2.f}, {0.7f, 1.f}, {3.f, 2.f}, {1.625f, 1.5f}, {1.25f, 1.25f}};
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.dragged);
    rig.Open();
    ASSERT_FLOAT_EQ(rig.UI().GetDrawScale(), 1.f);
    DragCornerTo(c.dragged);
    EXPECT_FLOAT_EQ(rig.UI().GetDrawScale(), c.result);
    EXPECT_FALSE(rig.UI().GetResizingInProcess());
    EXPECT_EQ(rig.UI().GetPendingSnapScale(), 0.f);
    // Every picture is reloaded for the final pixel scale.
    const float expectedPictureScale = std::ceil(c.result);
    EXPECT_EQ(rig.ControlAs<IBGridKnobControl>(1).GetBitmap().GetScale(), expectedPictureScale);
    // The size stays the design size; only the scale changes.
    EXPECT_EQ(rig.UI().Width(), 664);
    EXPECT_EQ(rig.UI().Height(), 215);
    rig.Close();
    home.WritePrefFile("1.0000\n");
  }
}

TEST_F(ResizeCornerTest, ShiftKeepsTheDraggedScaleAndHidesTheBadge)
{
  rig.UseSpyContext();
  rig.Open();
  const IMouseMod shift = LeftButton(true);
  rig.Press(650.f, 200.f);
  rig.Drag(650.f * 1.6f, 200.f * 1.6f, 1.f, 1.f, shift);
  ASSERT_FLOAT_EQ(rig.UI().GetDrawScale(), 1.6f);
  EXPECT_TRUE(rig.UI().GetFreeResize());
  rig.Spy().texts.clear();
  Corner().Draw(rig.Spy());
  EXPECT_TRUE(rig.Spy().texts.empty());
  rig.Release(650.f, 200.f, shift);
  EXPECT_FLOAT_EQ(rig.UI().GetDrawScale(), 1.6f);
  EXPECT_FALSE(rig.UI().GetResizingInProcess());
}

TEST_F(ResizeCornerTest, BadgePreviewsTheSnapTargetWhileDragging)
{
  rig.UseSpyContext();
  rig.Open();
  const struct
  {
    float scale;
    const char* badge;
  } cases[] = {{1.3f, "125%"}, {1.05f, "100%"}, {1.6f, "150%"}, {1.9f, "200%"}, {0.6f, "100%"}};
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.badge);
    rig.Press(650.f, 200.f);
    rig.Drag(650.f * c.scale, 200.f * c.scale, 1.f, 1.f);
    ASSERT_FLOAT_EQ(rig.UI().GetDrawScale(), c.scale);
    rig.Spy().texts.clear();
    Corner().Draw(rig.Spy());
    ASSERT_EQ(rig.Spy().texts.size(), 1u);
    EXPECT_EQ(rig.Spy().texts[0].str, c.badge);
    // 58 x 20 pixels at any scale, 8 pixels up and left of the triangle, with 12-pixel text.
    const float m = 1.f / c.scale;
    const IRect& badge = rig.Spy().texts[0].bounds;
    EXPECT_NEAR(badge.W(), 58.f * m, 1e-4);
    EXPECT_NEAR(badge.H(), 20.f * m, 1e-4);
    EXPECT_NEAR(Corner().GetTriangleRect().L - badge.R, 8.f * m, 1e-4);
    EXPECT_NEAR(Corner().GetTriangleRect().T - badge.B, 8.f * m, 1e-4);
    EXPECT_NEAR(rig.Spy().texts[0].style.size, 12.f * m, 1e-5);
    // The badge lies inside the control's rect, so its clip does not cut it.
    EXPECT_TRUE(Corner().GetRECT().Contains(badge.L, badge.T));
    rig.Release(650.f, 200.f, LeftButton(true)); // keep the scale, then go back to 1
    rig.UI().Resize(664, 215, 1.f, true);
  }
  // Not dragging: no badge.
  rig.Spy().texts.clear();
  Corner().Draw(rig.Spy());
  EXPECT_TRUE(rig.Spy().texts.empty());
}

TEST_F(ResizeCornerTest, PressAndReleaseWithoutMovingChangesNothing)
{
  rig.Open();
  rig.UI().Resize(664, 215, 1.6f, true);
  rig.Press(645.f, 205.f);
  EXPECT_TRUE(rig.UI().GetResizingInProcess());
  rig.Release(645.f, 205.f);
  EXPECT_FLOAT_EQ(rig.UI().GetDrawScale(), 1.6f);
  EXPECT_EQ(rig.UI().GetPendingSnapScale(), 0.f);
  EXPECT_FALSE(rig.UI().GetResizingInProcess());
}

TEST_F(ResizeCornerTest, RightPressDoesNotResize)
{
  rig.Open();
  IMouseMod right;
  right.R = true;
  rig.Press(650.f, 200.f, right);
  EXPECT_FALSE(rig.UI().GetResizingInProcess());
  rig.Drag(1000.f, 300.f, 350.f, 100.f, right);
  rig.Release(1000.f, 300.f, right);
  EXPECT_FLOAT_EQ(rig.UI().GetDrawScale(), 1.f);
}

TEST_F(ResizeCornerTest, DoubleClickAnywhereInTheSquareReturnsTo100Percent)
{
  rig.Open();
  for (const auto& [x, y] : {std::pair{638.8f, 189.8f}, std::pair{662.5f, 213.5f}, std::pair{650.f, 200.f}})
  {
    rig.UI().Resize(664, 215, 1.5f, true);
    // At 1.5 the hit square starts at 664 - 40 / 1.5 + 1 = 638.33 (and 189.33).
    ASSERT_TRUE(Corner().IsHit(x, y));
    EXPECT_TRUE(rig.UI().OnMouseDblClick(x, y, LeftButton()));
    EXPECT_FLOAT_EQ(rig.UI().GetDrawScale(), 1.f) << x << ", " << y;
    EXPECT_FALSE(rig.UI().GetResizingInProcess());
  }
}

TEST_F(ResizeCornerTest, CornerKeepsItsPixelSizeAtScaleTwo)
{
  rig.Open();
  rig.UI().Resize(664, 215, 2.f, true);
  const IRect hit = Corner().GetHitRect();
  const IRect triangle = Corner().GetTriangleRect();
  EXPECT_FLOAT_EQ(hit.W(), 18.f); // 36 pixels
  EXPECT_FLOAT_EQ(hit.H(), 18.f);
  EXPECT_FLOAT_EQ(hit.R, 663.f);
  EXPECT_FLOAT_EQ(hit.B, 214.f);
  EXPECT_FLOAT_EQ(triangle.W(), 8.f);
  EXPECT_FLOAT_EQ(triangle.H(), 8.f);
  const IRect badge = Corner().BadgeRect(2.f);
  EXPECT_FLOAT_EQ(badge.W(), 29.f);
  EXPECT_FLOAT_EQ(badge.H(), 10.f);
  EXPECT_EQ(rig.UI().GetMouseControl(650.f, 205.f, false), &Corner());
  EXPECT_NE(rig.UI().GetMouseControl(640.f, 190.f, false), &Corner());
}

TEST_F(ResizeCornerTest, PointerOverShowsTheResizeCursorAndLeavingRestoresIt)
{
  rig.Open();
  IGContextHeadless& ui = rig.UI();
  ui.SetMouseCursor(CursorType::Hand);
  ui.OnMouseOver(650.f, 200.f, LeftButton());
  EXPECT_EQ(ui.GetCursorType(), CursorType::SizeNWSE);
  EXPECT_TRUE(Corner().GetMouseIsOver());
  ui.OnMouseOver(650.f, 201.f, LeftButton());
  ui.OnMouseOver(300.f, 10.f, LeftButton());
  EXPECT_EQ(ui.GetCursorType(), CursorType::Hand);
  EXPECT_FALSE(Corner().GetMouseIsOver());
}

TEST_F(ResizeCornerTest, ClosingStoresTheScaleForTheNextEditor)
{
  rig.Open();
  DragCornerTo(1.8f);
  ASSERT_FLOAT_EQ(rig.UI().GetDrawScale(), 1.75f);
  rig.Close();
  EXPECT_EQ(home.ReadPrefFile(), "1.7500\n");

  // Any instance opens at the stored scale.
  EditorRig other;
  EXPECT_FLOAT_EQ(other.Open().GetDrawScale(), 1.75f);
  EXPECT_EQ(other.ControlAs<IBGridKnobControl>(1).GetBitmap().GetScale(), 2.f);
}

} // namespace

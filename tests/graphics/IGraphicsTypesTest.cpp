#include "graphics/IBitmap.h"
#include "graphics/IGraphicsTypes.h"
#include "graphics/IPopupMenu.h"

#include <gtest/gtest.h>

using namespace ondrell::graphics;

TEST(IText, DefaultStyle)
{
  const IText t;
  EXPECT_STREQ(t.font, "Roboto-Regular");
  EXPECT_EQ(t.size, 14.f);
  EXPECT_EQ(t.fgColor, IColor(255, 0, 0, 0));
  EXPECT_EQ(t.textEntryBGColor, IColor(255, 255, 255, 255));
  EXPECT_EQ(t.textEntryFGColor, IColor(255, 0, 0, 0));
  EXPECT_EQ(t.angle, 0.f);
  EXPECT_EQ(t.align, EAlign::Center);
  EXPECT_EQ(t.vAlign, EVAlign::Middle);

  IText longName;
  longName.SetFont(std::string(100, 'x').c_str());
  EXPECT_EQ(std::strlen(longName.font), 63u);
}

TEST(IMatrix, ComposesInvertsAndRejectsSingular)
{
  IMatrix m;
  m.Translate(10, 20).Scale(2, 3); // scale first, then translate
  double x = 1, y = 1;
  m.TransformPoint(x, y);
  EXPECT_DOUBLE_EQ(x, 12.0);
  EXPECT_DOUBLE_EQ(y, 23.0);

  IMatrix inv = m;
  ASSERT_TRUE(inv.Invert());
  inv.TransformPoint(x, y);
  EXPECT_NEAR(x, 1.0, 1e-12);
  EXPECT_NEAR(y, 1.0, 1e-12);

  IMatrix r;
  r.Rotate(90); // clockwise on screen: +x goes to +y
  x = 1, y = 0;
  r.TransformPoint(x, y);
  EXPECT_NEAR(x, 0.0, 1e-12);
  EXPECT_NEAR(y, 1.0, 1e-12);

  IMatrix singular(1, 2, 2, 4, 5, 6);
  EXPECT_FALSE(singular.Invert());
  EXPECT_EQ(singular, IMatrix(1, 2, 2, 4, 5, 6));
}

TEST(IPattern, GradientTransformsMapEndPointsToPatternSpace)
{
  const IPattern lin = IPattern::Linear(10, 20, 10, 60, {{COLOR_BLACK, 0}, {COLOR_WHITE, 1}});
  double x = 10, y = 20;
  lin.transform.TransformPoint(x, y);
  EXPECT_NEAR(x, 0.0, 1e-12);
  EXPECT_NEAR(y, 0.0, 1e-12);
  x = 10, y = 60;
  lin.transform.TransformPoint(x, y);
  EXPECT_NEAR(x, 1.0, 1e-12);
  EXPECT_NEAR(y, 0.0, 1e-12);

  const IPattern rad = IPattern::Radial(5, 5, 4, {{COLOR_BLACK, 0}, {COLOR_WHITE, 1}});
  x = 9, y = 5;
  rad.transform.TransformPoint(x, y);
  EXPECT_NEAR(x, 1.0, 1e-12);
  EXPECT_NEAR(y, 0.0, 1e-12);
}

TEST(IPopupMenu, ItemsFlagsAndChoice)
{
  IPopupMenu menu("HPF");
  menu.AddItem("Off");
  menu.AddItem("30 Hz", IPopupMenu::kChecked);
  menu.AddSeparator();
  EXPECT_EQ(menu.NItems(), 3);
  EXPECT_TRUE(menu.IsItemChecked(1));
  menu.CheckItem(1, false);
  menu.CheckItem(0, true);
  EXPECT_FALSE(menu.IsItemChecked(1));
  EXPECT_TRUE(menu.IsItemChecked(0));
  EXPECT_TRUE(menu.GetItem(2)->GetIsSeparator());
  EXPECT_EQ(menu.GetItem(3), nullptr);
  EXPECT_STREQ(menu.GetItemText(7), "");
  EXPECT_EQ(menu.GetChosenItem(), nullptr);
  menu.SetChosenItemIdx(1);
  EXPECT_STREQ(menu.GetChosenItem()->GetText().c_str(), "30 Hz");
  int calls = 0;
  menu.SetFunction([&](IPopupMenu* m) { calls += m->GetChosenItemIdx(); });
  menu.ExecFunction();
  EXPECT_EQ(calls, 1);
  menu.Clear();
  EXPECT_EQ(menu.NItems(), 0);
  EXPECT_EQ(menu.GetChosenItemIdx(), -1);
}

TEST(IBitmap, PointSizeAndFrameSizes)
{
  // The 2x frequency-knob picture: 1888 x 2006 pixels at scale 2 is 944 x 1003 points.
  APIBitmap big(1888, 2006, 2.f, 1.f);
  const IBitmap b(&big, 1, false, "x271_frame_stack_fixed_again.png");
  EXPECT_EQ(b.W(), 944);
  EXPECT_EQ(b.H(), 1003);

  APIBitmap sw(29, 58, 1.f, 1.f);
  const IBitmap s(&sw, 2, false);
  EXPECT_EQ(s.FW(), 29);
  EXPECT_EQ(s.FH(), 29);
  const IBitmap h(&sw, 2, true);
  EXPECT_EQ(h.FW(), 14);
  EXPECT_EQ(h.FH(), 58);

  const IBitmap none;
  EXPECT_FALSE(none.IsValid());
  EXPECT_EQ(none.W(), 0);
}

// The editor's layout: every control in its order, class, rect and parameter as designed; the pictures, the
// version text and its style, the resize corner's rects, and the context the make-graphics function creates.

#include "EditorTestSupport.h"

#include "editor/IBGridKnobControls.h"
#include "editor/IBOndrellSwitchControl.h"
#include "editor/IRasterScaleCornerDragControl.h"
#include "editor/QuorlEQEditor.h"
#include "graphics/IControls.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <typeinfo>

using namespace quorl_editor_test;
using ondrell::editor::detail::IBGridDetentKnobControl;
using ondrell::editor::detail::IBGridKnobControl;
using ondrell::editor::detail::IBGridOndrellKnobControl;

namespace {

enum class Kind
{
  Background,
  LevelKnob,
  FrequencyKnob,
  Switch,
  Text,
  Corner,
};

struct ExpectedControl
{
  Kind kind;
  IRect rect;
  const char* paramName; // "" for none
  int detents;           // frequency knobs only
};

// The design, control by control in attachment order.
const ExpectedControl kDesign[] = {
  {Kind::Background, {0, 0, 664, 215}, "", 0},
  {Kind::LevelKnob, {53, 92, 100, 139}, "Gain", 0},
  {Kind::LevelKnob, {270, 139, 317, 186}, "LoShelf Level", 0},
  {Kind::LevelKnob, {376, 139, 423, 186}, "MF Level 1", 0},
  {Kind::LevelKnob, {482, 139, 529, 186}, "MF Level 2", 0},
  {Kind::LevelKnob, {581, 80, 628, 127}, "HiShelf Level", 0},
  {Kind::FrequencyKnob, {158, 50, 222, 114}, "HPF", 5},
  {Kind::FrequencyKnob, {261, 29, 325, 93}, "LoShelf Freq", 3},
  {Kind::FrequencyKnob, {367, 29, 431, 93}, "MF 1 Freq", 5},
  {Kind::FrequencyKnob, {471, 29, 535, 93}, "MF 2 Freq", 6},
  {Kind::Switch, {173, 157, 202, 186}, "Oversampling", 0},
  {Kind::Text, {576, 195, 656, 215}, "", 0},
  // The corner's rect covers its badge area; its hit square is checked separately.
  {Kind::Corner, {553, 104, 663, 214}, "", 0},
};

const std::type_info& ClassOf(Kind kind)
{
  switch (kind)
  {
    case Kind::Background: return typeid(IBitmapControl);
    case Kind::LevelKnob: return typeid(IBGridOndrellKnobControl);
    case Kind::FrequencyKnob: return typeid(IBGridDetentKnobControl);
    case Kind::Switch: return typeid(IBOndrellSwitchControl);
    case Kind::Text: return typeid(ITextControl);
    case Kind::Corner: return typeid(IRasterScaleCornerDragControl);
  }
  return typeid(void);
}

std::string RectText(const IRect& r)
{
  char s[96];
  std::snprintf(s, sizeof(s), "(%g, %g, %g, %g)", r.L, r.T, r.R, r.B);
  return s;
}

class LayoutTest : public ::testing::Test
{
protected:
  ScopedConfigHome home;
  EditorRig rig;
};

// The design is the same whatever scale the editor opens at (the pictures then come at 2x, whose frequency-knob
// cells are 59 points, not 64).
class LayoutAtScaleTest : public ::testing::TestWithParam<float>
{
protected:
  ScopedConfigHome home;
  EditorRig rig;
};

TEST_P(LayoutAtScaleTest, ControlsInOrderWithTheirClassRectAndParameter)
{
  home.WritePrefFile(std::to_string(GetParam()) + "\n");
  IGContextHeadless& ui = rig.Open();
  ASSERT_FLOAT_EQ(ui.GetDrawScale(), GetParam());
  ASSERT_EQ(ui.NControls(), static_cast<int>(std::size(kDesign)));
  for (int i = 0; i < ui.NControls(); ++i)
  {
    SCOPED_TRACE("control " + std::to_string(i + 1));
    const ExpectedControl& e = kDesign[i];
    IControl& c = rig.Control(i);
    EXPECT_EQ(typeid(c), ClassOf(e.kind));
    // The corner follows the scale (its own test); every other rect is the design's.
    if (e.kind != Kind::Corner || GetParam() == 1.f)
    {
      EXPECT_EQ(RectText(c.GetRECT()), RectText(e.rect));
    }
    EXPECT_EQ(c.NVals(), 1);
    if (e.paramName[0] == '\0')
    {
      EXPECT_EQ(c.GetParamIdx(), kNoParameter);
    }
    else
    {
      const IParam* param = rig.plugin->GetParam(c.GetParamIdx());
      ASSERT_NE(param, nullptr);
      EXPECT_STREQ(param->GetName(), e.paramName);
    }
    EXPECT_TRUE(c.GetGroup().empty());
    EXPECT_FALSE(c.IsHidden());
    EXPECT_FALSE(c.IsDisabled());
  }
  // Attached without tags.
  for (int tag = 0; tag < 16; ++tag)
    EXPECT_EQ(ui.GetControlWithTag(tag), nullptr);
  EXPECT_TRUE(ui.MouseOverEnabled());
}

INSTANTIATE_TEST_SUITE_P(OpeningScales, LayoutAtScaleTest, ::testing::Values(1.f, 1.3f, 2.f, 3.f),
                         [](const ::testing::TestParamInfo<float>& info) {
                           return "x" + std::to_string(static_cast<int>(info.param * 10.f));
                         });

TEST_F(LayoutTest, KnobGridsAndDetentsMatchTheirParameters)
{
  rig.Open();
  for (int i = 1; i <= 9; ++i)
  {
    SCOPED_TRACE("control " + std::to_string(i + 1));
    auto& knob = rig.ControlAs<IBGridKnobControl>(i);
    EXPECT_EQ(knob.Grid().frames, 271);
    EXPECT_EQ(knob.Grid().columns, 16);
    EXPECT_EQ(knob.Grid().Rows(), 17);
    EXPECT_EQ(knob.GetGearing(), 4.0);
    EXPECT_EQ(knob.GetBitmap().N(), 1); // the grid is the knob's business, not the picture's
    if (kDesign[i].kind == Kind::FrequencyKnob)
    {
      auto& detent = dynamic_cast<IBGridDetentKnobControl&>(knob);
      EXPECT_EQ(detent.DetentCount(), kDesign[i].detents);
      // One position per entry of the parameter.
      EXPECT_EQ(detent.DetentCount(), knob.GetParam()->DisplayTextCount() - 1);
      EXPECT_EQ(knob.GetBitmap().GetResourceName(), "x271_frame_stack_fixed_again.png");
    }
    else
    {
      EXPECT_EQ(knob.GetBitmap().GetResourceName(), "smallknob.png");
    }
  }
  auto& background = rig.ControlAs<IBitmapControl>(0);
  EXPECT_EQ(background.GetBitmap().GetResourceName(), "QEQ_back.png");
  EXPECT_EQ(background.GetBlend().weight, 1.f);
  auto& sw = rig.ControlAs<IBOndrellSwitchControl>(10);
  EXPECT_EQ(sw.GetBitmap().GetResourceName(), "QEQ_OS.png");
  EXPECT_EQ(sw.GetBitmap().N(), 2);
  EXPECT_EQ(RectText(sw.PromptBox()), RectText(IRect(167.5f, 163.5f, 207.5f, 179.5f)));
}

TEST_F(LayoutTest, VersionTextStyleAndPlace)
{
  IGContextHeadless& ui = rig.Open();
  auto& text = rig.ControlAs<ITextControl>(11);
  EXPECT_STREQ(text.GetStr(), "4.1.0");
  EXPECT_STREQ(ondrell::editor::VersionText(), "4.1.0");

  // The text and the plug-in's packed version tell the same version.
  const int32_t v = QuorlEQ::MakeConfig().version;
  char packed[32];
  std::snprintf(packed, sizeof(packed), "%d.%d.%d", v >> 16, (v >> 8) & 0xFF, v & 0xFF);
  EXPECT_STREQ(text.GetStr(), packed);

  const IText& style = text.GetText();
  EXPECT_STREQ(style.font, "Roboto-Regular");
  EXPECT_EQ(style.size, 12.f);
  EXPECT_EQ(style.fgColor, IColor(255, 230, 230, 230));
  EXPECT_EQ(style.textEntryBGColor, IColor(255, 255, 255, 255));
  EXPECT_EQ(style.textEntryFGColor, IColor(255, 0, 0, 0));
  EXPECT_EQ(style.angle, 0.f);
  EXPECT_EQ(style.align, EAlign::Near);
  EXPECT_EQ(style.vAlign, EVAlign::Middle);
  EXPECT_EQ(text.GetBGColor(), IColor(0, 0, 0, 0));

  // Never hit: a point in its box outside the corner's square finds the background.
  EXPECT_TRUE(text.GetIgnoreMouse());
  EXPECT_EQ(ui.GetMouseControl(600.f, 205.f, false), &rig.Control(0));
}

TEST_F(LayoutTest, ResizeCornerAtDrawScaleOne)
{
  IGContextHeadless& ui = rig.Open();
  auto& corner = rig.ControlAs<IRasterScaleCornerDragControl>(12);
  EXPECT_EQ(RectText(corner.GetHitRect()), RectText(IRect(625, 176, 663, 214)));
  EXPECT_EQ(RectText(corner.GetTriangleRect()), RectText(IRect(645, 196, 663, 214)));
  EXPECT_EQ(RectText(corner.GetTargetRECT()), RectText(IRect(553, 104, 663, 214)));
  EXPECT_EQ(corner.GetScaleSteps(), (std::vector<float>{1.f, 1.25f, 1.5f, 1.75f, 2.f}));
  // The badge area of the rect is not part of the handle.
  EXPECT_FALSE(corner.IsHit(600.f, 150.f));
  EXPECT_TRUE(corner.IsHit(625.f, 176.f));
  EXPECT_FALSE(corner.IsHit(663.f, 214.f));
  EXPECT_EQ(ui.GetMouseControl(650.f, 200.f, false), &corner);
}

TEST_F(LayoutTest, MakeGraphicsUsesDesignSizeFrameRateAndStoredScale)
{
  struct Case
  {
    std::optional<std::string> stored;
    float scale;
  };
  const Case cases[] = {{std::nullopt, 1.f}, {"1.7500\n", 1.75f}, {"8\n", 4.f}, {"garbage\n", 1.f}};
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.stored.value_or("<no file>"));
    ScopedConfigHome local;
    if (c.stored)
      local.WritePrefFile(*c.stored);
    std::unique_ptr<IGContext> ui = rig.plugin->CreateGraphics();
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(ui->Width(), 664);
    EXPECT_EQ(ui->Height(), 215);
    EXPECT_EQ(ui->FPS(), 60);
    EXPECT_FLOAT_EQ(ui->GetDrawScale(), c.scale);
    // A fresh context: the layout runs when the window opens.
    EXPECT_EQ(ui->NControls(), 0);
  }
}

TEST_F(LayoutTest, ReopeningBuildsAFreshEditor)
{
  // Opening again without closing replaces the context; the layout runs once on each.
  rig.Open();
  rig.Open();
  EXPECT_EQ(rig.UI().NControls(), 13);
  rig.Close();
  EXPECT_EQ(rig.plugin->GetUI(), nullptr);
  rig.Open();
  EXPECT_EQ(rig.UI().NControls(), 13);
}

} // namespace

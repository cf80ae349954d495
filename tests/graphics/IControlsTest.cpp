// Controls: the dirty and notify rules, host values during a drag, knob drag and wheel arithmetic, switch
// stepping, the frame shown for a value, bitmap placement and the text control.

#include "GraphicsTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quorl_test;

namespace {

// Records the frame-level drawing calls instead of (as well as) drawing them.
class RecordingContext : public IGContextHeadless
{
public:
  using IGContextHeadless::IGContextHeadless;

  struct BitmapCall
  {
    IRect dest;
    int srcX, srcY;
    float weight;
  };
  using IGContextHeadless::DrawBitmap;
  void DrawBitmap(const IBitmap&, const IRect& dest, int srcX, int srcY, const IBlend* blend) override
  {
    bitmapCalls.push_back({dest, srcX, srcY, blend ? blend->weight : -1.f});
  }
  void FillRect(const IColor& color, const IRect& bounds, const IBlend* blend) override
  {
    fills.push_back(bounds);
    IGContextHeadless::FillRect(color, bounds, blend);
  }
  void DoDrawText(const IText& text, const char* str, const IRect& bounds, const IBlend* blend) override
  {
    texts.emplace_back(str);
    IGContextHeadless::DoDrawText(text, str, bounds, blend);
  }

  std::vector<BitmapCall> bitmapCalls;
  std::vector<IRect> fills;
  std::vector<std::string> texts;
};

class ControlsTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ui = std::make_unique<RecordingContext>(dlg, 664, 215);
    ui->OnViewInitialized();
    Attach<RecordingControl>(*ui, IRect(0, 0, 664, 215));
  }

  // A drag of the captured control by dY points in steps of at most 10, as a pointer would deliver it.
  void DragBy(float x, float y, float dY, IMouseMod mod = {})
  {
    const float step = dY < 0 ? -10.f : 10.f;
    float done = 0.f;
    while (std::fabs(done) < std::fabs(dY))
    {
      const float d = std::fabs(dY - done) < 10.f ? dY - done : step;
      done += d;
      ui->OnMouseDrag({Mouse(x, y + done, 0, d, mod)});
    }
  }

  TestDelegate dlg;
  std::unique_ptr<RecordingContext> ui;
};

class Knob : public IKnobControlBase
{
public:
  using IKnobControlBase::IKnobControlBase;
  void Draw(IGContext&) override {}
};

} // namespace

TEST_F(ControlsTest, SetDirtyClampsAndNotifiesOnlyWhenAsked)
{
  auto* c = Attach<RecordingControl>(*ui, IRect(10, 10, 50, 50), kLevel);
  c->SetValue(1.7);
  EXPECT_EQ(c->GetValue(), 1.7); // stored as given
  c->SetDirty(false, 0);
  EXPECT_EQ(c->GetValue(), 1.0);
  EXPECT_TRUE(dlg.calls.empty());
  c->SetDirty(true, 0);
  ASSERT_EQ(dlg.calls.size(), 1u);
  EXPECT_EQ(dlg.calls[0].what, "set");
  EXPECT_EQ(dlg.calls[0].value, 1.0);
  EXPECT_EQ(dlg.GetParam(kLevel)->Value(), 20.0);

  c->SetValue(-0.5);
  c->SetDirty(true);
  EXPECT_EQ(dlg.calls.back().value, 0.0);

  // An unbound control never talks to the plug-in.
  auto* free = Attach<RecordingControl>(*ui, IRect(60, 10, 80, 50));
  free->SetValueFromUserInput(0.3);
  EXPECT_EQ(dlg.calls.size(), 2u);
}

TEST_F(ControlsTest, ValuesFromTheHost)
{
  auto* c = Attach<RecordingControl>(*ui, IRect(10, 10, 50, 50), kLevel);
  c->SetValueFromDelegate(0.3);
  c->SetClean();
  c->SetValueFromDelegate(0.3);
  EXPECT_FALSE(c->IsDirty());
  // A NaN counts as a change; the clamp turns it into 0 so nothing undefined is kept.
  c->SetValueFromDelegate(std::nan(""));
  EXPECT_TRUE(c->IsDirty());
  EXPECT_EQ(c->GetValue(), 0.0);
  EXPECT_TRUE(dlg.calls.empty()); // host values are never sent back
}

TEST_F(ControlsTest, KnobDragWithGearingAndFineAdjustment)
{
  // 47 points high, gearing 4: a full sweep takes 188 points, ten times that with shift or control.
  auto* k = Attach<Knob>(*ui, IRect(53, 92, 100, 139), kLevel, EDirection::Vertical, 4.0);
  ui->SetMouseLocation(70, 110);
  ui->OnMouseDown({Mouse(70, 110)});
  EXPECT_TRUE(ui->CursorIsHidden());
  DragBy(70, 110, -94.f); // half the sweep up
  EXPECT_NEAR(k->GetValue(), 0.5, 1e-12);
  DragBy(70, 16, -94.f);
  EXPECT_NEAR(k->GetValue(), 1.0, 1e-12);
  DragBy(70, -78, -50.f); // further up: stays at 1
  EXPECT_EQ(k->GetValue(), 1.0);
  DragBy(70, -128, 50.f); // the drag value was held at 1, so coming back lowers it at once
  EXPECT_NEAR(k->GetValue(), 1.0 - 50.0 / 188.0, 1e-12);
  ui->SetMouseLocation(300, 5);
  ui->OnMouseUp({Mouse(70, -78)});
  // The pointer comes back where it was hidden.
  EXPECT_FALSE(ui->CursorIsHidden());
  float x = 0, y = 0;
  ui->GetMouseLocation(x, y);
  EXPECT_EQ(x, 70.f);
  EXPECT_EQ(y, 110.f);

  // Each step was sent to the plug-in, bracketed by one gesture.
  EXPECT_EQ(dlg.CallsOf("begin").size(), 1u);
  EXPECT_EQ(dlg.CallsOf("end").size(), 1u);
  EXPECT_NEAR(dlg.CallsOf("set").back().value, 1.0 - 50.0 / 188.0, 1e-12);

  k->SetValue(0.0);
  ui->OnMouseDown({Mouse(70, 110, 0, 0, Mod(true))});
  DragBy(70, 110, -188.f, Mod(true));
  EXPECT_NEAR(k->GetValue(), 0.1, 1e-12);
  DragBy(70, -78, -1692.f, Mod(false, true));
  EXPECT_NEAR(k->GetValue(), 1.0, 1e-9);
  ui->OnMouseUp({Mouse(70, 0)});

  // Horizontal knobs follow dX over the width.
  auto* h = Attach<Knob>(*ui, IRect(200, 10, 300, 30), kNoParameter, EDirection::Horizontal, 2.0);
  ui->OnMouseDown({Mouse(250, 20)});
  ui->OnMouseDrag({Mouse(300, 20, 50, 7)});
  ui->OnMouseUp({Mouse(300, 20)});
  EXPECT_NEAR(h->GetValue(), 50.0 / 100.0 / 2.0, 1e-12);
}

TEST_F(ControlsTest, SteppedKnobMovesOnlyWhenTheAccumulatedValueRoundsToAStep)
{
  // 0..10 in steps of 1: normalised steps of 0.1; 40 points high with gearing 1.
  auto* k = Attach<Knob>(*ui, IRect(10, 10, 50, 50), kSteps, EDirection::Vertical, 1.0);
  ui->OnMouseDown({Mouse(30, 30)});
  ui->OnMouseDrag({Mouse(30, 28, 0, -1.6f)}); // 0.04
  EXPECT_EQ(k->GetValue(), 0.0);
  ui->OnMouseDrag({Mouse(30, 27, 0, -1.0f)}); // 0.065 in total
  EXPECT_NEAR(k->GetValue(), 0.1, 1e-12);
  ui->OnMouseDrag({Mouse(30, 30, 0, 2.6f)}); // back to the start
  EXPECT_EQ(k->GetValue(), 0.0);
  ui->OnMouseUp({Mouse(30, 30)});
}

TEST_F(ControlsTest, KnobWheel)
{
  auto* level = Attach<Knob>(*ui, IRect(10, 10, 50, 50), kLevel);
  auto* steps = Attach<Knob>(*ui, IRect(60, 10, 100, 50), kSteps);
  level->SetValue(0.5);

  ui->OnMouseWheel(30, 30, Mod(), 1.f);
  EXPECT_NEAR(level->GetValue(), 0.51, 1e-12);
  ui->OnMouseWheel(30, 30, Mod(true), -1.f);
  EXPECT_NEAR(level->GetValue(), 0.509, 1e-12);
  ui->OnMouseWheel(30, 30, Mod(false, true), 3.f);
  EXPECT_NEAR(level->GetValue(), 0.512, 1e-12);

  // One step per event, whatever the size of the notch.
  ui->OnMouseWheel(80, 30, Mod(), 5.f);
  EXPECT_NEAR(steps->GetValue(), 0.1, 1e-12);
  ui->OnMouseWheel(80, 30, Mod(), 0.25f);
  EXPECT_NEAR(steps->GetValue(), 0.2, 1e-12);
  ui->OnMouseWheel(80, 30, Mod(), 0.f);
  EXPECT_NEAR(steps->GetValue(), 0.2, 1e-12);
  ui->OnMouseWheel(80, 30, Mod(), -1.f);
  ui->OnMouseWheel(80, 30, Mod(), -1.f);
  ui->OnMouseWheel(80, 30, Mod(), -1.f);
  EXPECT_EQ(steps->GetValue(), 0.0);

  EXPECT_TRUE(dlg.CallsOf("begin").empty()); // no gesture for wheel changes
  EXPECT_EQ(dlg.CallsOf("set").size(), 9u); // a notch of 0 still sends the (unchanged) value
}

TEST_F(ControlsTest, BitmapSwitchSteppingUsesTheFrameCount)
{
  APIBitmap twoFrames(29, 58, 1.f, 1.f);
  auto* sw = Attach<IBSwitchControl>(*ui, 173.f, 157.f, IBitmap(&twoFrames, 2, false), kSwitch);
  EXPECT_EQ(sw->GetRECT(), IRect(173, 157, 202, 186));
  EXPECT_EQ(sw->GetNumStates(), 2);

  std::vector<double> seen;
  for (int i = 0; i < 3; ++i)
  {
    ui->OnMouseDown({Mouse(180, 160)});
    ui->OnMouseUp({Mouse(180, 160)});
    seen.push_back(sw->GetValue());
  }
  EXPECT_EQ(seen, (std::vector<double>{1.0, 0.0, 1.0}));
  // A double click is two presses: it toggles twice.
  ui->OnMouseDblClick(180, 160, Mod());
  ui->OnMouseUp({Mouse(180, 160)});
  EXPECT_EQ(sw->GetValue(), 0.0);
  EXPECT_EQ(dlg.GetParam(kSwitch)->Value(), 0.0);

  APIBitmap threeFrames(30, 90, 1.f, 1.f);
  auto* three = Attach<IBSwitchControl>(*ui, 300.f, 10.f, IBitmap(&threeFrames, 3, false), kHPF);
  EXPECT_EQ(three->GetNumStates(), 6); // from the parameter's range
  seen.clear();
  for (int i = 0; i < 3; ++i)
  {
    ui->OnMouseDown({Mouse(310, 20)});
    ui->OnMouseUp({Mouse(310, 20)});
    seen.push_back(three->GetValue());
  }
  EXPECT_EQ(seen, (std::vector<double>{0.5, 1.0, 0.0}));
}

TEST(BitmapFrame, FrameForValue)
{
  struct Case
  {
    double value;
    int frames;
    int expected;
  };
  const Case cases[] = {
    {0.0, 1, 1},   {0.7, 1, 1},     {0.0, 2, 1},    {0.4999, 2, 1},  {0.5, 2, 2},    {1.0, 2, 2},
    {0.0, 271, 1}, {0.5, 271, 136}, {1.0, 271, 271}, {0.0018, 271, 1}, {0.0019, 271, 2}, {-3.0, 271, 1},
    {7.0, 271, 271},
  };
  for (const Case& c : cases)
  {
    // Rounded half up to the nearest of the frames, counted from 1.
    EXPECT_EQ(BitmapFrameForValue(c.value, c.frames), c.expected) << c.value << " of " << c.frames;
  }
  EXPECT_EQ(BitmapFrameForValue(std::nan(""), 271), 1);
}

TEST_F(ControlsTest, BitmapControlDrawsTheFrameCentredInItsRect)
{
  // 271 frames stacked: 47 x 12737 points at scale 1.
  APIBitmap strip(47, 47 * 271, 1.f, 1.f);
  auto* c = Attach<IBitmapControl>(*ui, 53.f, 92.f, IBitmap(&strip, 271, false), kLevel);
  EXPECT_EQ(c->GetRECT(), IRect(53, 92, 100, 139));
  c->SetValueFromDelegate(0.5);
  ui->bitmapCalls.clear();
  c->Draw(*ui);
  ASSERT_EQ(ui->bitmapCalls.size(), 1u);
  EXPECT_EQ(ui->bitmapCalls[0].srcX, 0);
  EXPECT_EQ(ui->bitmapCalls[0].srcY, 135 * 47); // frame 136
  EXPECT_EQ(ui->bitmapCalls[0].dest, IRect(53, 92, 100, 139));
  EXPECT_EQ(ui->bitmapCalls[0].weight, 1.f);

  // Horizontal frames give a horizontal offset; a smaller picture is centred in the rect.
  APIBitmap row(40, 10, 1.f, 1.f);
  auto* h = Attach<IBitmapControl>(*ui, 0.f, 0.f, IBitmap(&row, 4, true));
  h->SetRECT(IRect(0, 0, 20, 20));
  h->SetValue(1.0);
  ui->bitmapCalls.clear();
  h->Draw(*ui);
  ASSERT_EQ(ui->bitmapCalls.size(), 1u);
  EXPECT_EQ(ui->bitmapCalls[0].srcX, 30);
  EXPECT_EQ(ui->bitmapCalls[0].dest, IRect(5, 5, 15, 15));

  // A disabled control draws at a quarter of its opacity.
  h->SetDisabled(true);
  ui->bitmapCalls.clear();
  h->Draw(*ui);
  EXPECT_EQ(ui->bitmapCalls[0].weight, 0.25f);

  // A bitmap that failed to load draws nothing and still takes the pointer.
  auto* missing = Attach<IBitmapControl>(*ui, 0.f, 0.f, IBitmap());
  ui->bitmapCalls.clear();
  missing->Draw(*ui);
  EXPECT_TRUE(ui->bitmapCalls.empty());
}

TEST_F(ControlsTest, TextControl)
{
  auto* t = Attach<ITextControl>(*ui, IRect(576, 195, 656, 215), "", IText(), IColor(255, 1, 2, 3));
  ui->fills.clear();
  t->Draw(*ui);
  EXPECT_EQ(ui->fills.size(), 1u);
  EXPECT_TRUE(ui->texts.empty()); // an empty text draws only the background

  t->SetClean();
  t->SetStr("4.1.0");
  EXPECT_TRUE(t->IsDirty());
  t->SetClean();
  t->SetStr("4.1.0");
  EXPECT_FALSE(t->IsDirty());
  t->Draw(*ui);
  EXPECT_EQ(ui->texts, (std::vector<std::string>{"4.1.0"}));

  t->SetStrFmt(5, "%d.%d.%d-beta", 10, 20, 3);
  EXPECT_STREQ(t->GetStr(), "10.20");
  EXPECT_EQ(ui->GetMouseControl(600, 200, false), ui->GetControl(0)); // never hit
}

TEST_F(ControlsTest, RightPressPromptsOnlyWhenAllowed)
{
  auto* c = Attach<RecordingControl>(*ui, IRect(100, 100, 140, 120), kLevel);
  c->OnMouseDown(110, 110, Mod(false, false, true));
  EXPECT_FALSE(ui->TextEntryIsOpen());

  c->DisablePrompt(false);
  c->OnMouseDown(110, 110, Mod(false, false, true));
  ASSERT_TRUE(ui->TextEntryIsOpen());
  // A 40 x 16 box centred on the control.
  EXPECT_EQ(ui->LastTextEntry().bounds, IRect(100, 102, 140, 118));
  ui->CancelTextEntry();
  EXPECT_EQ(ui->GetControlInTextEntry(), nullptr);
}

TEST_F(ControlsTest, PositionSizeAndDefaults)
{
  auto* c = Attach<RecordingControl>(*ui, IRect(10, 10, 50, 30), kHPF);
  c->SetPosition(-5, 40);
  EXPECT_EQ(c->GetRECT(), IRect(0, 40, 40, 60));
  EXPECT_EQ(c->GetTargetRECT(), IRect(0, 40, 40, 60));
  c->SetSize(-3, 8);
  EXPECT_EQ(c->GetRECT(), IRect(0, 40, 0, 48));
  EXPECT_FALSE(c->IsHit(0, 41));

  c->SetValue(0.8);
  c->SetValueToDefault();
  EXPECT_EQ(c->GetValue(), 0.0);
  EXPECT_EQ(dlg.CallsOf("set").back().value, 0.0);
  EXPECT_EQ(c->LinkedToParam(kHPF), 0);
  EXPECT_EQ(c->LinkedToParam(kLevel), -1);
}

// The film-strip knobs and the switch on the real plug-in: the cell drawn for a value (at both picture
// resolutions), click-stops on the listed entries of each frequency knob, wheel and double click, dragging
// through the context with the gestures the host sees, the value read-out, and the oversampling switch.

#include "EditorTestSupport.h"

#include "editor/IBGridKnobControls.h"
#include "editor/IBOndrellSwitchControl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quorl_editor_test;
using ondrell::editor::detail::FilmStripGrid;
using ondrell::editor::detail::IBGridDetentKnobControl;
using ondrell::editor::detail::IBGridKnobControl;
using ondrell::editor::detail::IBGridOndrellKnobControl;
using Notice = ondrell::testing::TestAdapter::HostNotice;

namespace {

// Control indices of the design (attachment order).
constexpr int kGainKnob = 1;
constexpr int kHpfKnob = 6;
constexpr int kLowShelfFreqKnob = 7;
constexpr int kMid1FreqKnob = 8;
constexpr int kMid2FreqKnob = 9;
constexpr int kSwitch = 10;

class GridKnobTest : public ::testing::Test
{
protected:
  // The parameter a control is bound to, found by its name so the test does not share the code's indices.
  int ParamNamed(const char* name) const
  {
    for (int i = 0; i < rig.plugin->NParams(); ++i)
      if (std::string(rig.plugin->GetParam(i)->GetName()) == name)
        return i;
    return -1;
  }
  // A change made by the host: stored in the plug-in and pushed to the editor.
  void HostSets(int paramIdx, double value)
  {
    rig.plugin->SetParameterFromMainThread(paramIdx, value);
    rig.plugin->SendParamValueToEditor(paramIdx, value, false);
  }
  std::vector<Notice> Notices(Notice::Kind kind) const
  {
    std::vector<Notice> out;
    for (const Notice& n : rig.plugin->HostNotices())
      if (n.kind == kind)
        out.push_back(n);
    return out;
  }
  float CX(int control) { return rig.Control(control).GetRECT().MW(); }
  float CY(int control) { return rig.Control(control).GetRECT().MH(); }

  ScopedConfigHome home;
  EditorRig rig;
};

TEST(FilmStripGridTest, CellForValueRoundsHalfUpWithinTheStrip)
{
  const FilmStripGrid grid{271, 16};
  EXPECT_EQ(grid.Rows(), 17);
  EXPECT_EQ(grid.CellWidth(752), 47);
  EXPECT_EQ(grid.CellHeight(799), 47);
  EXPECT_EQ(grid.CellWidth(1024), 64);
  EXPECT_EQ(grid.CellHeight(1088), 64);
  // The 2x frequency strip is 1888 x 2006 pixels, 944 x 1003 points.
  EXPECT_EQ(grid.CellWidth(944), 59);
  EXPECT_EQ(grid.CellHeight(1003), 59);

  struct Case
  {
    double value;
    int cell;
  };
  const Case cases[] = {
    {0.0, 0},
    {1.0, 270},             // the 15th cell of row 17
    {0.5, 135},             // row 9, column 8
    {0.55, 149},            // int(270 * 0.55 + 0.5)
    {0.5 / 270.0, 1},       // exactly half-way to the next frame rounds up
    {0.499 / 270.0, 0},
    {-0.3, 0},
    {1.7, 270},
    {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(grid.CellForValue(c.value), c.cell) << c.value;
}

struct DrawCase
{
  int control;
  double value;
  int cell;
};

// Checks the single picture draw of a knob: the cell's offset in the strip and the cell centred on the rect.
void ExpectCellDrawn(SpyContext& spy, IControl& knob, int cell, int cellSize, const char* picture)
{
  spy.bitmapDraws.clear();
  knob.Draw(spy);
  ASSERT_EQ(spy.bitmapDraws.size(), 1u);
  const SpyContext::BitmapDraw& d = spy.bitmapDraws[0];
  EXPECT_EQ(d.name, picture);
  EXPECT_EQ(d.srcX, cellSize * (cell % 16));
  EXPECT_EQ(d.srcY, cellSize * (cell / 16));
  const IRect& r = knob.GetRECT();
  const float half = static_cast<float>(cellSize) / 2.f;
  EXPECT_FLOAT_EQ(d.dest.L, r.MW() - half);
  EXPECT_FLOAT_EQ(d.dest.T, r.MH() - half);
  EXPECT_FLOAT_EQ(d.dest.W(), static_cast<float>(cellSize));
  EXPECT_FLOAT_EQ(d.dest.H(), static_cast<float>(cellSize));
}

TEST_F(GridKnobTest, EachKnobDrawsTheCellOfItsValueAtBothResolutions)
{
  const DrawCase cases[] = {
    {kGainKnob, 0.0, 0},     {kGainKnob, 1.0, 270},    {kGainKnob, 0.5, 135},
    {kHpfKnob, 0.55, 149},   {kHpfKnob, 0.2, 54},      {kMid2FreqKnob, 1.0, 270},
  };
  for (const float scale : {1.f, 2.f})
  {
    SCOPED_TRACE("draw scale " + std::to_string(scale));
    home.WritePrefFile(scale == 1.f ? "1.0000\n" : "2.0000\n");
    rig.UseSpyContext(scale);
    rig.Open();
    ASSERT_FLOAT_EQ(rig.UI().GetDrawScale(), scale);
    for (const DrawCase& c : cases)
    {
      SCOPED_TRACE("control " + std::to_string(c.control) + " value " + std::to_string(c.value));
      IControl& knob = rig.Control(c.control);
      knob.SetValueFromDelegate(c.value);
      const bool level = c.control == kGainKnob;
      // The level strip has 47-point cells at both resolutions; the 2x frequency strip has 59-point cells,
      // drawn centred in the unchanged 64-point rect.
      const int cellSize = level ? 47 : (scale == 1.f ? 64 : 59);
      ExpectCellDrawn(rig.Spy(), knob, c.cell, cellSize,
                      level ? "smallknob.png" : "x271_frame_stack_fixed_again.png");
      EXPECT_FLOAT_EQ(knob.GetRECT().W(), level ? 47.f : 64.f);
    }
    rig.Close();
  }
}

TEST_F(GridKnobTest, SwitchShowsFrameOneOffAndFrameTwoOn)
{
  rig.UseSpyContext();
  rig.Open();
  IControl& sw = rig.Control(kSwitch);
  const struct
  {
    double value;
    int srcY;
  } cases[] = {{0.0, 0}, {0.49, 0}, {0.5, 29}, {1.0, 29}};
  for (const auto& c : cases)
  {
    sw.SetValueFromDelegate(c.value);
    rig.Spy().bitmapDraws.clear();
    sw.Draw(rig.Spy());
    ASSERT_EQ(rig.Spy().bitmapDraws.size(), 1u);
    EXPECT_EQ(rig.Spy().bitmapDraws[0].srcY, c.srcY) << c.value;
    EXPECT_EQ(rig.Spy().bitmapDraws[0].srcX, 0);
    EXPECT_FLOAT_EQ(rig.Spy().bitmapDraws[0].dest.L, 173.f);
    EXPECT_FLOAT_EQ(rig.Spy().bitmapDraws[0].dest.T, 157.f);
  }
}

struct FrequencyKnobCase
{
  int control;
  const char* param;
  std::vector<std::string> entries;
};

TEST_F(GridKnobTest, DraggingClicksThroughEveryListedEntryAndBack)
{
  const FrequencyKnobCase cases[] = {
    {kHpfKnob, "HPF", {"Off", "30 Hz", "50 Hz", "80 Hz", "160 Hz", "300 Hz"}},
    {kLowShelfFreqKnob, "LoShelf Freq", {"35 Hz", "60 Hz", "110 Hz", "220 Hz"}},
    {kMid1FreqKnob, "MF 1 Freq", {"150 Hz", "180 Hz", "240 Hz", "400 Hz", "820 Hz", "1200 Hz"}},
    {kMid2FreqKnob, "MF 2 Freq", {"220 Hz", "315 Hz", "640 Hz", "2500 Hz", "3150 Hz", "6000 Hz", "8000 Hz"}},
  };
  rig.Open();
  for (const FrequencyKnobCase& c : cases)
  {
    SCOPED_TRACE(c.param);
    const int p = ParamNamed(c.param);
    ASSERT_GE(p, 0);
    ASSERT_EQ(rig.Control(c.control).GetParamIdx(), p);
    HostSets(p, 0.0);
    rig.plugin->ClearHostNotices();
    const int n = static_cast<int>(c.entries.size()) - 1;

    // One point per sample, further than the whole sweep (4 heights of 64 points) in each direction.
    const float x = CX(c.control);
    float y = CY(c.control);
    std::vector<std::string> seen{rig.Text(p)};
    rig.Press(x, y);
    for (int i = 0; i < 300; ++i)
    {
      y -= 1.f;
      rig.Drag(x, y, 0.f, -1.f);
      if (rig.Text(p) != seen.back())
        seen.push_back(rig.Text(p));
    }
    EXPECT_EQ(seen, c.entries);
    std::vector<std::string> back{rig.Text(p)};
    for (int i = 0; i < 300; ++i)
    {
      y += 1.f;
      rig.Drag(x, y, 0.f, 1.f);
      if (rig.Text(p) != back.back())
        back.push_back(rig.Text(p));
    }
    EXPECT_EQ(back, std::vector<std::string>(c.entries.rbegin(), c.entries.rend()));
    rig.Release(x, y);

    // The host saw one gesture, and inside it each position once as it was reached (the release sends the
    // final one again), always as a whole position.
    const auto& all = rig.plugin->HostNotices();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front().kind, Notice::Begin);
    EXPECT_EQ(all.back().kind, Notice::End);
    EXPECT_EQ(Notices(Notice::Begin).size(), 1u);
    EXPECT_EQ(Notices(Notice::End).size(), 1u);
    const std::vector<Notice> values = Notices(Notice::Value);
    ASSERT_EQ(values.size(), static_cast<size_t>(2 * n + 1));
    for (size_t i = 0; i < values.size(); ++i)
    {
      const int position = i < static_cast<size_t>(n) ? static_cast<int>(i) + 1
                           : i < static_cast<size_t>(2 * n) ? 2 * n - 1 - static_cast<int>(i)
                                                              : 0;
      EXPECT_EQ(values[i].paramIdx, p);
      EXPECT_NEAR(values[i].normalised, static_cast<double>(position) / n, 1e-7) << i;
    }
  }
}

TEST_F(GridKnobTest, DetentJumpsWhenTheMovementPassesHalfAPosition)
{
  rig.Open();
  const int p = ParamNamed("HPF");
  HostSets(p, 2.0); // "50 Hz", normalised 0.4
  const float x = CX(kHpfKnob);
  const float y = CY(kHpfKnob);
  auto& knob = rig.ControlAs<IBGridDetentKnobControl>(kHpfKnob);
  ASSERT_EQ(knob.CurrentDetent(), 2);

  // 0.1 of the range is 0.1 x 4 x 64 = 25.6 points.
  rig.Press(x, y);
  rig.plugin->ClearHostNotices();
  rig.Drag(x, y - 25.5f, 0.f, -25.5f);
  EXPECT_TRUE(Notices(Notice::Value).empty());
  EXPECT_EQ(rig.Text(p), "50 Hz");
  rig.Release(x, y);

  HostSets(p, 2.0);
  rig.Press(x, y);
  rig.plugin->ClearHostNotices();
  rig.Drag(x, y - 25.7f, 0.f, -25.7f);
  ASSERT_EQ(Notices(Notice::Value).size(), 1u);
  EXPECT_EQ(Notices(Notice::Value)[0].normalised, static_cast<double>(3.f / 5.f));
  EXPECT_EQ(rig.Text(p), "80 Hz");
  // The accumulation restarts from the exact position: the same movement back returns to 0.4.
  rig.Drag(x, y, 0.f, 25.7f);
  ASSERT_EQ(Notices(Notice::Value).size(), 2u);
  EXPECT_EQ(Notices(Notice::Value)[1].normalised, static_cast<double>(2.f / 5.f));
  EXPECT_EQ(rig.Text(p), "50 Hz");
  // Ten times finer with shift: the same movement stays within the position.
  rig.Drag(x, y - 25.7f, 0.f, -25.7f, LeftButton(true));
  EXPECT_EQ(rig.Text(p), "50 Hz");
  rig.Release(x, y);
}

TEST_F(GridKnobTest, WheelMovesOnePositionAndResendsAtTheEndsAndOnLeaving)
{
  rig.Open();
  IGContextHeadless& ui = rig.UI();
  const int p = ParamNamed("LoShelf Freq"); // four entries, N = 3
  const float x = CX(kLowShelfFreqKnob);
  const float y = CY(kLowShelfFreqKnob);
  const IMouseMod mod = LeftButton();

  HostSets(p, 3.0);
  rig.plugin->ClearHostNotices();
  ui.OnMouseOver(x, y, mod);
  ui.OnMouseWheel(x, y, mod, 1.f);
  ASSERT_EQ(Notices(Notice::Value).size(), 1u);
  EXPECT_EQ(Notices(Notice::Value)[0].normalised, 1.0);
  EXPECT_EQ(rig.Text(p), "220 Hz");
  // No gesture around wheel changes.
  EXPECT_TRUE(Notices(Notice::Begin).empty());
  EXPECT_TRUE(Notices(Notice::End).empty());

  // Leaving the knob after a wheel step sends the position once more, and only once.
  ui.OnMouseOver(5.f, 5.f, mod);
  ASSERT_EQ(Notices(Notice::Value).size(), 2u);
  EXPECT_EQ(Notices(Notice::Value)[1].normalised, 1.0);
  ui.OnMouseOver(x, y, mod);
  ui.OnMouseOver(5.f, 5.f, mod);
  EXPECT_EQ(Notices(Notice::Value).size(), 2u);

  HostSets(p, 0.0);
  rig.plugin->ClearHostNotices();
  ui.OnMouseWheel(x, y, mod, -1.f);
  ASSERT_EQ(Notices(Notice::Value).size(), 1u);
  EXPECT_EQ(Notices(Notice::Value)[0].normalised, 0.0);
  EXPECT_EQ(rig.Text(p), "35 Hz");

  // However large the notch count, one position per event.
  ui.OnMouseWheel(x, y, mod, 5.f);
  EXPECT_EQ(rig.Text(p), "60 Hz");
  EXPECT_EQ(Notices(Notice::Value).back().normalised, static_cast<double>(1.f / 3.f));
}

TEST_F(GridKnobTest, HostValueBetweenPositionsDrawsItsCellAndSetsTheCurrentPosition)
{
  rig.UseSpyContext();
  rig.Open();
  auto& knob = rig.ControlAs<IBGridDetentKnobControl>(kHpfKnob);
  knob.SetValueFromDelegate(0.55);
  EXPECT_EQ(knob.CurrentDetent(), 3);
  ExpectCellDrawn(rig.Spy(), knob, 149, 64, "x271_frame_stack_fixed_again.png");

  const int p = ParamNamed("HPF");
  rig.plugin->ClearHostNotices();
  rig.UI().OnMouseWheel(CX(kHpfKnob), CY(kHpfKnob), LeftButton(), 1.f);
  ASSERT_EQ(Notices(Notice::Value).size(), 1u);
  EXPECT_EQ(Notices(Notice::Value)[0].normalised, static_cast<double>(4.f / 5.f));
  EXPECT_EQ(rig.Text(p), "160 Hz");
}

TEST_F(GridKnobTest, DoubleClickReturnsToTheDefault)
{
  rig.Open();
  const int mid1 = ParamNamed("MF 1 Freq");
  HostSets(mid1, 5.0);
  ASSERT_EQ(rig.Text(mid1), "1200 Hz");
  EXPECT_TRUE(rig.UI().OnMouseDblClick(CX(kMid1FreqKnob), CY(kMid1FreqKnob), LeftButton()));
  EXPECT_EQ(rig.Text(mid1), "240 Hz");
  EXPECT_EQ(rig.ControlAs<IBGridDetentKnobControl>(kMid1FreqKnob).CurrentDetent(), 2);

  const int gain = ParamNamed("Gain");
  HostSets(gain, 5.0);
  EXPECT_TRUE(rig.UI().OnMouseDblClick(CX(kGainKnob), CY(kGainKnob), LeftButton()));
  EXPECT_EQ(rig.Text(gain), "0.0");
}

TEST_F(GridKnobTest, DraggingALevelKnobSendsAGestureAndShowsTheReadOut)
{
  rig.UseSpyContext();
  rig.Open();
  const int gain = ParamNamed("Gain");
  auto& knob = rig.ControlAs<IBGridOndrellKnobControl>(kGainKnob);
  const float x = CX(kGainKnob);
  float y = CY(kGainKnob);
  const double start = 20.0 / 30.0; // 0 dB in -20 ... 10 dB
  ASSERT_NEAR(knob.GetValue(), start, 1e-12);

  rig.plugin->ClearHostNotices();
  rig.Press(x, y);
  EXPECT_TRUE(knob.IsShowingValue());
  // 47 points up in ten samples: a quarter of the range with gearing 4 on a 47-point knob.
  for (int i = 0; i < 10; ++i)
  {
    y -= 4.7f;
    rig.Drag(x, y, 0.f, -4.7f);
  }
  EXPECT_EQ(rig.Text(gain), "7.5");
  EXPECT_NEAR(rig.plugin->GetParam(gain)->Value(), 7.5, 1e-5); // the samples' movements are floats

  // The read-out: the parameter's text on an 80 x 24 plate centred on the knob.
  rig.Spy().texts.clear();
  knob.Draw(rig.Spy());
  ASSERT_EQ(rig.Spy().texts.size(), 1u);
  const SpyContext::TextDraw& t = rig.Spy().texts[0];
  EXPECT_EQ(t.str, "7.5");
  EXPECT_EQ(t.style.size, 16.f);
  EXPECT_EQ(t.style.fgColor, COLOR_WHITE);
  EXPECT_EQ(t.style.align, EAlign::Center);
  EXPECT_EQ(t.style.vAlign, EVAlign::Middle);
  EXPECT_FLOAT_EQ(t.bounds.L, 76.5f - 40.f);
  EXPECT_FLOAT_EQ(t.bounds.T, 115.5f - 12.f);
  EXPECT_FLOAT_EQ(t.bounds.R, 76.5f + 40.f);
  EXPECT_FLOAT_EQ(t.bounds.B, 115.5f + 12.f);

  rig.Release(x, y);
  EXPECT_FALSE(knob.IsShowingValue());
  rig.Spy().texts.clear();
  knob.Draw(rig.Spy());
  EXPECT_TRUE(rig.Spy().texts.empty());

  const auto& all = rig.plugin->HostNotices();
  ASSERT_GE(all.size(), 3u);
  EXPECT_EQ(all.front().kind, Notice::Begin);
  EXPECT_EQ(all.front().paramIdx, gain);
  EXPECT_EQ(all.back().kind, Notice::End);
  EXPECT_EQ(all.back().paramIdx, gain);
  const std::vector<Notice> values = Notices(Notice::Value);
  ASSERT_EQ(values.size(), 10u);
  EXPECT_NEAR(values.back().normalised, start + 0.25, 1e-6);

  // A further 188 points (four heights) cannot go past the top.
  rig.Press(CX(kGainKnob), CY(kGainKnob));
  rig.Drag(x, y - 188.f, 0.f, -188.f);
  rig.Release(x, y - 188.f);
  EXPECT_EQ(rig.Text(gain), "10.0");
}

TEST_F(GridKnobTest, WheelOnALevelKnobShowsNoReadOut)
{
  rig.UseSpyContext();
  rig.Open();
  auto& knob = rig.ControlAs<IBGridOndrellKnobControl>(kGainKnob);
  const double before = knob.GetValue();
  rig.UI().OnMouseWheel(CX(kGainKnob), CY(kGainKnob), LeftButton(), 1.f);
  EXPECT_NEAR(knob.GetValue(), before + 0.01, 1e-12);
  EXPECT_FALSE(knob.IsShowingValue());
  rig.Spy().texts.clear();
  knob.Draw(rig.Spy());
  EXPECT_TRUE(rig.Spy().texts.empty());
}

TEST_F(GridKnobTest, ShiftPressStartsAFineDragFromTheCurrentValue)
{
  rig.Open();
  const int gain = ParamNamed("Gain");
  const float x = CX(kGainKnob);
  const float y = CY(kGainKnob);
  // An ordinary drag first, so the knob has a drag value of its own.
  rig.Press(x, y);
  rig.Drag(x, y - 47.f, 0.f, -47.f);
  rig.Release(x, y - 47.f);
  ASSERT_EQ(rig.Text(gain), "7.5");

  HostSets(gain, -10.0);
  rig.plugin->ClearHostNotices();
  const IMouseMod shift = LeftButton(true);
  rig.Press(x, y, shift);
  rig.Drag(x, y - 47.f, 0.f, -47.f, shift);
  rig.Release(x, y - 47.f, shift);
  const std::vector<Notice> values = Notices(Notice::Value);
  ASSERT_FALSE(values.empty());
  // From -10 dB (1/3) a quarter of the range, ten times finer.
  EXPECT_NEAR(values.back().normalised, 1.0 / 3.0 + 0.025, 1e-6);
}

TEST_F(GridKnobTest, SwitchTogglesOversampling)
{
  rig.Open();
  const int os = ParamNamed("Oversampling");
  const float x = CX(kSwitch);
  const float y = CY(kSwitch);
  ASSERT_EQ(rig.Text(os), "off");

  for (const char* expected : {"on", "off"})
  {
    rig.plugin->ClearHostNotices();
    rig.Press(x, y);
    rig.Release(x, y);
    EXPECT_EQ(rig.Text(os), expected);
    const auto& all = rig.plugin->HostNotices();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].kind, Notice::Begin);
    EXPECT_EQ(all[1].kind, Notice::Value);
    EXPECT_EQ(all[1].normalised, std::string(expected) == "on" ? 1.0 : 0.0);
    EXPECT_EQ(all[2].kind, Notice::End);
  }

  // A double click is two clicks: it toggles twice.
  rig.plugin->ClearHostNotices();
  rig.Press(x, y);
  rig.Release(x, y);
  EXPECT_TRUE(rig.UI().OnMouseDblClick(x, y, LeftButton()));
  rig.Release(x, y);
  EXPECT_EQ(Notices(Notice::Value).size(), 2u);
  EXPECT_EQ(rig.Text(os), "off");

  // Prompts are off, so a shift-click toggles like any click.
  rig.Press(x, y, LeftButton(true));
  rig.Release(x, y, LeftButton(true));
  EXPECT_EQ(rig.Text(os), "on");
}

} // namespace

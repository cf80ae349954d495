#include "editor/QuorlEQEditor.h"

#include "editor/DisplayScalePreference.h"
#include "editor/IBGridKnobControls.h"
#include "editor/IBOndrellSwitchControl.h"
#include "editor/IRasterScaleCornerDragControl.h"
#include "graphics/IControls.h"
#include "graphics/IGContext.h"
#include "graphics/PlatformContext.h"

#include <memory>

namespace ondrell::editor {

namespace {

using namespace graphics;

constexpr const char* kFontId = "Roboto-Regular";
constexpr const char* kFontResource = "Roboto-Regular.ttf";
constexpr const char* kBackground = "QEQ_back.png";
constexpr const char* kLevelKnob = "smallknob.png";
constexpr const char* kFrequencyKnob = "x271_frame_stack_fixed_again.png";
constexpr const char* kSwitch = "QEQ_OS.png";

// Every knob strip: 271 frames in 16 columns, dragged vertically, four rect heights for a full sweep.
constexpr int kKnobFrames = 271;
constexpr int kKnobColumns = 16;
constexpr double kKnobGearing = 4.0;

// Parameter indices of the plug-in.
enum Param
{
  kHighPassFreq = 0,
  kLowShelfFreq = 1,
  kLowShelfLevel = 2,
  kMid1Freq = 3,
  kMid1Level = 4,
  kMid2Freq = 5,
  kMid2Level = 6,
  kHighShelfLevel = 7,
  kGain = 8,
  kOversampling = 9,
};

struct KnobPlace
{
  float x;
  float y;
  int paramIdx;
};

constexpr KnobPlace kLevelKnobs[] = {
  {53.f, 92.f, kGain},
  {270.f, 139.f, kLowShelfLevel},
  {376.f, 139.f, kMid1Level},
  {482.f, 139.f, kMid2Level},
  {581.f, 80.f, kHighShelfLevel},
};

// Each knob has one position per entry of its parameter: the detent count is the entry count minus one.
struct DetentKnobPlace
{
  float x;
  float y;
  int paramIdx;
  int detents;
};

constexpr DetentKnobPlace kFrequencyKnobs[] = {
  {158.f, 50.f, kHighPassFreq, 5},
  {261.f, 29.f, kLowShelfFreq, 3},
  {367.f, 29.f, kMid1Freq, 5},
  {471.f, 29.f, kMid2Freq, 6},
};

constexpr float kSwitchX = 173.f;
constexpr float kSwitchY = 157.f;

// The version text's box: x from 576 to 656 along the bottom 20 points.
constexpr float kVersionLeft = 576.f;
constexpr float kVersionRight = 656.f;
constexpr float kVersionHeight = 20.f;

constexpr float kCornerSize = 20.f;

} // namespace

const char* VersionText()
{
  return QUORL_VERSION_TEXT;
}

std::unique_ptr<IGContext> MakeEditorGraphics(IGEditorDelegate& dlg)
{
  return MakePlatformContext(dlg, kEditorWidth, kEditorHeight, kEditorFPS, ReadDisplayScale());
}

void LayoutEditor(IGContext& g)
{
  g.EnableMouseOver(true);
  g.LoadFont(kFontId, kFontResource);

  // The controls take their rects from the pictures, so the pictures the controls are built with are those of
  // the design resolution: the 2x frequency strip has 59-point cells, not 64, and building with it would shrink
  // and shift those knobs whenever the editor opens at a larger pixel scale. Attaching a control rescales its
  // picture to the context's pixel scale, so nothing is drawn from these unless that scale is 1. The knob strips
  // are single pictures; the knobs read their grids themselves.
  constexpr int kDesignScale = 1;
  const IBitmap background = g.LoadBitmap(kBackground, 1, false, kDesignScale);
  const IBitmap levelKnob = g.LoadBitmap(kLevelKnob, 1, false, kDesignScale);
  const IBitmap frequencyKnob = g.LoadBitmap(kFrequencyKnob, 1, false, kDesignScale);
  const IBitmap oversamplingSwitch = g.LoadBitmap(kSwitch, 2, false, kDesignScale);

  g.AttachControl(std::make_unique<IBitmapControl>(0.f, 0.f, background, kNoParameter));

  for (const KnobPlace& k : kLevelKnobs)
  {
    g.AttachControl(std::make_unique<detail::IBGridOndrellKnobControl>(
      k.x, k.y, levelKnob, k.paramIdx, kKnobFrames, kKnobColumns, EDirection::Vertical, kKnobGearing));
  }
  for (const DetentKnobPlace& k : kFrequencyKnobs)
  {
    g.AttachControl(std::make_unique<detail::IBGridDetentKnobControl>(k.x, k.y, frequencyKnob, k.paramIdx,
                                                                      kKnobFrames, kKnobColumns,
                                                                      EDirection::Vertical, kKnobGearing, k.detents));
  }

  g.AttachControl(std::make_unique<IBOndrellSwitchControl>(kSwitchX, kSwitchY, oversamplingSwitch, kOversampling));

  const auto h = static_cast<float>(g.Height());
  const IText versionStyle(12.f, IColor(255, 230, 230, 230), kFontId, EAlign::Near, EVAlign::Middle, 0.f,
                           COLOR_WHITE, COLOR_BLACK);
  g.AttachControl(std::make_unique<ITextControl>(IRect(kVersionLeft, h - kVersionHeight, kVersionRight, h),
                                                 VersionText(), versionStyle, COLOR_TRANSPARENT, false));

  const IText badgeStyle(12.f, COLOR_WHITE, kFontId, EAlign::Center, EVAlign::Middle, 0.f, COLOR_WHITE,
                         COLOR_BLACK);
  g.AttachControl(std::make_unique<IRasterScaleCornerDragControl>(
    g.GetBounds(), kCornerSize, std::vector<float>{1.f, 1.25f, 1.5f, 1.75f, 2.f}, IColor(10, 0, 0, 0),
    IColor(255, 0, 0, 0), IColor(255, 0, 0, 0), badgeStyle));
}

} // namespace ondrell::editor

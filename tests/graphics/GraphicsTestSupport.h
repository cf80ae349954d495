#pragma once

// What the graphics tests share: an editor delegate with a few parameters like the EQ's that records what the
// editor tells it, and a control that records the events it receives.

#include "core/IParam.h"
#include "graphics/IControl.h"
#include "graphics/IControls.h"
#include "graphics/IGContextHeadless.h"
#include "graphics/IGEditorDelegate.h"

#include <memory>
#include <string>
#include <vector>

namespace quorl_test {

using namespace ondrell;
using namespace ondrell::graphics;

// Parameter indices of the test delegate.
enum TestParam
{
  kHPF = 0,      // Enum, six entries
  kLevel = 1,    // Double -20..20 dB, step 0.1
  kSwitch = 2,   // Bool with "off" / "on"
  kSteps = 3,    // Int 0..10 (stepped)
  kNumTestParams
};

class TestDelegate : public IGEditorDelegate
{
public:
  struct Call
  {
    std::string what;
    int paramIdx;
    double value;
  };

  TestDelegate() : IGEditorDelegate(kNumTestParams)
  {
    SetEditorSize(664, 215);
    SetEditorSizeLimits(221, 1992, 71, 645);
    GetParam(kHPF)->DefineEnum("HPF", 0, 6, "", 0, "", {"Off", "30 Hz", "50 Hz", "80 Hz", "160 Hz", "300 Hz"});
    GetParam(kLevel)->DefineDouble("MF Level 1", 0.0, -20.0, 20.0, 0.1, "dB");
    GetParam(kSwitch)->DefineBool("Oversampling", false, "", 0, "", "off", "on");
    GetParam(kSteps)->DefineInt("Steps", 0, 0, 10);
  }

  void BeginParamEditFromEditor(int paramIdx) override { calls.push_back({"begin", paramIdx, 0.0}); }
  void EndParamEditFromEditor(int paramIdx) override { calls.push_back({"end", paramIdx, 0.0}); }
  void SetParamValueFromEditor(int paramIdx, double normalised) override
  {
    calls.push_back({"set", paramIdx, normalised});
    IGEditorDelegate::SetParamValueFromEditor(paramIdx, normalised);
  }
  bool ResizeEditorFromEditor(int width, int height, bool needsHostResize) override
  {
    resizes.push_back({width, height, needsHostResize});
    return false;
  }
  void OnEditorOpened() override
  {
    ++opened;
    IGEditorDelegate::OnEditorOpened();
  }
  void OnEditorClosed() override { ++closed; }
  void OnParamChangeForEditor(int paramIdx, ParamChangeSource source) override
  {
    if (source == ParamChangeSource::EditorDelegate)
      editorDelegateNotices.push_back(paramIdx);
  }

  std::vector<Call> CallsOf(const std::string& what) const
  {
    std::vector<Call> out;
    for (const Call& c : calls)
      if (c.what == what)
        out.push_back(c);
    return out;
  }

  struct Resize
  {
    int w, h;
    bool host;
  };
  std::vector<Call> calls;
  std::vector<Resize> resizes;
  std::vector<int> editorDelegateNotices;
  int opened = 0;
  int closed = 0;
};

// Records every event it receives, in order.
class RecordingControl : public IControl
{
public:
  explicit RecordingControl(const IRect& r, int paramIdx = kNoParameter) : IControl(r, paramIdx) {}

  void OnMouseDown(float x, float y, const IMouseMod& mod) override
  {
    Log("down", x, y);
    IControl::OnMouseDown(x, y, mod);
  }
  void OnMouseUp(float x, float y, const IMouseMod&) override { Log("up", x, y); }
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod&) override
  {
    Log("drag", x, y);
    lastDX = dX;
    lastDY = dY;
  }
  void OnMouseDblClick(float x, float y, const IMouseMod& mod) override
  {
    Log("dbl", x, y);
    IControl::OnMouseDblClick(x, y, mod);
  }
  void OnMouseWheel(float x, float y, const IMouseMod&, float d) override
  {
    Log("wheel", x, y);
    lastWheel = d;
  }
  void OnMouseOver(float x, float y, const IMouseMod& mod) override
  {
    Log("over", x, y);
    IControl::OnMouseOver(x, y, mod);
  }
  void OnMouseOut() override
  {
    Log("out", 0, 0);
    IControl::OnMouseOut();
  }
  void OnRescale() override { ++rescales; }
  void OnResize() override { ++resizes; }
  void OnDrop(const char* str) override { dropped.push_back(str); }
  void CreateContextMenu(IPopupMenu& menu) override
  {
    for (const std::string& item : contextItems)
      menu.AddItem(item);
  }
  void OnContextSelection(int item) override { contextChoice = item; }
  void OnTextEntryCompletion(const char* str, int) override { completedText = str; }
  void Draw(IGContext& g) override
  {
    ++draws;
    g.FillRect(fill, mRECT);
  }

  void Log(const char* what, float x, float y) { events.push_back(std::string(what) + "@" + std::to_string(int(x)) + "," + std::to_string(int(y))); }

  std::vector<std::string> events;
  std::vector<std::string> dropped;
  std::vector<std::string> contextItems;
  std::string completedText;
  int contextChoice = -2;
  float lastDX = 0.f, lastDY = 0.f, lastWheel = 0.f;
  int rescales = 0;
  int resizes = 0;
  int draws = 0;
  IColor fill = COLOR_BLACK;
};

class TestSwitch : public ISwitchControlBase
{
public:
  using ISwitchControlBase::ISwitchControlBase;
  void Draw(IGContext&) override {}
};

inline IMouseInfo Mouse(float x, float y, float dX = 0.f, float dY = 0.f, IMouseMod mod = {})
{
  IMouseInfo info;
  info.x = x;
  info.y = y;
  info.dX = dX;
  info.dY = dY;
  info.ms = mod;
  return info;
}

inline IMouseMod Mod(bool s = false, bool c = false, bool r = false)
{
  IMouseMod m;
  m.L = !r;
  m.R = r;
  m.S = s;
  m.C = c;
  return m;
}

// Attaches a control of type T and returns it typed.
template <typename T, typename... Args>
T* Attach(IGContext& g, Args&&... args)
{
  return static_cast<T*>(g.AttachControl(std::make_unique<T>(std::forward<Args>(args)...)));
}

} // namespace quorl_test

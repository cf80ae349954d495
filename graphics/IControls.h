#pragma once

// The stock controls the editor builds on: the knob base (dragging with gearing and fine adjustment, wheel,
// stepped snapping), the switch base, the bitmap mix-in that draws the frame matching a value, the bitmap
// control, the bitmap switch and the text control.

#include "graphics/IBitmap.h"
#include "graphics/IControl.h"

#include <string>

namespace ondrell::graphics {

enum class EDirection : int { Vertical = 0, Horizontal = 1 };

// Threads: the editor's window thread only (as every control).
class IKnobControlBase : public IControl
{
public:
  // gearing: how many drag-bound lengths a full sweep from 0 to 1 takes.
  IKnobControlBase(const IRect& bounds, int paramIdx = kNoParameter, EDirection direction = EDirection::Vertical,
                   double gearing = 4.0);

  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const IMouseMod& mod) override;
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
  void OnMouseWheel(float x, float y, const IMouseMod& mod, float delta) override;

  virtual IRect GetKnobDragBounds() { return mTargetRECT; }

  double GetGearing() const { return mGearing; }
  void SetGearing(double gearing) { mGearing = gearing; }
  bool IsMouseDown() const { return mMouseDown; }
  double GetDragValue() const { return mDragValue; }

protected:
  bool mHideCursorOnDrag = true;
  EDirection mDirection;
  double mGearing;
  bool mMouseDown = false;
  double mDragValue = 0.0;
};

class ISwitchControlBase : public IControl
{
public:
  ISwitchControlBase(const IRect& bounds, int paramIdx = kNoParameter, int numStates = 2);

  // A bound switch takes its number of states from the parameter's range.
  void OnInit() override;
  void OnMouseUp(float x, float y, const IMouseMod& mod) override;

  int GetNumStates() const { return mNumStates; }
  bool GetStateDisabled(int state) const;
  void SetStateDisabled(int state, bool disabled);

protected:
  int mNumStates;
  std::vector<bool> mStatesDisabled;
  bool mMouseDown = false;
};

// A second base of bitmap controls: holds the picture and draws the frame matching the owner's value 0.
class IBitmapBase
{
public:
  IBitmapBase(const IBitmap& bitmap) : mBitmap(bitmap) {}
  virtual ~IBitmapBase() = default;

  void AttachIControl(IControl* control) { mControl = control; }
  void DrawBitmap(IGContext& g);
  // Replaces the picture with the one matching the context's current pixel scale.
  void OnRescaleBitmap(IGContext& g);
  const IBitmap& GetBitmap() const { return mBitmap; }

protected:
  IBitmap mBitmap;
  IControl* mControl = nullptr;
};

// The frame number (from 1) shown for a value with n frames: rounded half up, kept within 1..n.
int BitmapFrameForValue(double value, int nFrames);

class IBitmapControl : public IControl, public IBitmapBase
{
public:
  IBitmapControl(float x, float y, const IBitmap& bitmap, int paramIdx = kNoParameter);

  void Draw(IGContext& g) override { DrawBitmap(g); }
  void OnRescale() override;
};

class IBSwitchControl : public ISwitchControlBase, public IBitmapBase
{
public:
  IBSwitchControl(float x, float y, const IBitmap& bitmap, int paramIdx = kNoParameter);

  // Steps by one frame of the picture and wraps to 0 past the last.
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void Draw(IGContext& g) override { DrawBitmap(g); }
  void OnRescale() override;
};

class ITextControl : public IControl
{
public:
  ITextControl(const IRect& bounds, const char* str = "", const IText& text = IText(),
               const IColor& bgColor = COLOR_TRANSPARENT, bool setBoundsBasedOnStr = false);

  void Draw(IGContext& g) override;
  void OnInit() override;

  virtual void SetStr(const char* str);
  // Formats into the text, cut to maxLength bytes; the bounds are not re-fitted.
  virtual void SetStrFmt(int maxLength, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
  virtual void ClearStr() { SetStr(""); }

  const char* GetStr() const { return mStr.c_str(); }
  const IColor& GetBGColor() const { return mBGColor; }
  void SetBoundsBasedOnStr();

protected:
  std::string mStr;
  IColor mBGColor;
  bool mSetBoundsBasedOnStr;
};

} // namespace ondrell::graphics

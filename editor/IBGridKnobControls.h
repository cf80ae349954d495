#pragma once

// The editor's film-strip knobs. One picture holds every frame of a knob's rotation as a grid of equal cells read
// left to right, top to bottom; the knob shows the cell that matches its value, centred in its rect.
//  - IBGridKnobControl: the grid knob itself (press, drag and wheel of the stock knob base);
//  - IBGridOndrellKnobControl: adds a read-out of the parameter's display text while the knob is dragged;
//  - IBGridDetentKnobControl: clicks between N + 1 evenly spaced positions, for parameters that choose among
//    listed entries.

#include "graphics/IControls.h"

namespace ondrell::editor::detail {

using graphics::EDirection;
using graphics::IBitmap;
using graphics::IGContext;
using graphics::IMouseMod;
using graphics::IRect;
using graphics::IText;

// The grid of a film strip: cells per row and rows, and each cell's size in points for a picture of w x h points.
struct FilmStripGrid
{
  int frames = 1;
  int columns = 1;

  int Rows() const { return (columns + frames - 1) / columns; }
  int CellWidth(int w) const { return w / columns; }
  int CellHeight(int h) const { return h / Rows(); }
  // The zero-based cell shown for a normalised value: rounded half up to the nearest of the frames.
  int CellForValue(double value) const;
};

// Threads: the editor's window thread only (as every control).
class IBGridKnobControl : public graphics::IKnobControlBase, public graphics::IBitmapBase
{
public:
  // rect = (x, y, x + cell width, y + cell height) of the picture's grid. Frame count and columns below 1 count
  // as 1.
  IBGridKnobControl(float x, float y, const IBitmap& bitmap, int paramIdx, int nFrames, int columns,
                    EDirection direction, double gearing);

  // Takes the picture made for the new pixel scale; the rect stays.
  void OnRescale() override;
  void Draw(IGContext& g) override { DrawGridFrame(g); }

  const FilmStripGrid& Grid() const { return mGrid; }

protected:
  // Draws the cell of the current value, centred on the control, at the cell size of the current picture.
  void DrawGridFrame(IGContext& g);
  // The 40 x 16 box centred on the control in which a value prompt would open.
  IRect PromptBox() const { return IRect(mPromptX, mPromptY, mPromptX + 40.f, mPromptY + 16.f); }
  // With prompts allowed, a press with shift asks for one (true: the press is used up). Prompts start disabled
  // and none of the editor's knobs enables them, so shift-presses normally go on as fine-adjust drags.
  bool PromptOnShiftPress(float x, float y, const IMouseMod& mod);

private:
  FilmStripGrid mGrid;
  float mPromptX;
  float mPromptY;
};

// Shows the parameter's display text on a translucent plate while the knob holds the mouse.
class IBGridOndrellKnobControl : public IBGridKnobControl
{
public:
  IBGridOndrellKnobControl(float x, float y, const IBitmap& bitmap, int paramIdx, int nFrames, int columns,
                           EDirection direction, double gearing);

  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const IMouseMod& mod) override;
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
  void Draw(IGContext& g) override;

  bool IsShowingValue() const { return mShowingValue; }
  // The plate's rect: read-out width x height centred on the knob, moved by the offsets.
  IRect ReadoutBox() const;

private:
  bool mShowingValue = false;
  bool mShowValueWhileDragging = true;
  float mReadoutWidth = 80.f;
  float mReadoutHeight = 24.f;
  float mReadoutOffsetX = 0.f;
  float mReadoutOffsetY = 0.f;
  IText mReadoutText;
};

// A knob with N + 1 positions at the normalised values 0, 1/N, ... 1. Dragging accumulates in the value itself
// and jumps to the next position once the movement passes half-way; each jump is sent to the plug-in.
class IBGridDetentKnobControl : public IBGridKnobControl
{
public:
  // nDetents below 1 counts as 1.
  IBGridDetentKnobControl(float x, float y, const IBitmap& bitmap, int paramIdx, int nFrames, int columns,
                          EDirection direction, double gearing, int nDetents);

  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const IMouseMod& mod) override;
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const IMouseMod& mod) override;
  // One event moves exactly one position, whatever the size of delta and the modifiers.
  void OnMouseWheel(float x, float y, const IMouseMod& mod, float delta) override;
  // After a wheel step, leaving the knob sends its position once more.
  void OnMouseOut() override;
  // The current position follows every value the delegate sends, whether or not it is applied.
  void SetValueFromDelegate(double value, int valIdx = 0) override;

  int DetentCount() const { return mDetents; }
  int CurrentDetent() const { return mCurrentDetent; }
  // The position nearest to a normalised value (halves up), within 0..N.
  int PositionForValue(double value) const;

private:
  // The normalised value of a position, computed in single precision.
  double ValueForPosition(int position) const;

  int mDetents;
  int mCurrentDetent = 0;
  bool mWheelPending = false;
};

} // namespace ondrell::editor::detail

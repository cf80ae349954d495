#pragma once

// The editor's bitmap switch: the stock bitmap switch (each press steps one frame of the picture, wrapping to the
// first), with shift-presses reserved for a value prompt where prompts are allowed.

#include "graphics/IControls.h"

namespace ondrell::graphics {

// Threads: the editor's window thread only (as every control).
class IBOndrellSwitchControl : public IBSwitchControl
{
public:
  IBOndrellSwitchControl(float x, float y, const IBitmap& bitmap, int paramIdx);

  // With prompts allowed, a press with shift asks for a value prompt in the 40 x 16 box centred on the switch.
  // Prompts start disabled and the editor never enables them, so such a press toggles like any other.
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;

  IRect PromptBox() const { return IRect(mPromptX, mPromptY, mPromptX + 40.f, mPromptY + 16.f); }

private:
  float mPromptX;
  float mPromptY;
};

} // namespace ondrell::graphics

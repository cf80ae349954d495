#include "editor/IBOndrellSwitchControl.h"

namespace ondrell::graphics {

IBOndrellSwitchControl::IBOndrellSwitchControl(float x, float y, const IBitmap& bitmap, int paramIdx)
  : IBSwitchControl(x, y, bitmap, paramIdx),
    mPromptX(x + static_cast<float>(bitmap.FW()) * 0.5f - 20.f),
    mPromptY(y + static_cast<float>(bitmap.FH()) * 0.5f - 8.f)
{
}

void IBOndrellSwitchControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  if (mod.S && !GetPromptDisabled())
  {
    RequestValuePrompt(PromptBox(), GetValIdxForPos(x, y));
    return;
  }
  IBSwitchControl::OnMouseDown(x, y, mod);
}

} // namespace ondrell::graphics

#include "graphics/PlatformContext.h"

#include "graphics/win/IGContextWin.h"

namespace ondrell::graphics {

// The window class and the windows belong to the module this code is linked into (the plug-in library), which
// IGContextWin takes as its module.
std::unique_ptr<IGContext> MakePlatformContext(IGEditorDelegate& dlg, int w, int h, int fps, float scale)
{
  return std::make_unique<IGContextWin>(dlg, w, h, fps, scale);
}

} // namespace ondrell::graphics

#include "graphics/PlatformContext.h"

#include "graphics/linux/IGContextX11.h"

namespace ondrell::graphics {

std::unique_ptr<IGContext> MakePlatformContext(IGEditorDelegate& dlg, int w, int h, int fps, float scale)
{
  return std::make_unique<IGContextX11>(dlg, w, h, fps, scale);
}

} // namespace ondrell::graphics

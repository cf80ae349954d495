#include "graphics/PlatformContext.h"

#include "graphics/IGContextHeadless.h"

namespace ondrell::graphics {

std::unique_ptr<IGContext> MakePlatformContext(IGEditorDelegate& dlg, int w, int h, int fps, float scale)
{
  return std::make_unique<IGContextHeadless>(dlg, w, h, fps, scale);
}

} // namespace ondrell::graphics

#include "graphics/PlatformContext.h"

#include "graphics/IGContextHeadless.h"

namespace ondrell::graphics {

namespace {

// Until the Win32 window host exists, the Windows build's editor opens no view: the host is told no editor
// window was made, exactly as on Linux without an X server.
class WindowlessContext final : public IGContextHeadless
{
public:
  using IGContextHeadless::IGContextHeadless;
  void* OpenWindow(void*) override { return nullptr; }
};

} // namespace

std::unique_ptr<IGContext> MakePlatformContext(IGEditorDelegate& dlg, int w, int h, int fps, float scale)
{
  return std::make_unique<WindowlessContext>(dlg, w, h, fps, scale);
}

} // namespace ondrell::graphics

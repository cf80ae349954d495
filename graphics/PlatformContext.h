#pragma once

// The one place that names the platform class of the editor window on this system. Plug-in editors create
// their graphics context through MakePlatformContext and never name a platform class themselves; each system's
// window host library (quorl_graphics_platform: the X11 one on Linux) defines it.

#include <memory>

namespace ondrell::graphics {

class IGContext;
class IGEditorDelegate;

// A new platform context for the delegate: w x h points, fps display ticks per second, draw scale `scale`
// (clamped to 0.5 ... 4.0 by the context). On Linux it is IGContextX11, which opens its window inside the host's
// X11 window; without such a window, or without an X server, it opens no view.
std::unique_ptr<IGContext> MakePlatformContext(IGEditorDelegate& dlg, int w, int h, int fps, float scale);

} // namespace ondrell::graphics

#pragma once

// The one place that names the platform class of the editor window on this system. Plug-in editors create
// their graphics context through MakePlatformContext and never name a platform class themselves, so a window
// host for another system (or a real X11 window here) replaces the class in this one function.

#include <memory>

namespace ondrell::graphics {

class IGContext;
class IGEditorDelegate;

// A new platform context for the delegate: w x h points, fps display ticks per second, draw scale `scale`
// (clamped to 0.5 ... 4.0 by the context). This build has no window host yet, so the context is the windowless
// IGContextHeadless: it lays out, draws into its pixel buffer and handles events, but shows nothing.
std::unique_ptr<IGContext> MakePlatformContext(IGEditorDelegate& dlg, int w, int h, int fps, float scale);

} // namespace ondrell::graphics

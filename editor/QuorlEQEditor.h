#pragma once

// The Quorl EQ editor: the two functions the plug-in installs on its editor delegate. The make-graphics function
// creates the platform context at the design size and the remembered display scale; the layout function loads
// the pictures and the font and attaches every control at its place, bound to its parameter.

#include <memory>

namespace ondrell::graphics {
class IGContext;
class IGEditorDelegate;
} // namespace ondrell::graphics

namespace ondrell::editor {

inline constexpr int kEditorWidth = 664;
inline constexpr int kEditorHeight = 215;
inline constexpr int kEditorFPS = 60;

// The text shown in the bottom-right corner: the product version.
const char* VersionText();

// A new context for the delegate: 664 x 215 points, 60 frames per second, at the stored display scale.
std::unique_ptr<graphics::IGContext> MakeEditorGraphics(graphics::IGEditorDelegate& dlg);

// Builds the editor on a fresh context: background, five level knobs, four frequency knobs with click-stops, the
// oversampling switch, the version text and the resize corner, in that (drawing) order.
void LayoutEditor(graphics::IGContext& g);

} // namespace ondrell::editor

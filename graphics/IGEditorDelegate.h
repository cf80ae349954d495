#pragma once
#include "core/IEditorDelegate.h"

namespace ondrell::graphics {

// Stand-in for the graphics framework's editor delegate, so that the plug-in's class chain already reads
// IEditorDelegate -> IGEditorDelegate -> IPluginBase -> IPluginAPIBase. It adds nothing yet.
// Threads: as IEditorDelegate.
class IGEditorDelegate : public IEditorDelegate {
 public:
  explicit IGEditorDelegate(int nParams) : IEditorDelegate(nParams) {}
};

}  // namespace ondrell::graphics

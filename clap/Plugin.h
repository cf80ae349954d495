#pragma once
// The plug-in class's base in the CLAP build: QuorlEQ derives from ondrell::Plugin, which is the CLAP adapter.

#include "clap/IPluginCLAP.h"

namespace ondrell {

class Plugin : public IPluginCLAP {
 public:
  using IPluginCLAP::IPluginCLAP;
};

}  // namespace ondrell

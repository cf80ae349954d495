#pragma once
#include "core/IPluginProcessor.h"
#include "vst2/VstAbi.h"

namespace ondrell {

// The transport information of one block from the host's answer to audioMasterGetTime (null when the host gave
// none): each value is taken only when its flag is set and it is plausible; otherwise the TransportInfo default
// stands (tempo 120, positions -1, 4/4). The sample position is always taken; running and loop come from the
// playing and cycle-active bits.
TransportInfo TransportFromVstTimeInfo(const vst::VstTimeInfo* info);

}  // namespace ondrell

#include "vst2/VstTransport.h"

namespace ondrell {

TransportInfo TransportFromVstTimeInfo(const vst::VstTimeInfo* info) {
  TransportInfo t;
  if (info == nullptr) return t;
  const int flags = info->flags;
  t.samplePos = info->samplePos;
  if ((flags & vst::kVstTempoValid) && info->tempo > 0.0) t.tempo = info->tempo;
  if ((flags & vst::kVstPpqPosValid) && info->ppqPos >= 0.0) t.ppqPos = info->ppqPos;
  if ((flags & vst::kVstBarsValid) && info->barStartPos >= 0.0) t.lastBarPos = info->barStartPos;
  if ((flags & vst::kVstCyclePosValid) && info->cycleStartPos >= 0.0 && info->cycleEndPos >= 0.0) {
    t.loopStart = info->cycleStartPos;
    t.loopEnd = info->cycleEndPos;
  }
  if ((flags & vst::kVstTimeSigValid) && info->timeSigNumerator > 0 && info->timeSigDenominator > 0) {
    t.numerator = info->timeSigNumerator;
    t.denominator = info->timeSigDenominator;
  }
  t.running = (flags & vst::kVstTransportPlaying) != 0;
  t.loopEnabled = (flags & vst::kVstTransportCycleActive) != 0;
  return t;
}

}  // namespace ondrell

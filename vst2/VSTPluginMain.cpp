// The exported entry points of the VST2 plug-in file (QuorlEQ.so): VSTPluginMain, and the same function under the
// older name main, which some hosts still look for.

#include "engine/QuorlEQ.h"
#include "vst2/VstAbi.h"
#include "vst2/VstEntry.h"

#if defined(_WIN32)
#define QUORL_VST_EXPORT extern "C" __declspec(dllexport)
#else
#define QUORL_VST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

QUORL_VST_EXPORT ondrell::vst::VstEffect* VSTPluginMain(ondrell::vst::VstHostCallback hostCallback) {
  return ondrell::CreateVstPlugin<ondrell::QuorlEQ>(hostCallback);
}

#if !defined(_WIN32)
// A C++ function may not be named main, so the exported symbol gets that name through an assembler label.
QUORL_VST_EXPORT ondrell::vst::VstEffect* VstLegacyMain(ondrell::vst::VstHostCallback hostCallback) __asm__("main");
QUORL_VST_EXPORT ondrell::vst::VstEffect* VstLegacyMain(ondrell::vst::VstHostCallback hostCallback) {
  return VSTPluginMain(hostCallback);
}
#endif

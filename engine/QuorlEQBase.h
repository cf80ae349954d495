#pragma once

// Picks the format adapter QuorlEQ derives from. engine/QuorlEQ.cpp is compiled once into each plug-in with
// exactly one of these definitions (see engine/CMakeLists.txt):
//   QUORL_ADAPTER_CLAP  - the CLAP plug-in: IPluginCLAP (clap/IPluginCLAP.h)
//   QUORL_ADAPTER_VST2  - the VST 2.4 plug-in: IPluginVST2 (vst2/IPluginVST2.h)
//   QUORL_ADAPTER_TEST  - tests and benchmarks: testing::TestAdapter, a stand-in host (engine/testing/)
// Each adapter header makes ondrell::CreationArgs name what its entry point passes to the constructor, and the
// adapter has a constructor (const Config&, const CreationArgs&). QUORL_ADAPTER_NAMESPACE keeps the symbols of
// the different builds of QuorlEQ apart, should two of them ever meet in one program.

#if defined(QUORL_ADAPTER_CLAP) + defined(QUORL_ADAPTER_VST2) + defined(QUORL_ADAPTER_TEST) != 1
#error "Define exactly one of QUORL_ADAPTER_CLAP, QUORL_ADAPTER_VST2 and QUORL_ADAPTER_TEST"
#endif

#if defined(QUORL_ADAPTER_CLAP)
#include "clap/IPluginCLAP.h"
#define QUORL_ADAPTER_NAMESPACE adapter_clap
namespace ondrell {
using QuorlEQBase = IPluginCLAP;
}
#elif defined(QUORL_ADAPTER_VST2)
#include "vst2/IPluginVST2.h"
#define QUORL_ADAPTER_NAMESPACE adapter_vst2
namespace ondrell {
using QuorlEQBase = IPluginVST2;
}
#else
#include "engine/testing/TestAdapter.h"
#define QUORL_ADAPTER_NAMESPACE adapter_test
namespace ondrell {
using QuorlEQBase = testing::TestAdapter;
using testing::CreationArgs;
}
#endif

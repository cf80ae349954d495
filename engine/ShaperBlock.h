#pragma once

#include "engine/WideTarget.h"

namespace ondrell {

// The shaper over a block, on the widest vectors the processor offers (WideTarget.h). Every variant performs the
// same operations on each element, so all give the same results.
// Threads: pure functions.

// s[j] = ShaperSine(min(max(x[j], -1), 1)) for j < count.
using ShaperBlockFunction = void (*)(const double* x, double* s, int count);
// The chain with no active band: out[j] = weight s + x'[j] gain, with x' = x[j] where finite, else 0, s its shaped
// sine, and a result that is not finite replaced by 0. out may be x.
using OutputStageFunction = void (*)(const double* x, double* out, int count, double weight, double gain);

ShaperBlockFunction SelectShaperBlock(WideKernels kernels);
OutputStageFunction SelectOutputStage(WideKernels kernels);

} // namespace ondrell

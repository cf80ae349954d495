#pragma once

namespace ondrell {

// The shaper's sine over a block: s[j] = ShaperSine(min(max(x[j], -1), 1)) for j < count, on the widest vectors
// the processor offers (chosen at run time: AVX2 where present, SSE2 otherwise). Every variant performs the same
// operations on each element, so all give the same results.
// Threads: pure functions.
using ShaperBlockFunction = void (*)(const double* x, double* s, int count);

// The variant for this processor.
ShaperBlockFunction SelectShaperBlock();

void ShaperBlockSse2(const double* x, double* s, int count);
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUORL_HAS_AVX2_VARIANT 1
// Only for processors that have AVX2 (engine/ShaperBlockAvx2.cpp is compiled for it).
void ShaperBlockAvx2(const double* x, double* s, int count);
#endif

} // namespace ondrell

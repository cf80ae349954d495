#pragma once

// Kernels with wider variants: the same code compiled a second time for a wider instruction set through a function
// target attribute, and chosen at run time (WideKernels()). -ffp-contract=off holds there too, so a variant
// performs exactly the operations of the baseline and gives the same results. Only functions carry the attribute,
// so every shared inline function keeps its one baseline copy.
// QUORL_TARGET_AVX2: 4 doubles per vector. QUORL_TARGET_AVX512: 8 doubles, and 32 vector registers for 128-bit code.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUORL_HAS_WIDE_TARGETS 1
#define QUORL_TARGET_AVX2 __attribute__((target("avx2")))
#define QUORL_TARGET_AVX512 __attribute__((target("avx512f,avx512vl,avx512dq")))
// The same for every function defined between a BEGIN and QUORL_END_TARGET, templates and lambdas included.
#if defined(__clang__)
#define QUORL_BEGIN_TARGET_AVX2 _Pragma("clang attribute push(__attribute__((target(\"avx2\"))), apply_to = function)")
#define QUORL_BEGIN_TARGET_AVX512 \
  _Pragma("clang attribute push(__attribute__((target(\"avx512f,avx512vl,avx512dq\"))), apply_to = function)")
#define QUORL_END_TARGET _Pragma("clang attribute pop")
#else
#define QUORL_BEGIN_TARGET_AVX2 _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define QUORL_BEGIN_TARGET_AVX512 _Pragma("GCC push_options") _Pragma("GCC target(\"avx512f,avx512vl,avx512dq\")")
#define QUORL_END_TARGET _Pragma("GCC pop_options")
#endif
#endif

namespace ondrell {

enum class WideKernels
{
  Sse2,
  Avx2,
  Avx512,
};

// The widest variant this processor runs.
inline WideKernels DetectWideKernels()
{
#if QUORL_HAS_WIDE_TARGETS
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq"))
    return WideKernels::Avx512;
  if (__builtin_cpu_supports("avx2"))
    return WideKernels::Avx2;
#endif
  return WideKernels::Sse2;
}

} // namespace ondrell

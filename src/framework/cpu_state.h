#pragma once
// Qt's painting code runs AVX routines that can leave the upper halves of the
// vector registers in use. Until they are cleared, every SSE instruction of
// the line loop that follows (string copies, the line scans) pays a transition
// penalty on many x86 processors: a run that yields to repaint would take half
// as long again. Called after the framework has let Qt paint.

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace fw::internal {

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx"))) inline void ZeroUpperAvx() { _mm256_zeroupper(); }

inline void ClearUpperVectorState() {
  static const bool hasAvx = __builtin_cpu_supports("avx");
  if (hasAvx) ZeroUpperAvx();
}
#else
inline void ClearUpperVectorState() {}
#endif

}  // namespace fw::internal

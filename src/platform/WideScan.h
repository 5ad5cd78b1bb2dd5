// The 32-unit (AVX2) loops of the page scans: compiled on 64-bit builds and
// chosen when the library runs (HasWideScans in platform/Text.h). The
// 32-bit Windows build stays with SSE2: it has half the vector registers,
// and MinGW's GCC does not align the stack for spills of 32-byte vectors.
// Portable code: no operating-system headers.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ZQE_WIDE_SCANS 1
#include <immintrin.h>

namespace zqe {

// Thirty-two units as bytes in text order, narrowed with saturation (an
// ASCII unit stays itself, any other becomes 0x00 or 0xFF; the pack works
// per 128-bit lane, the permutation puts the lanes back).
[[gnu::target("avx2")]] inline __m256i NarrowWide(const char16_t* p) {
  const __m256i packed = _mm256_packus_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
                                             _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 16)));
  return _mm256_permute4x64_epi64(packed, 0xD8);
}

}  // namespace zqe
#endif

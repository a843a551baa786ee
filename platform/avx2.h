// What the byte kernels' AVX2 halves share: functions built for AVX2 and
// called only when active_kernel_set() says the processor has it.
#pragma once

#include <immintrin.h>

#define ZELMORA_AVX2 __attribute__((target("avx2")))

ZELMORA_AVX2 inline __m256i load32(const void* p) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
ZELMORA_AVX2 inline void store32(void* p, __m256i v) {
  _mm256_storeu_si256(static_cast<__m256i*>(p), v);
}

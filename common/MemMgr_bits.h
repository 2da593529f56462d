/* Run arithmetic on 64-bit words of the memory manager's free-node bitmap (bit set = free
 * node). Internal to the memory manager and its tests; C++ only.
 *
 * The functions avoid branches that depend on the data: the allocation path calls them with
 * random request sizes and bit patterns, where a mispredicted branch costs more than the few
 * extra instructions of a straight-line computation. */
#ifndef COMMON_MEMMGR_BITS_H
#define COMMON_MEMMGR_BITS_H

#include <stdint.h>
#include <string.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// The allocation path is a handful of these small steps; they are forced inline so that it
// compiles to one straight run of code.
#define MEMBITS_INLINE inline __attribute__((always_inline))

namespace membits {

// Free nodes at the bottom and at the top of a word. The extra bit keeps the count defined
// for a word that is all free (63), and the comparison adds the 64th; no branch.
MEMBITS_INLINE int LowRun(uint64_t x) {
  return __builtin_ctzll(~x | 1ULL << 63) + static_cast<int>(~x == 0);
}
MEMBITS_INLINE int HighRun(uint64_t x) {
  return __builtin_clzll(~x | 1ULL) + static_cast<int>(~x == 0);
}

// p[k] has bit j set where bits j..j+2^k-1 of x are all set (k = 0..6).
struct RunPowers {
  uint64_t p[7];
  explicit RunPowers(uint64_t x) {
    p[0] = x;
    p[1] = p[0] & (p[0] >> 1);
    p[2] = p[1] & (p[1] >> 2);
    p[3] = p[2] & (p[2] >> 4);
    p[4] = p[3] & (p[3] >> 8);
    p[5] = p[4] & (p[4] >> 16);
    p[6] = p[5] & (p[5] >> 32);
  }
};

// Bit j of the result is set where bits j..j+n-1 of x are all set (1 <= n <= 64). Two
// overlapping runs of 2^k bits, 2^k <= n < 2^(k+1), cover exactly n bits.
MEMBITS_INLINE uint64_t RunStarts(uint64_t x, int n) {
  RunPowers r(x);
  int k = 31 - __builtin_clz(static_cast<unsigned>(n));
  uint64_t y = r.p[k];
  return y & (y >> static_cast<unsigned>(n - (1 << k)));
}

// One step of LongestRun: cur holds the starts of runs of len bits; add 2^k bits (pk =
// RunPowers p[k]) where such a longer run exists. The outcome is unpredictable, so it is
// taken with conditional moves, never a branch.
MEMBITS_INLINE void LongerRun(uint64_t *cur, unsigned *len, uint64_t pk, unsigned bits) {
  uint64_t t = *cur & (pk >> *len);
  unsigned longer = *len + bits;
#if defined(__x86_64__) && !defined(MEMBITS_PORTABLE)
  __asm__("test %[t], %[t]\n\tcmovnz %[t], %[cur]\n\tcmovnz %[longer], %[len]"
          : [cur] "+r"(*cur), [len] "+r"(*len)
          : [t] "r"(t), [longer] "r"(longer)
          : "cc");
#else
  uint64_t keep = -static_cast<uint64_t>(t != 0);
  *cur = (t & keep) | (*cur & ~keep);
  *len = (longer & static_cast<unsigned>(keep)) | (*len & ~static_cast<unsigned>(keep));
#endif
}

// Length of the longest run of set bits in x (0..64): a binary search over the run length.
// Words of a busy block seldom hold a run of 8, so that case takes a shorter search.
MEMBITS_INLINE int LongestRun(uint64_t x) {
  RunPowers r(x);
  uint64_t cur = ~0ULL;
  unsigned len = 0;
  if (r.p[3] != 0) {
    LongerRun(&cur, &len, r.p[5], 32);
    LongerRun(&cur, &len, r.p[4], 16);
    LongerRun(&cur, &len, r.p[3], 8);
  }
  LongerRun(&cur, &len, r.p[2], 4);
  LongerRun(&cur, &len, r.p[1], 2);
  LongerRun(&cur, &len, r.p[0], 1);
  return ~x == 0 ? 64 : static_cast<int>(len);
}

// Bit j of the result is set when byte j of the 32 at p (16-byte aligned) is at least n
// (unsigned bytes, 1 <= n <= 255).
MEMBITS_INLINE uint32_t AtLeast(const uint8_t *p, int n) {
#ifdef __SSE2__
  __m128i limit = _mm_set1_epi8(static_cast<char>(n));
  __m128i lo = _mm_load_si128(reinterpret_cast<const __m128i *>(p));
  __m128i hi = _mm_load_si128(reinterpret_cast<const __m128i *>(p + 16));
  // max(v, n) == v exactly where v >= n
  lo = _mm_cmpeq_epi8(_mm_max_epu8(lo, limit), lo);
  hi = _mm_cmpeq_epi8(_mm_max_epu8(hi, limit), hi);
  return static_cast<uint32_t>(_mm_movemask_epi8(lo)) | static_cast<uint32_t>(_mm_movemask_epi8(hi))
                                                            << 16;
#else
  uint32_t mask = 0;
  for (int j = 0; j < 32; j++) mask |= static_cast<uint32_t>(p[j] >= n) << j;
  return mask;
#endif
}

}  // namespace membits

#endif

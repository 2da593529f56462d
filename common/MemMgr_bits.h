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
// Requests of fewer than 16 nodes are the usual case: their window is picked from the first
// three powers with conditional moves; longer ones take a branch.
MEMBITS_INLINE uint64_t RunStarts(uint64_t x, int n) {
  int k = 31 - __builtin_clz(static_cast<unsigned>(n));
  uint64_t y;
  if (__builtin_expect(n < 16, 1)) {
    uint64_t p1 = x & (x >> 1), p2 = p1 & (p1 >> 2), p3 = p2 & (p2 >> 4);
    y = k >= 1 ? p1 : x;
    y = k >= 2 ? p2 : y;
    y = k >= 3 ? p3 : y;
  } else {
    RunPowers r(x);
    y = r.p[k];
  }
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

// Stores v as byte j of the array at p (16-byte aligned). The search reads these arrays 16
// bytes at a time, and a wide load cannot take its bytes from a narrower store that is still
// waiting to be written: it waits for the store to reach the cache, and on a busy heap that
// store queues behind others that miss it. So every change is a 16-byte store of the whole
// lane group, read first with a load of the same size (which the pending store can serve).
MEMBITS_INLINE void SetLane(uint8_t *p, unsigned j, int v) {
#ifdef __SSE2__
  __m128i *half = reinterpret_cast<__m128i *>(p + (j & ~15u));
  const __m128i lanes = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  __m128i at = _mm_cmpeq_epi8(lanes, _mm_set1_epi8(static_cast<char>(j & 15)));
  __m128i x = _mm_load_si128(half);
  x = _mm_or_si128(_mm_andnot_si128(at, x), _mm_and_si128(at, _mm_set1_epi8(static_cast<char>(v))));
  _mm_store_si128(half, x);
#else
  p[j] = static_cast<uint8_t>(v);
#endif
}

// a >= b ? x : y (unsigned), taken with a conditional move, never a branch.
MEMBITS_INLINE uint32_t SelectAtLeast(uint64_t a, uint64_t b, uint32_t x, uint32_t y) {
#if defined(__x86_64__) && !defined(MEMBITS_PORTABLE)
  __asm__("cmp %[b], %[a]\n\tcmovae %[x], %[y]"
          : [y] "+r"(y)
          : [a] "r"(a), [b] "r"(b), [x] "r"(x)
          : "cc");
  return y;
#else
  return y ^ ((x ^ y) & -static_cast<uint32_t>(a >= b));
#endif
}

#ifdef __SSE2__
// The largest of the 16 unsigned bytes of m.
MEMBITS_INLINE int MaxLane(__m128i m) {
  m = _mm_max_epu8(m, _mm_srli_si128(m, 8));
  m = _mm_max_epu8(m, _mm_srli_si128(m, 4));
  m = _mm_max_epu8(m, _mm_srli_si128(m, 2));
  m = _mm_max_epu8(m, _mm_srli_si128(m, 1));
  return _mm_cvtsi128_si32(m) & 0xff;
}
#endif

// The largest of the 32 unsigned bytes at p (16-byte aligned).
MEMBITS_INLINE int MaxByte(const uint8_t *p) {
#ifdef __SSE2__
  __m128i m = _mm_max_epu8(_mm_load_si128(reinterpret_cast<const __m128i *>(p)),
                           _mm_load_si128(reinterpret_cast<const __m128i *>(p + 16)));
  return MaxLane(m);
#else
  int m = 0;
  for (int j = 0; j < 32; j++) m = p[j] > m ? p[j] : m;
  return m;
#endif
}

// The largest of the 64 unsigned bytes at p (16-byte aligned).
MEMBITS_INLINE int MaxByte64(const uint8_t *p) {
#ifdef __SSE2__
  __m128i m = _mm_max_epu8(_mm_max_epu8(_mm_load_si128(reinterpret_cast<const __m128i *>(p)),
                                        _mm_load_si128(reinterpret_cast<const __m128i *>(p + 16))),
                           _mm_max_epu8(_mm_load_si128(reinterpret_cast<const __m128i *>(p + 32)),
                                        _mm_load_si128(reinterpret_cast<const __m128i *>(p + 48))));
  return MaxLane(m);
#else
  int m = 0;
  for (int j = 0; j < 64; j++) m = p[j] > m ? p[j] : m;
  return m;
#endif
}

}  // namespace membits

#endif

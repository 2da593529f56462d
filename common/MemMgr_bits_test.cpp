/* The memory manager's bitmap run arithmetic against plain bit-by-bit loops, on words with
 * runs at every place and length and on random words of every density. */
#include "MemMgr_bits.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using namespace membits;

int NaiveLow(uint64_t x) {
  int n = 0;
  while (n < 64 && ((x >> n) & 1)) n++;
  return n;
}

int NaiveHigh(uint64_t x) {
  int n = 0;
  while (n < 64 && ((x >> (63 - n)) & 1)) n++;
  return n;
}

int NaiveLongest(uint64_t x) {
  int best = 0, cur = 0;
  for (int j = 0; j < 64; j++) {
    cur = ((x >> j) & 1) ? cur + 1 : 0;
    best = cur > best ? cur : best;
  }
  return best;
}

uint64_t NaiveStarts(uint64_t x, int n) {
  uint64_t starts = 0;
  for (int j = 0; j + n <= 64; j++) {
    bool all = true;
    for (int k = j; k < j + n && all; k++) all = (x >> k) & 1;
    if (all) starts |= 1ULL << j;
  }
  return starts;
}

// Words that stress the edges: empty, full, one run of every length at every place, and
// random words from sparse to dense.
std::vector<uint64_t> Words() {
  std::vector<uint64_t> words = {
      0, ~0ULL, 1, 1ULL << 63, ~1ULL, ~(1ULL << 63), 0x5555555555555555ULL, 0xAAAAAAAAAAAAAAAAULL};
  for (int len = 1; len <= 64; len++) {
    uint64_t run = len == 64 ? ~0ULL : (1ULL << len) - 1;
    for (int at = 0; at + len <= 64; at += (len < 8 ? 1 : 7)) {
      words.push_back(run << at);
      words.push_back(~(run << at));
    }
  }
  std::mt19937_64 rng(2026);
  for (int density = 1; density < 16; density++) {
    for (int i = 0; i < 400; i++) {
      uint64_t x = 0;
      for (int j = 0; j < 64; j++)
        x |= static_cast<uint64_t>(rng() % 16 < static_cast<unsigned>(density)) << j;
      words.push_back(x);
    }
  }
  return words;
}

TEST(MemMgrBits, EdgeAndLongestRuns) {
  for (uint64_t x : Words()) {
    ASSERT_EQ(LowRun(x), NaiveLow(x)) << std::hex << x;
    ASSERT_EQ(HighRun(x), NaiveHigh(x)) << std::hex << x;
    ASSERT_EQ(LongestRun(x), NaiveLongest(x)) << std::hex << x;
  }
}

TEST(MemMgrBits, RunStartsForEveryLength) {
  for (uint64_t x : Words()) {
    for (int n = 1; n <= 64; n++) {
      ASSERT_EQ(RunStarts(x, n), NaiveStarts(x, n)) << std::hex << x << std::dec << " n " << n;
    }
  }
}

TEST(MemMgrBits, ByteComparisonsAndMaxima) {
  alignas(16) uint8_t bytes[64];
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; round++) {
    for (uint8_t &b : bytes) b = static_cast<uint8_t>(round % 3 == 0 ? rng() % 256 : rng() % 130);
    if (round % 5 == 1) bytes[rng() % 64] = 255;  // the largest at a random place
    for (int n : {1, 2, 7, 63, 64, 65, 127, 128, 129, 200, 255}) {
      uint32_t expect = 0;
      for (int j = 0; j < 32; j++) expect |= static_cast<uint32_t>(bytes[j] >= n) << j;
      ASSERT_EQ(AtLeast(bytes, n), expect) << "round " << round << " n " << n;
    }
    int max32 = 0, max64 = 0;
    for (int j = 0; j < 64; j++) {
      if (j < 32) max32 = std::max<int>(max32, bytes[j]);
      max64 = std::max<int>(max64, bytes[j]);
    }
    ASSERT_EQ(MaxByte(bytes), max32) << "round " << round;
    ASSERT_EQ(MaxByte64(bytes), max64) << "round " << round;
  }
}

// A lane store changes its one byte and keeps the other 63, whatever the values around it.
TEST(MemMgrBits, LaneStoreChangesOneByte) {
  alignas(16) uint8_t bytes[64], expect[64];
  std::mt19937 rng(11);
  for (int round = 0; round < 200; round++) {
    for (int j = 0; j < 64; j++) expect[j] = bytes[j] = static_cast<uint8_t>(rng());
    for (unsigned j : {0u, 1u, 14u, 15u, 16u, 17u, 31u, 32u, 47u, 48u, 63u}) {
      int v = round % 4 == 0 ? 0 : round % 4 == 1 ? 255 : static_cast<int>(rng() % 256);
      SetLane(bytes, j, v);
      expect[j] = static_cast<uint8_t>(v);
      ASSERT_EQ(memcmp(bytes, expect, sizeof bytes), 0) << "round " << round << " lane " << j;
    }
  }
}

TEST(MemMgrBits, SelectComparesUnsigned) {
  const uint64_t values[] = {0, 1, 2, 0x7fffffffffffffffULL, 0x8000000000000000ULL, ~1ULL, ~0ULL};
  for (uint64_t a : values) {
    for (uint64_t b : values) {
      ASSERT_EQ(SelectAtLeast(a, b, 11, 22), a >= b ? 11u : 22u) << std::hex << a << " " << b;
    }
  }
}

}  // namespace

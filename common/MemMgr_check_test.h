/* Test support for the memory manager: block and chain checks against a model of the live
 * allocations, the first-fit placement a plain MAT search gives, and the fixture that makes
 * sure every test starts and ends with no block. */
#ifndef COMMON_MEMMGR_CHECK_TEST_H
#define COMMON_MEMMGR_CHECK_TEST_H

#include <errno.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <malloc.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "MemMgr.h"
#include "MemMgr_internal.h"

extern "C" void MemMgrSetZeroDevice(const char *path);
extern "C" void MemMgrSetIndexOff(int off);
extern "C" void MemMgrSetIndexRoom(int places);
extern "C" int MemMgrCheckAids(void);

namespace memtest {

inline int Padded(int size) { return (size + 1 + 31) / 32 * 32; }

inline int CountBlocks() {
  int n = 0;
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) n++;
  return n;
}

// Number of allocations in the chain: ordinary entries and dedicated blocks.
inline int CountEntries() {
  int n = 0;
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) {
    if (b->size > MEM_BLOCK_SIZE) {
      n++;
      continue;
    }
    for (int i = 0; i < MEM_NODES; i++) n += b->nodes[i].count != 0;
  }
  return n;
}

// True when the page holding p is mapped in this process.
inline bool IsMapped(const void *p) {
  long page = sysconf(_SC_PAGESIZE);
  void *start = reinterpret_cast<void *>(reinterpret_cast<uintptr_t>(p) & ~(uintptr_t)(page - 1));
  unsigned char vec;
  return mincore(start, page, &vec) == 0 || errno != ENOMEM;
}

// Name of the mapping that holds p, from /proc/self/maps ("" for an anonymous one).
inline std::string MappingOf(const void *p) {
  FILE *f = fopen("/proc/self/maps", "r");
  if (f == nullptr) return "?";
  char line[512];
  std::string name = "?";
  uintptr_t a = reinterpret_cast<uintptr_t>(p);
  while (fgets(line, sizeof line, f) != nullptr) {
    unsigned long lo, hi;
    int off = 0;
    if (sscanf(line, "%lx-%lx %*s %*s %*s %*s %n", &lo, &hi, &off) < 2) continue;
    if (a >= lo && a < hi) {
      name = line + off;
      while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
      break;
    }
  }
  fclose(f);
  return name;
}

inline bool AllZero(const void *p, size_t n) {
  const unsigned char *c = static_cast<const unsigned char *>(p);
  for (size_t i = 0; i < n; i++) {
    if (c[i] != 0) return false;
  }
  return true;
}

// Structural invariants of the whole chain. Fills `entries` with the start of every
// allocation found (ordinary entries and dedicated blocks) and its padded size.
inline void CheckChain(std::map<char *, int> *entries) {
  MemBlock *prev = nullptr;
  int guard = 0;
  for (MemBlock *b = pMemB; b != nullptr; prev = b, b = b->next) {
    ASSERT_LT(++guard, 100000) << "chain loops";
    ASSERT_EQ(b->prev, prev);
    ASSERT_EQ(b->mat[MEM_NODES], '\0');
    ASSERT_NE(b->data, nullptr);
    if (b->size > MEM_BLOCK_SIZE) {
      ASSERT_EQ(b->size % MEM_BLOCK_SIZE, 0);
      ASSERT_EQ(b->freeCount, 0);
      ASSERT_TRUE(TestMAT(b->mat, 'U', MEM_NODES));
      for (int i = 0; i < MEM_NODES; i++) {
        if (b->nodes[i].count != 0) FAIL() << "entry " << i << " in a dedicated block";
      }
      ASSERT_GT(b->used, 0);
      ASSERT_LE(b->used, b->size);
      ASSERT_EQ(entries->count(b->data), 0u);
      (*entries)[b->data] = b->used;
      continue;
    }
    ASSERT_EQ(b->size, MEM_BLOCK_SIZE);
    int blanks = 0;
    for (int i = 0; i < MEM_NODES; i++) {
      if (b->mat[i] != ' ' && b->mat[i] != 'U') FAIL() << "bad MAT character at " << i;
      if (b->mat[i] == ' ') blanks++;
    }
    ASSERT_EQ(b->freeCount, blanks);
    ASSERT_LT(blanks, MEM_NODES) << "an empty block stayed in the chain";
    // Every used node is covered by exactly one entry, every entry by used nodes only.
    int i = 0;
    while (i < MEM_NODES) {
      const MemNode &e = b->nodes[i];
      if (b->mat[i] == ' ') {
        if (e.count != 0 || e.addr != nullptr) FAIL() << "entry at free node " << i;
        i++;
        continue;
      }
      if (e.count == 0) FAIL() << "used node " << i << " not covered";
      if (e.addr != b->data + 32 * i) FAIL() << "entry " << i << " has a wrong address";
      ASSERT_LE(i + e.count, MEM_NODES);
      for (int j = 1; j < e.count; j++) {
        if (b->mat[i + j] != 'U' || b->nodes[i + j].count != 0 || b->nodes[i + j].addr != nullptr)
          FAIL() << "node " << i + j << " inside the allocation at " << i;
      }
      (*entries)[e.addr] = e.count * 32;
      i += e.count;
    }
  }
}

// Where a first-fit GetMem(size) must land: the lowest run of free nodes in the first block
// that has one; null when a new block is needed.
inline char *FirstFit(int size) {
  int n = Padded(size) / 32;
  std::string run(n, ' ');
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) {
    if (b->size != MEM_BLOCK_SIZE) continue;
    size_t at = std::string(b->mat, MEM_NODES).find(run);
    if (at != std::string::npos) return b->data + 32 * at;
  }
  return nullptr;
}

// Serves GetMem(size) and checks that a small request took the first fit.
inline char *GetMemFirstFit(int size) {
  char *want = Padded(size) <= MEM_BLOCK_SIZE ? FirstFit(size) : nullptr;
  char *p = static_cast<char *>(GetMem(size));
  if (p != nullptr && Padded(size) <= MEM_BLOCK_SIZE) {
    MemBlock *tail = pMemB;
    while (tail->next != nullptr) tail = tail->next;
    EXPECT_EQ(p, want != nullptr ? want : tail->data) << "not the first fit for " << size;
  }
  return p;
}

// Allocation model: the expected bytes of every live allocation over its padded size.
struct Model {
  std::map<char *, std::vector<unsigned char>> live;

  void Check() {
    std::map<char *, int> entries;
    CheckChain(&entries);
    if (::testing::Test::HasFatalFailure()) return;
    ASSERT_EQ(MemMgrCheckAids(), 0) << "search aids out of step with the MATs";
    ASSERT_EQ(entries.size(), live.size());
    for (auto &kv : live) {
      auto it = entries.find(kv.first);
      ASSERT_NE(it, entries.end()) << "live allocation lost";
      ASSERT_EQ(static_cast<size_t>(it->second), kv.second.size());
      ASSERT_EQ(memcmp(kv.first, kv.second.data(), kv.second.size()), 0) << "contents changed";
    }
  }
};

inline void FillPattern(char *p, int size, std::vector<unsigned char> *expect, unsigned seed) {
  for (int j = 0; j < size; j++) {
    unsigned char c = static_cast<unsigned char>(seed + j * 7 + 1);
    p[j] = static_cast<char>(c);
    (*expect)[j] = c;
  }
}

class MemMgrTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(pMemB, nullptr) << "an earlier test left blocks behind"; }
  void TearDown() override { EXPECT_EQ(pMemB, nullptr) << "blocks left behind"; }
};

}  // namespace memtest

#endif

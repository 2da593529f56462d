/* Reports and checks of the block memory manager's state: DumpMem, and a consistency check
 * of the search aids for the tests. */
#include <stdint.h>
#include <stdio.h>

#include <vector>

#include "MemMgr.h"
#include "MemMgr_internal.h"

using namespace memmgr;

/* Prints every block's header, MAT and allocations on standard output. */
void DumpMem(void) {
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) {
    if (IsDedicated(b)) {
      printf("\n============ Dedicated Block(%li) size(%li) FreeNodeCount(%i) <==(%li) (%li)==>",
             reinterpret_cast<long>(b->data), static_cast<long>(b->size), b->freeCount,
             reinterpret_cast<long>(b->prev), reinterpret_cast<long>(b->next));
      continue;
    }
    int blanks = 0;
    int counted = 0;
    for (int i = 0; i < kNodes; i++) {
      if (b->mat[i] == kFree) blanks++;
      counted += b->nodes[i].count;
    }
    printf(
        "\n============ Block(%li) size(%li) Free(%i) Used(%i) FreeNodeCount(%i) SizeCnt(%i) "
        "<==(%li) (%li)==>\n\tBlock MAT:",
        reinterpret_cast<long>(b), static_cast<long>(b->size), blanks, kNodes - blanks,
        b->freeCount, kNodes - counted, reinterpret_cast<long>(b->prev),
        reinterpret_cast<long>(b->next));
    char line[64];
    for (int i = 0; i < kNodes; i += 64) {
      for (int j = 0; j < 64; j++) line[j] = b->mat[i + j] == kFree ? '_' : b->mat[i + j];
      printf("\n\t%.64s", line);
    }
    printf("\n\n\tAllocated Nodes:\n");
    for (int i = 0; i < kNodes; i++) {
      const MemNode &e = b->nodes[i];
      if (e.count == 0 || e.addr == nullptr) continue;
      // The contents are printed as a string, bounded by the allocation.
      printf("\tMAT index(%6i) Memory Addr(%6li) nodes(%5i) size(%5i) Memory(%.*s)\n", i,
             reinterpret_cast<long>(e.addr), e.count, e.count * kNodeSize, e.count * kNodeSize,
             e.addr);
    }
    printf("\n");
  }
}

/* Test hook, not part of the interface: checks the search aids (bit mirrors, free-node
 * count, runs) and the index against the MATs, the node tables and the chain with plain
 * loops. Returns 0 when they agree, otherwise writes what disagrees on standard error and
 * returns 1. */
extern "C" int MemMgrCheckAids(void) {
  auto fail = [](const char *what, const void *b, long at) {
    fprintf(stderr, "MemMgrCheckAids: %s (block %p, at %ld)\n", what, b, at);
    return 1;
  };
  int blocks = 0, lastPlace = 0;
  std::vector<bool> taken(idx.ok ? static_cast<size_t>(idx.cap) : 0);
  for (MemBlock *b = pMemB; b != nullptr; b = b->next, blocks++) {
    SearchAids *a = Aids(b);
    if (a->freeBits[kWords] != 0 || a->startBits[kWords] != 0)
      return fail("word past the last", b, kWords);
    if (a->freeNodes != b->freeCount) return fail("free-node count mirror", b, a->freeNodes);
    for (int i = 0; i < kNodes; i++) {
      bool start = !IsDedicated(b) && b->nodes[i].count != 0;
      if (((a->startBits[i / 64] >> (i % 64)) & 1) != (start ? 1u : 0u))
        return fail("start bit mirror", b, i);
    }
    int longest = 0, run = 0;
    for (int w = 0; w < kWords && !IsDedicated(b); w++) {
      int best = 0, cur = 0;
      for (int j = 0; j < 64; j++) {
        bool free = b->mat[w * 64 + j] == kFree;
        if (((a->freeBits[w] >> j) & 1) != (free ? 1u : 0u))
          return fail("bit mirror", b, w * 64 + j);
        cur = free ? cur + 1 : 0;
        best = cur > best ? cur : best;
        run = free ? run + 1 : 0;
        longest = run > longest ? run : longest;
      }
      if (a->best[w] != best) return fail("longest run of a word", b, w);
    }
    for (int w = 0; w < kWords; w++) {
      // The run across the upper boundary: free nodes at the top of w and the bottom of w+1.
      int cross = 0;
      for (int j = w * 64 + 63; j >= w * 64 && b->mat[j] == kFree; j--) cross++;
      for (int j = w * 64 + 64; j < kNodes && j < w * 64 + 128 && b->mat[j] == kFree; j++) cross++;
      if (a->cross[w] != cross) return fail("run across a boundary", b, w);
      if (IsDedicated(b) && a->best[w] != 0) return fail("dedicated block searchable", b, w);
    }
    int k = a->slot;
    if (!idx.ok) {
      if (k != 0) return fail("place in a dropped index", b, k);
      continue;
    }
    if (k <= lastPlace || k >= idx.next) return fail("place out of chain order", b, k);
    lastPlace = k;
    taken[static_cast<size_t>(k)] = true;
    const Slot &s = idx.slots[k];
    if (s.block != b || s.start != reinterpret_cast<uintptr_t>(b->data) ||
        s.size != static_cast<uint32_t>(b->size))
      return fail("place record", b, k);
    int key = longest < 64 ? longest : 64;
    if (idx.keys[k] != key) return fail("key", b, k);
    if (key == 64 && s.longFit < longest) return fail("bound below the longest run", b, k);
    uintptr_t d = reinterpret_cast<uintptr_t>(b->data), off = 1;
    if (PlaceOf(d, &off) != k || off != 0 || PlaceOf(d + b->size, &off) != k ||
        PlaceOf(d + b->size / 2, &off) != k || PlaceOf(d - 1, &off) == k ||
        PlaceOf(d + b->size + 1, &off) == k)
      return fail("page map", b, k);
  }
  if (!idx.ok) return 0;
  if (blocks != idx.count) return fail("index length", nullptr, idx.count);
  if (idx.slots[0].block != nullptr || idx.slots[0].start != UINTPTR_MAX ||
      idx.slots[0].size != 0 || idx.keys[0] != 0)
    return fail("place 0 holds something", nullptr, 0);
  for (int k = 1; k < idx.cap; k++) {
    if (taken[static_cast<size_t>(k)]) continue;
    if (idx.slots[k].block != nullptr || idx.slots[k].start != UINTPTR_MAX || idx.keys[k] != 0)
      return fail("empty place", nullptr, k);
  }
  if (idx.levelSize[0] != idx.cap || idx.levelSize[idx.levels - 1] != kFan)
    return fail("tree levels", nullptr, idx.levels);
  for (int l = 1; l < idx.levels; l++) {
    for (int g = 0; g < idx.levelSize[l]; g++) {
      int m = 0;
      for (int j = g * kFan; j < (g + 1) * kFan && j < idx.levelSize[l - 1]; j++) {
        int v = idx.keys[idx.levelAt[l - 1] + j];
        m = v > m ? v : m;
      }
      if (idx.keys[idx.levelAt[l] + g] != m) return fail("tree entry", nullptr, l * 100000L + g);
    }
  }
  return 0;
}

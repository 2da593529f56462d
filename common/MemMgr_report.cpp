/* Reports and checks of the block memory manager's state: DumpMem, and a consistency check
 * of the search aids for the tests. */
#include <stdint.h>
#include <stdio.h>

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

/* Test hook, not part of the interface: checks the search aids and the chain index against
 * the MATs and the chain with plain loops. Returns 0 when they agree, otherwise writes what
 * disagrees on standard error and returns 1. */
extern "C" int MemMgrCheckAids(void) {
  auto fail = [](const char *what, const void *b, int at) {
    fprintf(stderr, "MemMgrCheckAids: %s (block %p, at %d)\n", what, b, at);
    return 1;
  };
  int k = 0;
  for (MemBlock *b = pMemB; b != nullptr; b = b->next, k++) {
    SearchAids *a = Aids(b);
    if (idx.ok) {
      if (k >= idx.count || idx.chain[k] != b || a->pos != k) return fail("chain index", b, k);
    } else if (a->pos != -1) {
      return fail("place in a dropped index", b, a->pos);
    }
    if (IsDedicated(b)) {
      for (int w = 0; w < kWords; w++) {
        if (a->reach[w] != 0) return fail("dedicated block searchable", b, w);
      }
      if (idx.ok && idx.fit[k] != 0) return fail("dedicated block bound", b, k);
      continue;
    }
    int longest = 0, run = 0;
    for (int w = 0; w < kWords; w++) {
      int best = 0, low = 0, high = 0, cur = 0;
      bool inLow = true;
      for (int j = 0; j < 64; j++) {
        bool free = b->mat[w * 64 + j] == kFree;
        if (((a->freeBits[w] >> j) & 1) != (free ? 1u : 0u))
          return fail("bit mirror", b, w * 64 + j);
        cur = free ? cur + 1 : 0;
        best = cur > best ? cur : best;
        if (inLow && free) low++;
        if (!free) inLow = false;
        run = free ? run + 1 : 0;
        longest = run > longest ? run : longest;
      }
      high = cur;
      if (a->best[w] != best || a->low[w] != low || a->high[w] != high) {
        return fail("word runs", b, w);
      }
    }
    if (a->low[kWords] != 0) return fail("low past the last word", b, kWords);
    for (int w = 0; w < kWords; w++) {
      int cross = a->high[w] + a->low[w + 1];
      if (a->reach[w] != (a->best[w] > cross ? a->best[w] : cross)) return fail("reach", b, w);
    }
    if (idx.ok) {
      int bound = idx.fit[k];
      if (bound < longest) return fail("block bound below its longest run", b, k);
    }
  }
  if (idx.ok) {
    if (k != idx.count) return fail("index length", nullptr, idx.count);
    for (int j = k; j < k + kFitPad; j++) {
      if (idx.fit[j] != 0) return fail("bound past the index", nullptr, j);
    }
    for (int j = 0; j < k; j++) {
      if (idx.starts[j] != reinterpret_cast<uintptr_t>(idx.byAddr[j]->data)) {
        return fail("address index", idx.byAddr[j], j);
      }
      if (j > 0 && idx.starts[j - 1] >= idx.starts[j]) return fail("address order", nullptr, j);
    }
  }
  return 0;
}

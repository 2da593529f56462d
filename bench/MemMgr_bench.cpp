// Small-allocation churn of the block memory manager against malloc/free.
//
// Every benchmark keeps a fixed number of live allocations and, per iteration, releases a
// randomly chosen one and puts a new allocation of a random small size in its place.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <random>
#include <vector>

#include "MemMgr.h"

namespace {

constexpr int kMinSize = 8;
constexpr int kMaxSize = 200;
constexpr size_t kScript = 1 << 16;  // pre-drawn slots and sizes, replayed cyclically

struct Script {
  std::vector<int> slot;
  std::vector<int> size;
  Script(int live, unsigned seed) : slot(kScript), size(kScript) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> s(0, live - 1), z(kMinSize, kMaxSize);
    for (size_t i = 0; i < kScript; i++) {
      slot[i] = s(rng);
      size[i] = z(rng);
    }
  }
};

int CountBlocks() {
  int n = 0;
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) n++;
  return n;
}

void BM_MemMgr_Replace(benchmark::State &state) {
  const int live = static_cast<int>(state.range(0));
  Script script(live, 42);
  std::vector<void *> ptrs(live);
  for (int i = 0; i < live; i++) ptrs[i] = GetMem(script.size[i % kScript]);
  size_t k = 0;
  for (auto _ : state) {
    int s = script.slot[k];
    PutMem(ptrs[s]);
    ptrs[s] = GetMem(script.size[k]);
    benchmark::DoNotOptimize(ptrs[s]);
    k = (k + 1) & (kScript - 1);
  }
  state.counters["blocks"] = CountBlocks();
  for (void *p : ptrs) PutMem(p);
  state.SetItemsProcessed(state.iterations());
}

void BM_Malloc_Replace(benchmark::State &state) {
  const int live = static_cast<int>(state.range(0));
  Script script(live, 42);
  std::vector<void *> ptrs(live);
  for (int i = 0; i < live; i++) ptrs[i] = malloc(script.size[i % kScript] + 1);
  size_t k = 0;
  for (auto _ : state) {
    int s = script.slot[k];
    free(ptrs[s]);
    ptrs[s] = malloc(script.size[k] + 1);
    benchmark::DoNotOptimize(ptrs[s]);
    k = (k + 1) & (kScript - 1);
  }
  for (void *p : ptrs) free(p);
  state.SetItemsProcessed(state.iterations());
}

// calloc hands out zeroed memory, as GetMem does.
void BM_Calloc_Replace(benchmark::State &state) {
  const int live = static_cast<int>(state.range(0));
  Script script(live, 42);
  std::vector<void *> ptrs(live);
  for (int i = 0; i < live; i++) ptrs[i] = calloc(1, script.size[i % kScript] + 1);
  size_t k = 0;
  for (auto _ : state) {
    int s = script.slot[k];
    free(ptrs[s]);
    ptrs[s] = calloc(1, script.size[k] + 1);
    benchmark::DoNotOptimize(ptrs[s]);
    k = (k + 1) & (kScript - 1);
  }
  for (void *p : ptrs) free(p);
  state.SetItemsProcessed(state.iterations());
}

// Resizing a live allocation by a small random amount, the typical string-building pattern.
void BM_MemMgr_Adjust(benchmark::State &state) {
  const int live = static_cast<int>(state.range(0));
  Script script(live, 7);
  std::vector<void *> ptrs(live);
  for (int i = 0; i < live; i++) ptrs[i] = GetMem(script.size[i % kScript]);
  size_t k = 0;
  for (auto _ : state) {
    int s = script.slot[k];
    ptrs[s] = AdjustMem(ptrs[s], script.size[k]);
    benchmark::DoNotOptimize(ptrs[s]);
    k = (k + 1) & (kScript - 1);
  }
  for (void *p : ptrs) PutMem(p);
  state.SetItemsProcessed(state.iterations());
}

void BM_Realloc_Adjust(benchmark::State &state) {
  const int live = static_cast<int>(state.range(0));
  Script script(live, 7);
  std::vector<void *> ptrs(live);
  for (int i = 0; i < live; i++) ptrs[i] = malloc(script.size[i % kScript] + 1);
  size_t k = 0;
  for (auto _ : state) {
    int s = script.slot[k];
    ptrs[s] = realloc(ptrs[s], script.size[k] + 1);
    benchmark::DoNotOptimize(ptrs[s]);
    k = (k + 1) & (kScript - 1);
  }
  for (void *p : ptrs) free(p);
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_MemMgr_Replace)->Arg(1000);
BENCHMARK(BM_Malloc_Replace)->Arg(1000);
BENCHMARK(BM_Calloc_Replace)->Arg(1000);
BENCHMARK(BM_MemMgr_Adjust)->Arg(1000);
BENCHMARK(BM_Realloc_Adjust)->Arg(1000);
// The number of blocks grows with the live allocations (about 500 small ones per block).
// The first fit is found through a tree over the blocks' longest free runs and the release
// finds its block through a page map, so the growth in cost comes mostly from cache misses:
// the node table, the MAT and the zero-filled data of a request are seldom in the cache on a
// large heap. With few blocks, the block at the end of the chain is emptied and made anew
// now and then (an emptied block goes back to the system at once), and those mappings are
// part of the cost.
BENCHMARK(BM_MemMgr_Replace)->Arg(4000)->Arg(16000)->Arg(64000)->Arg(256000);
BENCHMARK(BM_Malloc_Replace)->Arg(4000)->Arg(16000)->Arg(64000)->Arg(256000);

BENCHMARK_MAIN();

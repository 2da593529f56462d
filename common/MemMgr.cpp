/* Block memory manager: blocks from /dev/zero, 32-byte nodes, a MAT string per block. */
#include "MemMgr.h"

#include <fcntl.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "MemMgr_bits.h"
#include "MemMgr_internal.h"

MemBlock *pMemB = nullptr;
const char OutOfMem[] = "Unable to allocate memory";

namespace {

using namespace memmgr;
using membits::AtLeast;
using membits::HighRun;
using membits::LongestRun;
using membits::LowRun;
using membits::MaxByte64;
using membits::RunStarts;
using membits::SetLane;

constexpr int kDedicatedGranule = MEM_BLOCK_SIZE;

const char *zeroDevice = "/dev/zero";
int zeroFd = -1;  // descriptor of /dev/zero, opened on the first mapping and kept

// Length of the region MapBlock makes for size bytes: one page more than the floor.
size_t RegionLength(int size) {
  size_t page = static_cast<size_t>(getpagesize());
  return (static_cast<size_t>(size) / page + 1) * page;
}

// Maps a region for size bytes as MapBlock does, at hint when that place is free (any
// other place otherwise); *heap tells whether it was taken from the heap instead.
void *MapRegion(int size, void *hint, bool *heap) {
  *heap = false;
  if (size < 0) return nullptr;
  size_t len = RegionLength(size);
  if (zeroFd < 0) zeroFd = open(zeroDevice, O_RDWR | O_CLOEXEC);
  if (zeroFd < 0) {
    *heap = true;
    return calloc(1, len);
  }
  void *p = mmap(hint, len, PROT_READ | PROT_WRITE, MAP_PRIVATE, zeroFd, 0);
  return p == MAP_FAILED ? nullptr : p;
}

// Returns a region obtained by MapRegion(size) to where it came from.
void ReleaseRegion(void *p, int size, bool heap) {
  if (p == nullptr) return;
  if (heap) {
    free(p);
  } else {
    munmap(p, RegionLength(size));
  }
}

// Padded size of a request: room for size bytes and a NUL, in whole nodes. Returns -1 when
// size is negative or the padded size does not fit a signed 32-bit size.
int64_t PaddedSize(int size) {
  if (size < 0) return -1;
  int64_t rsize = (static_cast<int64_t>(size) + 1 + kNodeSize - 1) / kNodeSize * kNodeSize;
  return rsize > INT32_MAX ? -1 : rsize;
}

// Data size of the dedicated block for rsize bytes, or -1 when it does not fit 32 bits.
int64_t DedicatedSize(int64_t rsize) {
  int64_t dsize = (rsize + kDedicatedGranule - 1) / kDedicatedGranule * kDedicatedGranule;
  return dsize > INT32_MAX ? -1 : dsize;
}

// Sets up the aids of a block whose nodes are all free.
void InitAids(MemBlock *b) {
  SearchAids *a = Aids(b);
  memset(a->freeBits, 0xff, sizeof a->freeBits[0] * kWords);
  a->freeBits[kWords] = 0;
  memset(a->startBits, 0, sizeof a->startBits);
  memset(a->best, 64, sizeof a->best);
  memset(a->cross, 128, sizeof a->cross);
  a->cross[kWords - 1] = 64;
  a->freeNodes = kNodes;
  a->slot = 0;
}

// Adds d to the free-node count of block b (aids a); returns the new count.
MEMBITS_INLINE int AddFree(MemBlock *b, SearchAids *a, int d) {
  int f = a->freeNodes + d;
  a->freeNodes = f;
  b->freeCount = f;
  return f;
}

// Writes the m MAT characters of nodes i.. of block b (m >= 1) as c, once the bit mirror in
// a holds them. A short run is one 8-byte store made from the mirror's bits for those eight
// nodes: the MAT line is written, never read, so a release or an allocation does not wait
// for it to come in from memory.
MEMBITS_INLINE void SyncMat(MemBlock *b, const SearchAids *a, int i, int m, char c) {
  char *p = b->mat + i;
  if (__builtin_expect(m <= 8 && i <= kNodes - 8, 1)) {
    unsigned w = static_cast<unsigned>(i) / 64, j = static_cast<unsigned>(i) % 64;
    uint64_t bits = (a->freeBits[w] >> j | a->freeBits[w + 1] << 1 << (63 - j)) & 0xff;
    // Bit k of bits to byte k, 1 where set; then 'U' for 0 and ' ' for 1.
    uint64_t x = (bits * 0x0101010101010101ULL) & 0x8040201008040201ULL;
    x = ((x + 0x7f7f7f7f7f7f7f7fULL) >> 7) & 0x0101010101010101ULL;
    static_assert((kUsed ^ kFree) == 0x75, "MAT marks");
    uint64_t v = 0x0101010101010101ULL * static_cast<unsigned char>(kUsed) ^ x * 0x75;
    memcpy(p, &v, sizeof v);
    return;
  }
  memset(p, c, static_cast<size_t>(m));
}

MEMBITS_INLINE int Max(int x, int y) { return x > y ? x : y; }

// Sets the bits of nodes first..last, across words, to free or used and renews the aids of
// those words and of the boundaries around them.
__attribute__((noinline)) void SetBits(SearchAids *a, unsigned first, unsigned last, bool free) {
  int w0 = static_cast<int>(first / 64), w1 = static_cast<int>(last / 64);
  uint64_t head = ~0ULL << (first % 64), tail = ~0ULL >> (63 - last % 64);
  for (int w = w0; w <= w1; w++) {
    uint64_t bits = (w == w0 ? head : ~0ULL) & (w == w1 ? tail : ~0ULL);
    uint64_t x = free ? a->freeBits[w] | bits : a->freeBits[w] & ~bits;
    a->freeBits[w] = x;
    SetLane(a->best, static_cast<unsigned>(w), LongestRun(x));
  }
  for (int w = w0 > 0 ? w0 - 1 : 0; w <= w1; w++) {
    SetLane(a->cross, static_cast<unsigned>(w),
            HighRun(a->freeBits[w]) + LowRun(a->freeBits[w + 1]));
  }
}

// Word w changes from bits x0 to bits x, whose edge runs were high0 and low0 (top and bottom)
// and are high and low. Stores the word and renews the cross of the boundaries above and
// below it from their old values. Returns the larger of the two crosses. Everything is read
// before anything is stored.
MEMBITS_INLINE int StoreWord(SearchAids *a, int w, uint64_t x, int high0, int low0, int high,
                             int low) {
  // Word 0 has no boundary below, and takes no branch of its own: it renews its own cross
  // as the "boundary below" and then stores the right one over it.
  int under = w - (w > 0);
  int above = a->cross[w] - high0 + high;
  int below = (a->cross[under] - low0 + low) & -(w > 0);
  a->freeBits[w] = x;
  SetLane(a->cross, static_cast<unsigned>(under), below);
  SetLane(a->cross, static_cast<unsigned>(w), above);
  return Max(above, below);
}

// Takes nodes i..i+m-1 (m >= 1) of block b (aids a, at place k) in the MAT, its bit mirror,
// the search aids and the index.
MEMBITS_INLINE void TakeBits(MemBlock *b, SearchAids *a, int k, int i, int m) {
  unsigned first = static_cast<unsigned>(i), last = static_cast<unsigned>(i + m - 1);
  if (first / 64 != last / 64) {
    SetBits(a, first, last, false);
  } else {
    // Within one word, the usual case. The word keeps a used node, so its new edge runs are
    // counted straight from the lowest and highest used node; it may have been all free.
    int w = static_cast<int>(first / 64);
    uint64_t x0 = a->freeBits[w];
    uint64_t x = x0 & ~((~0ULL >> (64 - static_cast<unsigned>(m))) << (first % 64));
    SetLane(a->best, static_cast<unsigned>(w), LongestRun(x));
    StoreWord(a, w, x, HighRun(x0), LowRun(x0), __builtin_clzll(~x), __builtin_ctzll(~x));
  }
  SyncMat(b, a, i, m, kUsed);
  // Runs only got shorter: the longest may have been one of them.
  if (k != 0) {
    int key = MaxByte64(a->best);

    SetKey(k, key < 64 ? key : 64);
  }
}

// Frees nodes i..i+m-1 (m >= 1) of block b (at place k) in the MAT, its bit mirror, the
// search aids and the index.
MEMBITS_INLINE void FreeBits(MemBlock *b, SearchAids *a, int k, int i, int m) {
  unsigned first = static_cast<unsigned>(i), last = static_cast<unsigned>(i + m - 1);
  int w = static_cast<int>(first / 64);
  int bound;
  if (first / 64 == last / 64) {
    // Within one word: the freed nodes join the free nodes around them; the word's other
    // runs stay as they were, so its longest run is the larger of the two. The word held
    // used nodes (those freed now), so its old edges are counted straight.
    unsigned lo = first % 64;
    uint64_t x0 = a->freeBits[w];
    uint64_t x = x0 | (~0ULL >> (64 - static_cast<unsigned>(m))) << lo;
    int high0 = __builtin_clzll(~x0), low0 = __builtin_ctzll(~x0);
    int best, crosses;
    if (__builtin_expect(~x == 0, 0)) {
      best = 64;  // the whole word is free
      crosses = StoreWord(a, w, x, high0, low0, 64, 64);
    } else {
      // The word keeps a used node, so every count below meets one.
      int run = __builtin_ctzll(~(x >> lo)) + __builtin_clzll(~(x << (63 - lo))) - 1;
      best = Max(a->best[w], run);
      crosses = StoreWord(a, w, x, high0, low0, __builtin_clzll(~x), __builtin_ctzll(~x));
    }
    SetLane(a->best, static_cast<unsigned>(w), best);
    bound = Max(best, crosses);
  } else {
    SetBits(a, first, last, true);
    bound = 0;
    for (int v = w > 0 ? w - 1 : 0; v <= static_cast<int>(last / 64); v++) {
      bound = Max(bound, Max(a->best[v], a->cross[v]));
    }
  }
  SyncMat(b, a, i, m, kFree);
  // Runs only got longer, and only around the freed nodes.
  if (k != 0) {
    if (bound >= 64) {
      bound = 64;
      idx.slots[k].longFit = kAnyRun;  // the longest run may have grown past its bound
    }
    RaiseKey(k, bound);
  }
}

// First node of the lowest run of n free nodes of an ordinary block, -1 when it has none.
MEMBITS_INLINE int FindRun(MemBlock *b, int n) {
  SearchAids *a = Aids(b);
  if (n <= 64) {
    // A run of n <= 64 nodes lies inside one word or starts at the top of one and runs on
    // into the next. The aids are exact: the first word whose best or cross is n or more
    // holds the start of the lowest such run, inside the word or at its top.
    uint32_t any = AtLeast(a->best, n) | AtLeast(a->cross, n);
    if (any == 0) return -1;
    int w = __builtin_ctz(any);
    uint64_t x = a->freeBits[w];
    uint64_t starts = RunStarts(x, n);
    // No run inside the word: it has a used node, below the run that crosses its top.
    return starts != 0 ? w * 64 + __builtin_ctzll(starts) : w * 64 + 64 - __builtin_clzll(~x);
  }
  // Longer runs span words: carry the free run that ends each word.
  int run = 0;
  for (int w = 0; w < kWords; w++) {
    uint64_t x = a->freeBits[w];
    if (x == ~0ULL) {
      run += 64;
      if (run >= n) return w * 64 + 64 - run;
      continue;
    }
    if (run + LowRun(x) >= n) return w * 64 - run;
    run = HighRun(x);
  }
  return -1;
}

// Zeroes n nodes at p (node-aligned). Small allocations are the usual case: eight pairs of
// 16-byte stores, the ones past the last node stored again on the last node, with no branch
// on the size (which is as good as random).
MEMBITS_INLINE void ZeroNodes(char *p, int n) {
#ifdef __SSE2__
  if (n <= 8) {
    __m128i z = _mm_setzero_si128();
    int last = (n - 1) * kNodeSize;
#pragma GCC unroll 8
    for (int j = 0; j < 8; j++) {
      int at = j * kNodeSize < last ? j * kNodeSize : last;
      _mm_store_si128(reinterpret_cast<__m128i *>(p + at), z);
      _mm_store_si128(reinterpret_cast<__m128i *>(p + at + 16), z);
    }
    return;
  }
#endif
  memset(p, 0, static_cast<size_t>(n) * kNodeSize);
}

// Sets or clears the start bit of node i.
MEMBITS_INLINE void MarkStart(SearchAids *a, int i, bool start) {
  uint64_t bit = 1ULL << (static_cast<unsigned>(i) % 64);
  uint64_t &word = a->startBits[static_cast<unsigned>(i) / 64];
  word = start ? word | bit : word & ~bit;
}

// Length in nodes of an allocation that spans a word boundary: up to the next start or free
// node, or the end of the block.
__attribute__((noinline)) int LongLength(const SearchAids *a, int i) {
  int len = 64 - i % 64;
  for (int v = i / 64 + 1; v < kWords; v++) {
    uint64_t stop = a->startBits[v] | a->freeBits[v];
    if (stop != 0) return len + __builtin_ctzll(stop);
    len += 64;
  }
  return len;
}

// Length in nodes of the allocation that starts at node i, from the bit mirrors: it ends
// before the next node that is free or starts another allocation.
MEMBITS_INLINE int AllocLength(const SearchAids *a, int i) {
  unsigned w = static_cast<unsigned>(i) / 64, j = static_cast<unsigned>(i) % 64;
  uint64_t stop = (a->startBits[w] | a->freeBits[w]) >> j >> 1;  // the nodes after i
  if (__builtin_expect(stop != 0, 1)) return __builtin_ctzll(stop) + 1;
  return LongLength(a, i);
}

// Takes nodes i..i+n-1 of block b (at place k), whose data area is data, for a new
// allocation; returns its zeroed memory.
MEMBITS_INLINE void *TakeNodes(MemBlock *b, int k, char *data, int i, int n) {
  SearchAids *a = Aids(b);
  TakeBits(b, a, k, i, n);
  MarkStart(a, i, true);
  char *addr = data + static_cast<size_t>(i) * kNodeSize;
  b->nodes[i].count = static_cast<uint16_t>(n);
  b->nodes[i].addr = addr;
  ZeroNodes(addr, n);
  AddFree(b, a, -n);
  return addr;
}

// The block whose data area holds address a (its end address included), or null; *place
// is its place in the index (0 while the index is dropped) and *offset a's distance from
// the start of its data area.
MEMBITS_INLINE MemBlock *BlockOf(uintptr_t a, int *place, uintptr_t *offset) {
  if (__builtin_expect(idx.ok, 1)) {
    int k = PlaceOf(a, offset);
    *place = k;
    return idx.slots[k].block;  // null at place 0
  }
  *place = 0;
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) {
    uintptr_t d = reinterpret_cast<uintptr_t>(b->data);
    if (a >= d && a - d <= static_cast<uintptr_t>(b->size)) {
      *offset = a - d;
      return b;
    }
  }
  return nullptr;
}

enum class Kind { kUnknown, kOrdinary, kDedicated };

// Classifies p: the start of an allocation in an ordinary block (node index in *node), the
// start of a dedicated block, or anything else. *place is the block's place in the index.
MEMBITS_INLINE Kind LookUp(const void *p, MemBlock **block, int *place, int *node) {
  if (p == nullptr) return Kind::kUnknown;
  uintptr_t off = 0;
  MemBlock *b = BlockOf(reinterpret_cast<uintptr_t>(p), place, &off);
  if (b == nullptr) return Kind::kUnknown;
  *block = b;
  // The index holds the size too, so the header is not read for it.
  bool dedicated = *place != 0 ? idx.slots[*place].size > kBlockSize : IsDedicated(b);
  if (dedicated) return off == 0 ? Kind::kDedicated : Kind::kUnknown;
  // An allocation starts at a node whose entry is filled; the start bits mirror the entries.
  // The end address is no node: no allocation starts there.
  int i = static_cast<int>(off / kNodeSize);
  if (off % kNodeSize != 0 || i >= kNodes) return Kind::kUnknown;
  if ((Aids(b)->startBits[i / 64] >> (i % 64) & 1) == 0) return Kind::kUnknown;
  *node = i;
  return Kind::kOrdinary;
}

}  // namespace

/* Maps one page more than the floor of size in pages, read-write and private, from
 * /dev/zero, or takes it zero-filled from the heap when /dev/zero cannot be opened.
 * Returns the region or null. FreeBlock gives a block's regions back to where they came
 * from (the heap, or munmap): GetNewBlock notes that in the block's header. */
void *MapBlock(int size) {
  bool heap;
  return MapRegion(size, nullptr, &heap);
}

/* Makes a block with size bytes of data (65536 at least) and appends it to the chain.
 * Returns its header, or null after reporting OutOfMem on standard error. */
MemBlock *GetNewBlock(int size) {
  if (size <= kBlockSize) size = kBlockSize;
  if (!idx.ok) RebuildIndex();  // a dropped index is tried again with every new block
  // The data area is asked for right below the header (whichever way the system lays out
  // new mappings), so that the two go back to the system in one call: one flush of the
  // address translations instead of two when the block empties.
  bool heapHeader, heapData = false;
  MemBlock *b = static_cast<MemBlock *>(MapRegion(kHeaderSize, nullptr, &heapHeader));
  char *data = nullptr;
  if (b != nullptr) {
    uintptr_t h = reinterpret_cast<uintptr_t>(b), len = RegionLength(size);
    data = static_cast<char *>(
        MapRegion(size, h > len ? reinterpret_cast<void *>(h - len) : nullptr, &heapData));
  }
  if (data == nullptr) {
    ReleaseRegion(b, kHeaderSize, heapHeader);
    fprintf(stderr, "ERROR: %s\n", OutOfMem);
    return nullptr;
  }
  // A fresh region is zero already (mapped from /dev/zero, or calloc'ed): the record and the
  // node table need no clearing, and pages the block never uses are never touched.
  memset(b->mat, kFree, kNodes);
  b->mat[kNodes] = '\0';
  InitAids(b);
  Aids(b)->heap = static_cast<uint8_t>((heapHeader ? kHeapHeader : 0) | (heapData ? kHeapData : 0));
  b->size = size;
  b->data = data;
  b->freeCount = kNodes;
  PushBlock(b);
  return b;
}

/* Appends block at the tail of the chain; returns it. */
MemBlock *PushBlock(MemBlock *block) {
  block->next = nullptr;
  if (pMemB == nullptr) {
    block->prev = nullptr;
    pMemB = block;
    RebuildIndex();
    return block;
  }
  MemBlock *tail = pMemB;
  while (tail->next != nullptr) tail = tail->next;
  tail->next = block;
  block->prev = tail;
  IndexAppend(block);
  return block;
}

/* Unlinks block from the chain; returns it with its links cleared. */
MemBlock *PopBlock(MemBlock *block) {
  IndexRemove(block);
  if (block->prev != nullptr) {
    block->prev->next = block->next;
  } else if (pMemB == block) {
    pMemB = block->next;
  }
  if (block->next != nullptr) block->next->prev = block->prev;
  block->next = nullptr;
  block->prev = nullptr;
  if (pMemB == nullptr && !idx.ok) RebuildIndex();  // an empty chain is indexed again
  return block;
}

/* Returns the block whose data area holds p (its end address included), or null. */
MemBlock *FindBlock(const void *p) {
  uintptr_t offset;
  int place;
  return BlockOf(reinterpret_cast<uintptr_t>(p), &place, &offset);
}

/* Unlinks block and returns its data and its header to the system (or the heap). */
void FreeBlock(MemBlock *block) {
  PopBlock(block);
  int heap = Aids(block)->heap;
  char *data = block->data;
  size_t len = RegionLength(block->size);
  if (heap == 0 && data + len == reinterpret_cast<char *>(block)) {
    munmap(data, len + RegionLength(kHeaderSize));  // side by side, as GetNewBlock asks
    return;
  }
  ReleaseRegion(data, block->size, (heap & kHeapData) != 0);
  ReleaseRegion(block, kHeaderSize, (heap & kHeapHeader) != 0);
}

/* Returns 1 when the first length characters of text all equal ch. */
int TestMAT(const char *text, int ch, int length) {
  for (int i = 0; i < length; i++) {
    if (text[i] != static_cast<char>(ch)) return 0;
  }
  return 1;
}

namespace {

// First fit of a request of n nodes the short way cannot serve: runs of more than 64 nodes
// (blocks whose longest run is 64 or more, in chain order, those whose bound rules the
// request out skipped), or any request while the index is dropped (the chain walked).
// Returns the node, with the block in *block and its place in *place; -1 when no block
// has room.
__attribute__((noinline)) int FindLong(int n, MemBlock **block, int *place) {
  if (idx.ok) {
    for (int k = NextPlace(1, 64); k != 0; k = NextPlace(k + 1, 64)) {
      Slot &s = idx.slots[k];
      if (s.longFit < n) continue;
      int i = FindRun(s.block, n);
      if (i >= 0) {
        *block = s.block;
        *place = k;
        return i;
      }
      s.longFit = static_cast<uint16_t>(n - 1);
    }
    return -1;
  }
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) {
    if (b->freeCount < n || IsDedicated(b)) continue;
    int i = FindRun(b, n);
    if (i >= 0) {
      *block = b;
      *place = 0;
      return i;
    }
  }
  return -1;
}

// Serves a request of n nodes that the index cannot serve straight away: a long run, no
// block with room (a new block is made), or the index dropped. Returns the memory or null.
__attribute__((noinline)) void *GetNodesSlow(int n) {
  MemBlock *b = nullptr;
  int k = 0;
  int i = idx.ok && n <= 64 ? -1 : FindLong(n, &b, &k);  // the keys ruled every block out
  if (i < 0) {
    b = GetNewBlock(kBlockSize);
    if (b == nullptr) return nullptr;
    k = Aids(b)->slot;
    i = FindRun(b, n);
  }
  return TakeNodes(b, k, b->data, i, n);
}

// A dedicated block for a request of rsize padded bytes, or null.
__attribute__((noinline)) void *GetDedicated(int64_t rsize) {
  int64_t dsize = DedicatedSize(rsize);
  if (dsize < 0) return nullptr;
  MemBlock *b = GetNewBlock(static_cast<int>(dsize));
  if (b == nullptr) return nullptr;
  // A fresh region is zero already (mapped from /dev/zero, or calloc'ed).
  memset(b->mat, kUsed, kNodes);
  // Its search aids say "no free node" as well, like its MAT.
  SearchAids *a = Aids(b);
  memset(a->freeBits, 0, sizeof a->freeBits);
  memset(a->best, 0, sizeof a->best);
  memset(a->cross, 0, sizeof a->cross);
  AddFree(b, a, -kNodes);
  b->used = static_cast<int32_t>(rsize);
  return b->data;
}

}  // namespace

/* Returns size+1 or more zero-filled bytes owned by the caller (release with PutMem), or
 * null for a size of 0 or less or when no memory can be had. */
void *GetMem(int size) {
  // Sizes 1 to 65535 are served from ordinary blocks; the rest is rare.
  if (static_cast<unsigned>(size) - 1u >= static_cast<unsigned>(kBlockSize) - 1u) {
    if (size <= 0) return nullptr;
    int64_t rsize = PaddedSize(size);
    return rsize < 0 ? nullptr : GetDedicated(rsize);
  }
  int n = (size + kNodeSize) / kNodeSize;  // room for size bytes and a NUL, in nodes
  if (__builtin_expect(idx.ok && n <= 64, 1)) {
    // The keys are exact for runs up to 64 nodes: the first place whose key is n or more
    // holds the first fit.
    int k = FirstPlace(n);
    if (__builtin_expect(k != 0, 1)) {
      const Slot &s = idx.slots[k];
      return TakeNodes(s.block, k, reinterpret_cast<char *>(s.start), FindRun(s.block, n), n);
    }
  }
  return GetNodesSlow(n);
}

/* Releases the allocation that starts at p; anything else is ignored. A block left without
 * allocations goes back to the system at once. */
void PutMem(void *p) {
  MemBlock *b = nullptr;
  int k = 0, i = 0;
  Kind kind = LookUp(p, &b, &k, &i);
  if (kind == Kind::kUnknown) return;
  if (kind == Kind::kOrdinary) {
    // The length comes from the bit mirrors and the entry is cleared without being read: on
    // a busy heap the node table is seldom in the cache.
    SearchAids *a = Aids(b);
    int m = AllocLength(a, i);
    MarkStart(a, i, false);
    FreeBits(b, a, k, i, m);
    b->nodes[i].count = 0;
    b->nodes[i].addr = nullptr;
    if (AddFree(b, a, m) < kNodes) return;
  }
  FreeBlock(b);
}

/* Resizes the allocation at p to size bytes, keeping its contents up to the smaller size;
 * grown bytes are zero. Returns the (possibly moved) allocation, or null when size is 0
 * (p is released) or memory runs out (p is left as it was). */
void *AdjustMem(void *p, int size) {
  if (size == 0) {
    if (p != nullptr) PutMem(p);
    return nullptr;
  }
  MemBlock *b = nullptr;
  int place = 0, i = 0;
  Kind kind = LookUp(p, &b, &place, &i);
  if (kind == Kind::kUnknown) return GetMem(size);
  int64_t rsize = PaddedSize(size);
  if (rsize < 0) return nullptr;

  if (rsize > kBlockSize || kind == Kind::kDedicated) {
    if (rsize > b->size) {
      void *q = GetMem(size);
      if (q == nullptr) return nullptr;
      // Past a dedicated block's used length everything is zero already.
      size_t keep = kind == Kind::kDedicated ? static_cast<size_t>(b->used)
                                             : static_cast<size_t>(b->nodes[i].count) * kNodeSize;
      memcpy(q, p, keep);
      PutMem(p);
      return q;
    }
    // Stays in its dedicated block: the bytes between the old and new used lengths are zeroed.
    char *d = b->data;
    if (rsize < b->used) {
      memset(d + rsize, 0, static_cast<size_t>(b->used - rsize));
    } else if (rsize > b->used) {
      memset(d + b->used, 0, static_cast<size_t>(rsize - b->used));
    }
    b->used = static_cast<int32_t>(rsize);
    return p;
  }

  int n = static_cast<int>(rsize / kNodeSize);
  MemNode &e = b->nodes[i];
  int a = e.count;
  char *data = b->data;
  if (n == a) return p;
  SearchAids *aids = Aids(b);
  if (n < a) {
    FreeBits(b, aids, place, i + n, a - n);
    memset(data + static_cast<size_t>(i + n) * kNodeSize, 0,
           static_cast<size_t>(a - n) * kNodeSize);
    e.count = static_cast<uint16_t>(n);
    AddFree(b, aids, a - n);
    return p;
  }
  int k = n - a;
  if (b->freeCount >= k) {
    if (i + a + k <= kNodes && TestMAT(b->mat + i + a, kFree, k)) {
      TakeBits(b, aids, place, i + a, k);
      memset(data + static_cast<size_t>(i + a) * kNodeSize, 0, static_cast<size_t>(k) * kNodeSize);
      e.count = static_cast<uint16_t>(n);
      AddFree(b, aids, -k);
      return p;
    }
    if (i - k >= 0 && TestMAT(b->mat + i - k, kFree, k)) {
      int j = i - k;
      TakeBits(b, aids, place, j, k);
      char *q = data + static_cast<size_t>(j) * kNodeSize;
      memmove(q, p, static_cast<size_t>(a) * kNodeSize);
      memset(q + static_cast<size_t>(a) * kNodeSize, 0, static_cast<size_t>(k) * kNodeSize);
      e.count = 0;
      e.addr = nullptr;
      b->nodes[j].count = static_cast<uint16_t>(n);
      b->nodes[j].addr = q;
      MarkStart(aids, i, false);
      MarkStart(aids, j, true);
      AddFree(b, aids, -k);
      return q;
    }
  }
  void *q = GetMem(size);
  if (q == nullptr) return nullptr;
  memcpy(q, p, static_cast<size_t>(a) * kNodeSize);
  PutMem(p);
  return q;
}

/* Test hook, not part of the interface: with off non-zero, the chain index is dropped and
 * every search walks the chain; with off zero, the index is rebuilt from the chain. */
extern "C" void MemMgrSetIndexOff(int off) {
  idx.disabled = off != 0;
  RebuildIndex();
}

/* Test hook, not part of the interface: closes the kept descriptor and makes the next
 * mapping open path instead of /dev/zero (a missing path selects the heap fallback). */
extern "C" void MemMgrSetZeroDevice(const char *path) {
  if (zeroFd >= 0) close(zeroFd);
  zeroFd = -1;
  zeroDevice = path != nullptr ? path : "/dev/zero";
}

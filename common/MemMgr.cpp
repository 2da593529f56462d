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

namespace memmgr {
BlockIndex idx = {nullptr, nullptr, nullptr, nullptr, 0, 0, true, false};
}  // namespace memmgr

namespace {

using namespace memmgr;
using membits::AtLeast;
using membits::HighRun;
using membits::LongestRun;
using membits::LowRun;
using membits::RunStarts;

constexpr int kDedicatedGranule = MEM_BLOCK_SIZE;

// The last byte of every region MapBlock returns lies past the caller's size (a region is
// always longer than asked for); a region taken from the heap carries this mark there so
// that it goes back to the heap and not to munmap.
constexpr unsigned char kHeapMark = 0xA5;

const char *zeroDevice = "/dev/zero";
int zeroFd = -1;  // descriptor of /dev/zero, opened on the first mapping and kept

// Length of the region MapBlock makes for size bytes: one page more than the floor.
size_t RegionLength(int size) {
  size_t page = static_cast<size_t>(getpagesize());
  return (static_cast<size_t>(size) / page + 1) * page;
}

// Returns a region obtained by MapBlock(size) to where it came from.
void ReleaseRegion(void *p, int size) {
  if (p == nullptr) return;
  size_t len = RegionLength(size);
  unsigned char *mark = static_cast<unsigned char *>(p) + len - 1;
  if (*mark == kHeapMark) {
    free(p);
  } else {
    munmap(p, len);
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

// Makes room for want blocks in the index; false when memory runs out.
bool ReserveIndex(int want) {
  if (want <= idx.cap) return true;
  int cap = idx.cap < 16 ? 16 : idx.cap;
  while (cap < want) cap *= 2;
  void *c = realloc(idx.chain, sizeof(MemBlock *) * static_cast<size_t>(cap));
  if (c == nullptr) return false;
  idx.chain = static_cast<MemBlock **>(c);
  void *f = realloc(idx.fit, sizeof(uint16_t) * static_cast<size_t>(cap + kFitPad));
  if (f == nullptr) return false;
  idx.fit = static_cast<uint16_t *>(f);
  int zeroFrom = idx.cap == 0 ? 0 : idx.cap + kFitPad;
  memset(idx.fit + zeroFrom, 0, sizeof(uint16_t) * static_cast<size_t>(cap + kFitPad - zeroFrom));
  void *a = realloc(idx.byAddr, sizeof(MemBlock *) * static_cast<size_t>(cap));
  if (a == nullptr) return false;
  idx.byAddr = static_cast<MemBlock **>(a);
  void *s = realloc(idx.starts, sizeof(uintptr_t) * static_cast<size_t>(cap));
  if (s == nullptr) return false;
  idx.starts = static_cast<uintptr_t *>(s);
  idx.cap = cap;
  return true;
}

// Place in byAddr of the first block whose data lies above a. The halving steps depend only
// on the number of blocks, and each picks its half with a select rather than a branch.
int UpperBound(uintptr_t a) {
  int n = idx.count;
  if (n == 0) return 0;
  const uintptr_t *base = idx.starts;
  while (n > 1) {
    int half = n / 2;
    base = base[half] <= a ? base + half : base;
    n -= half;
  }
  return static_cast<int>(base - idx.starts) + (*base <= a);
}

void IndexAppend(MemBlock *b) {
  int k = idx.count;
  idx.chain[k] = b;
  idx.fit[k] = IsDedicated(b) ? 0 : kAnyRun;
  Aids(b)->pos = k;
  uintptr_t d = reinterpret_cast<uintptr_t>(b->data);
  int at = UpperBound(d);
  memmove(idx.byAddr + at + 1, idx.byAddr + at, sizeof(MemBlock *) * static_cast<size_t>(k - at));
  memmove(idx.starts + at + 1, idx.starts + at, sizeof(uintptr_t) * static_cast<size_t>(k - at));
  idx.byAddr[at] = b;
  idx.starts[at] = d;
  idx.count = k + 1;
}

void IndexRemove(MemBlock *b) {
  int k = Aids(b)->pos;
  Aids(b)->pos = -1;
  if (k < 0 || k >= idx.count || idx.chain[k] != b) return;
  idx.count--;
  for (int j = k; j < idx.count; j++) {
    idx.chain[j] = idx.chain[j + 1];
    idx.fit[j] = idx.fit[j + 1];
    Aids(idx.chain[j])->pos = j;
  }
  idx.fit[idx.count] = 0;
  int at = UpperBound(reinterpret_cast<uintptr_t>(b->data)) - 1;
  while (at >= 0 && idx.byAddr[at] != b) at--;
  if (at < 0) return;
  memmove(idx.byAddr + at, idx.byAddr + at + 1,
          sizeof(MemBlock *) * static_cast<size_t>(idx.count - at));
  memmove(idx.starts + at, idx.starts + at + 1,
          sizeof(uintptr_t) * static_cast<size_t>(idx.count - at));
}

// First place k >= from in chain order whose block may hold a run of n free nodes; count
// when there is none.
MEMBITS_INLINE int NextFit(int from, int n) {
#ifdef __SSE2__
  // The first block usually fits: its bound is read alone, which takes a value just
  // stored straight from the store (a wider read would wait for it to reach memory).
  if (from < idx.count && idx.fit[from] >= n) return from;
  // Eight bounds at a time; the zero entries past count never match.
  __m128i limit = _mm_set1_epi16(static_cast<int16_t>(n - 1));  // bounds are at most 2048
  for (int k = from; k < idx.count; k += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(idx.fit + k));
    int mask = _mm_movemask_epi8(_mm_cmpgt_epi16(v, limit));
    if (mask != 0) return k + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
  }
  return idx.count;
#else
  int k = from;
  while (k < idx.count && idx.fit[k] < n) k++;
  return k;
#endif
}

// Rebuilds the index from the chain; leaves it dropped when memory runs out or it is disabled.
void RebuildIndex() {
  for (int k = 0; k < idx.count; k++) {
    Aids(idx.chain[k])->pos = -1;
    idx.fit[k] = 0;
  }
  idx.count = 0;
  idx.ok = false;
  if (idx.disabled) return;
  int n = 0;
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) n++;
  if (!ReserveIndex(n + 1)) return;
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) IndexAppend(b);
  idx.ok = true;
}

// Sets up the aids of a block whose nodes are all free.
void InitAids(MemBlock *b) {
  SearchAids *a = Aids(b);
  memset(a->freeBits, 0xff, sizeof a->freeBits);
  memset(a->best, 64, sizeof a->best);
  memset(a->high, 64, sizeof a->high);
  memset(a->low, 64, kWords);
  a->low[kWords] = 0;
  memset(a->reach, 128, sizeof a->reach);
  a->reach[kWords - 1] = 64;
  a->pos = -1;
}

// Sets the m MAT characters of nodes i.. of block b to c (m >= 1).
MEMBITS_INLINE void FillMat(MemBlock *b, int i, int m, char c) {
  // The MAT is followed by more of the header mapping, so eight bytes from any node stay in
  // it; a short run is one 8-byte read-modify-write instead of a call.
  static_assert(offsetof(MemBlock, mat) + kNodes + 7 < kAidsOffset, "MAT tail room");
  char *p = reinterpret_cast<char *>(b) + offsetof(MemBlock, mat) + i;
  if (m <= 8) {
    uint64_t v, set = ~0ULL >> (64 - 8 * static_cast<unsigned>(m));
    memcpy(&v, p, sizeof v);
    v = (v & ~set) | (0x0101010101010101ULL * static_cast<unsigned char>(c) & set);
    memcpy(p, &v, sizeof v);
    return;
  }
  memset(p, c, static_cast<size_t>(m));
}

MEMBITS_INLINE int Max(int x, int y) { return x > y ? x : y; }

// Makes reach[w] exact again from best[w], high[w] and low[w+1].
MEMBITS_INLINE void RenewReach(SearchAids *a, int w) {
  a->reach[w] = static_cast<uint8_t>(Max(a->best[w], a->high[w] + a->low[w + 1]));
}

// Sets word w to x and renews its longest and edge runs.
MEMBITS_INLINE void SetWord(SearchAids *a, int w, uint64_t x) {
  a->freeBits[w] = x;
  a->best[w] = static_cast<uint8_t>(LongestRun(x));
  a->high[w] = static_cast<uint8_t>(HighRun(x));
  a->low[w] = static_cast<uint8_t>(LowRun(x));
}

// Sets the bits of nodes first..last, across words, to free or used and renews the aids.
__attribute__((noinline)) void SetBits(SearchAids *a, unsigned first, unsigned last, bool free) {
  int w0 = static_cast<int>(first / 64), w1 = static_cast<int>(last / 64);
  uint64_t head = ~0ULL << (first % 64), tail = ~0ULL >> (63 - last % 64);
  SetWord(a, w0, free ? a->freeBits[w0] | head : a->freeBits[w0] & ~head);
  for (int w = w0 + 1; w < w1; w++) SetWord(a, w, free ? ~0ULL : 0);
  SetWord(a, w1, free ? a->freeBits[w1] | tail : a->freeBits[w1] & ~tail);
  for (int w = w0 > 0 ? w0 - 1 : 0; w <= w1; w++) RenewReach(a, w);
}

// Word w now holds bits x, with the given longest run and edge runs: stores them and renews
// the reach of word w and of the word below it. Returns the larger of the two reaches.
// Everything is read before anything is stored, so that nothing needs reading twice.
MEMBITS_INLINE int StoreWord(SearchAids *a, int w, uint64_t x, int best, int high, int low) {
  // Word 0 is a frequent target of first fit, so it takes no branch of its own: it renews
  // itself as its "word below" and then stores its own reach over that.
  int under = w - (w > 0);
  int reach = Max(best, high + a->low[w + 1]);
  int below = Max(a->best[under], a->high[under] + low) & -(w > 0);
  a->freeBits[w] = x;
  a->best[w] = static_cast<uint8_t>(best);
  a->high[w] = static_cast<uint8_t>(high);
  a->low[w] = static_cast<uint8_t>(low);
  a->reach[under] = static_cast<uint8_t>(below);
  a->reach[w] = static_cast<uint8_t>(reach);
  return Max(reach, below);
}

// Takes nodes i..i+m-1 (m >= 1) in the MAT, its bit mirror and the search aids.
MEMBITS_INLINE void TakeBits(MemBlock *b, int i, int m) {
  FillMat(b, i, m, kUsed);
  SearchAids *a = Aids(b);
  unsigned first = static_cast<unsigned>(i), last = static_cast<unsigned>(i + m - 1);
  if (first / 64 != last / 64) {
    SetBits(a, first, last, false);
    return;
  }
  // Within one word, the usual case. The word keeps a used node, so its edge runs are
  // counted straight from the lowest and highest used node.
  int w = static_cast<int>(first / 64);
  uint64_t x = a->freeBits[w] & ~((~0ULL >> (64 - static_cast<unsigned>(m))) << (first % 64));
  StoreWord(a, w, x, LongestRun(x), __builtin_clzll(~x), __builtin_ctzll(~x));
}

// Frees nodes i..i+m-1 (m >= 1) in the MAT, its bit mirror and the search aids; raises the
// block's bound in the chain index.
MEMBITS_INLINE void FreeBits(MemBlock *b, int i, int m) {
  FillMat(b, i, m, kFree);
  SearchAids *a = Aids(b);
  unsigned first = static_cast<unsigned>(i), last = static_cast<unsigned>(i + m - 1);
  int w = static_cast<int>(first / 64);
  int bound = 0;
  if (first / 64 == last / 64) {
    // Within one word: the freed nodes join the free nodes around them; the word's other
    // runs stay as they were, so its longest run is the larger of the two.
    unsigned lo = first % 64;
    uint64_t x = a->freeBits[w] | (~0ULL >> (64 - static_cast<unsigned>(m))) << lo;
    if (__builtin_expect(~x == 0, 0)) {
      bound = StoreWord(a, w, x, 64, 64, 64);  // the whole word is free
    } else {
      // The word keeps a used node, so every count below meets one.
      int run = __builtin_ctzll(~(x >> lo)) + __builtin_clzll(~(x << (63 - lo))) - 1;
      bound = StoreWord(a, w, x, Max(a->best[w], run), __builtin_clzll(~x), __builtin_ctzll(~x));
    }
  } else {
    SetBits(a, first, last, true);
    for (int v = w > 0 ? w - 1 : 0; v <= static_cast<int>(last / 64); v++) {
      bound = Max(bound, a->reach[v]);
    }
  }
  // A run of 64 or more may go on through whole free words: its length is not known here.
  if (bound >= 64) bound = kAnyRun;
  // pos is a valid place in the index whenever it is not -1.
  int k = a->pos;
  if (k >= 0 && idx.fit[k] < bound) idx.fit[k] = static_cast<uint16_t>(bound);
}

// First node of the lowest run of n free nodes of an ordinary block, -1 when it has none.
MEMBITS_INLINE int FindRun(MemBlock *b, int n) {
  SearchAids *a = Aids(b);
  if (n <= 64) {
    // The aids are exact: the first word whose reach is n or more holds the start of the
    // lowest such run, inside the word or at its top, running on into the next word.
    uint32_t any = AtLeast(a->reach, n);
    if (any == 0) return -1;
    int w = __builtin_ctz(any);
    uint64_t starts = RunStarts(a->freeBits[w], n);
    return starts != 0 ? w * 64 + __builtin_ctzll(starts) : w * 64 + 64 - a->high[w];
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

// Takes nodes i..i+n-1 of an ordinary block for a new allocation; returns its zeroed memory.
MEMBITS_INLINE void *TakeNodes(MemBlock *b, int i, int n) {
  TakeBits(b, i, n);
  char *addr = b->data + static_cast<size_t>(i) * kNodeSize;
  b->nodes[i].count = static_cast<uint16_t>(n);
  b->nodes[i].addr = addr;
  memset(addr, 0, static_cast<size_t>(n) * kNodeSize);
  b->freeCount -= n;
  return addr;
}

// The block whose data area holds address a (its end address included), or null; *offset
// is a's distance from the start of that data area.
MEMBITS_INLINE MemBlock *BlockOf(uintptr_t a, uintptr_t *offset) {
  if (__builtin_expect(idx.ok, 1)) {
    // Data areas never overlap, end addresses included: only the last block starting at
    // or below a can hold it. The halving steps depend only on the number of blocks, and
    // each picks its half with a select rather than a branch.
    int n = idx.count;
    if (n == 0) return nullptr;
    const uintptr_t *base = idx.starts;
    while (n > 1) {
      int half = n / 2;
      base = base[half] <= a ? base + half : base;
      n -= half;
    }
    // An address below every block wraps around to a huge offset.
    MemBlock *b = idx.byAddr[base - idx.starts];
    *offset = a - *base;
    return *offset <= static_cast<uintptr_t>(b->size) ? b : nullptr;
  }
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
// start of a dedicated block, or anything else.
MEMBITS_INLINE Kind LookUp(const void *p, MemBlock **block, int *node) {
  if (p == nullptr) return Kind::kUnknown;
  uintptr_t off = 0;
  MemBlock *b = BlockOf(reinterpret_cast<uintptr_t>(p), &off);
  if (b == nullptr) return Kind::kUnknown;
  *block = b;
  if (IsDedicated(b)) return off == 0 ? Kind::kDedicated : Kind::kUnknown;
  int i = static_cast<int>(off / kNodeSize);
  if (i >= kNodes) return Kind::kUnknown;  // the end address: no allocation starts there
  const MemNode &e = b->nodes[i];
  if (e.addr != p || e.count == 0) return Kind::kUnknown;  // p is not null
  *node = i;
  return Kind::kOrdinary;
}

}  // namespace

/* Maps one page more than the floor of size in pages, read-write and private, from
 * /dev/zero, or takes it zero-filled from the heap when /dev/zero cannot be opened.
 * Returns the region or null. FreeBlock gives a block's regions back to where they came
 * from (the heap, or munmap). */
void *MapBlock(int size) {
  if (size < 0) return nullptr;
  size_t len = RegionLength(size);
  if (zeroFd < 0) zeroFd = open(zeroDevice, O_RDWR | O_CLOEXEC);
  if (zeroFd < 0) {
    unsigned char *p = static_cast<unsigned char *>(calloc(1, len));
    if (p != nullptr) p[len - 1] = kHeapMark;
    return p;
  }
  void *p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE, zeroFd, 0);
  return p == MAP_FAILED ? nullptr : p;
}

/* Makes a block with size bytes of data (65536 at least) and appends it to the chain.
 * Returns its header, or null after reporting OutOfMem on standard error. */
MemBlock *GetNewBlock(int size) {
  if (size <= kBlockSize) size = kBlockSize;
  // Room in the chain index first, so that a new block never leaves it behind.
  if (!idx.ok) RebuildIndex();
  if (idx.ok && !ReserveIndex(idx.count + 1)) {
    fprintf(stderr, "ERROR: %s\n", OutOfMem);
    return nullptr;
  }
  MemBlock *b = static_cast<MemBlock *>(MapBlock(kHeaderSize));
  char *data = b != nullptr ? static_cast<char *>(MapBlock(size)) : nullptr;
  if (data == nullptr) {
    ReleaseRegion(b, kHeaderSize);
    fprintf(stderr, "ERROR: %s\n", OutOfMem);
    return nullptr;
  }
  // A fresh region is zero already (mapped from /dev/zero, or calloc'ed): the record and the
  // node table need no clearing, and pages the block never uses are never touched.
  memset(b->mat, kFree, kNodes);
  b->mat[kNodes] = '\0';
  InitAids(b);
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
  if (idx.ok) {
    if (ReserveIndex(idx.count + 1)) {
      IndexAppend(block);
    } else {
      RebuildIndex();  // drops the index: no room
    }
  }
  return block;
}

/* Unlinks block from the chain; returns it with its links cleared. */
MemBlock *PopBlock(MemBlock *block) {
  if (idx.ok) IndexRemove(block);
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
  return BlockOf(reinterpret_cast<uintptr_t>(p), &offset);
}

/* Unlinks block and returns its data and its header to the system (or the heap). */
void FreeBlock(MemBlock *block) {
  PopBlock(block);
  ReleaseRegion(block->data, block->size);
  ReleaseRegion(block, kHeaderSize);
}

/* Returns 1 when the first length characters of text all equal ch. */
int TestMAT(const char *text, int ch, int length) {
  for (int i = 0; i < length; i++) {
    if (text[i] != static_cast<char>(ch)) return 0;
  }
  return 1;
}

namespace {

// First fit found by walking the chain itself, for when the chain index could not be kept:
// the node, and the block in *block; -1 when no block has room.
__attribute__((noinline)) int FindByChain(int n, MemBlock **block) {
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) {
    if (b->freeCount < n || IsDedicated(b)) continue;
    int i = FindRun(b, n);
    if (i >= 0) {
      *block = b;
      return i;
    }
  }
  return -1;
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
  memset(a->high, 0, sizeof a->high);
  memset(a->low, 0, sizeof a->low);
  memset(a->reach, 0, sizeof a->reach);
  b->freeCount = 0;
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
  MemBlock *b = nullptr;
  int i = -1;
  if (__builtin_expect(idx.ok, 1)) {
    for (int k = NextFit(0, n); k < idx.count; k = NextFit(k + 1, n)) {
      b = idx.chain[k];
      i = FindRun(b, n);
      if (i >= 0) break;
      idx.fit[k] = static_cast<uint16_t>(n - 1);
    }
  } else {
    i = FindByChain(n, &b);
  }
  if (__builtin_expect(i < 0, 0)) {
    b = GetNewBlock(kBlockSize);
    if (b == nullptr) return nullptr;
    i = FindRun(b, n);
  }
  return TakeNodes(b, i, n);
}

/* Releases the allocation that starts at p; anything else is ignored. A block left without
 * allocations goes back to the system at once. */
void PutMem(void *p) {
  MemBlock *b = nullptr;
  int i = 0;
  Kind kind = LookUp(p, &b, &i);
  if (kind == Kind::kUnknown) return;
  if (kind == Kind::kOrdinary) {
    MemNode &e = b->nodes[i];
    FreeBits(b, i, e.count);
    b->freeCount += e.count;
    e.count = 0;
    e.addr = nullptr;
    if (b->freeCount < kNodes) return;
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
  int i = 0;
  Kind kind = LookUp(p, &b, &i);
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
  if (n < a) {
    FreeBits(b, i + n, a - n);
    memset(data + static_cast<size_t>(i + n) * kNodeSize, 0,
           static_cast<size_t>(a - n) * kNodeSize);
    e.count = static_cast<uint16_t>(n);
    b->freeCount += a - n;
    return p;
  }
  int k = n - a;
  if (b->freeCount >= k) {
    if (i + a + k <= kNodes && TestMAT(b->mat + i + a, kFree, k)) {
      TakeBits(b, i + a, k);
      memset(data + static_cast<size_t>(i + a) * kNodeSize, 0, static_cast<size_t>(k) * kNodeSize);
      e.count = static_cast<uint16_t>(n);
      b->freeCount -= k;
      return p;
    }
    if (i - k >= 0 && TestMAT(b->mat + i - k, kFree, k)) {
      int j = i - k;
      TakeBits(b, j, k);
      char *q = data + static_cast<size_t>(j) * kNodeSize;
      memmove(q, p, static_cast<size_t>(a) * kNodeSize);
      memset(q + static_cast<size_t>(a) * kNodeSize, 0, static_cast<size_t>(k) * kNodeSize);
      e.count = 0;
      e.addr = nullptr;
      b->nodes[j].count = static_cast<uint16_t>(n);
      b->nodes[j].addr = q;
      b->freeCount -= k;
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

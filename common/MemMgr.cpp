/* Block memory manager: blocks from /dev/zero, 32-byte nodes, a MAT string per block. */
#include "MemMgr.h"

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

MemBlock *pMemB = nullptr;
const char OutOfMem[] = "Unable to allocate memory";

namespace {

constexpr int kNodeSize = MEM_NODE_SIZE;
constexpr int kNodes = MEM_NODES;
constexpr int kBlockSize = MEM_BLOCK_SIZE;
constexpr int kDedicatedGranule = MEM_BLOCK_SIZE;
constexpr char kFree = MEM_FREE_MARK;
constexpr char kUsed = MEM_USED_MARK;

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

bool IsDedicated(const MemBlock *b) { return b->size > kBlockSize; }

// Search aids, kept in the header mapping right after the MemBlock record:
// - freeBits mirrors the MAT, one bit per node (set = free), so that runs are found 64
//   nodes at a time; longest[w] bounds the runs inside word w (lowered when a search finds
//   no run of n there, raised to 64 when nodes of the word are set free);
// - hint[n] (n up to kHinted) is a node below which no run of n free nodes starts, so a
//   first-fit search for n nodes may begin there and still find the lowest run. A request
//   for more than kHinted nodes starts at hint[kHinted]: its run contains such a run.
constexpr int kHinted = 32;
constexpr int kWords = kNodes / 64;
struct SearchAids {
  uint64_t freeBits[kWords];
  uint8_t longest[kWords];  // bound on the longest run of free nodes inside each word
  int16_t hint[kHinted + 1];
};
constexpr size_t kAidsOffset = (sizeof(MemBlock) + 7) / 8 * 8;
constexpr int kHeaderSize = static_cast<int>(kAidsOffset + sizeof(SearchAids));

SearchAids *Aids(MemBlock *b) {
  return reinterpret_cast<SearchAids *>(reinterpret_cast<char *>(b) + kAidsOffset);
}

// Marks nodes i..i+m-1 free or used, in the MAT and in its bit mirror.
void MarkNodes(MemBlock *b, int i, int m, bool free) {
  memset(b->mat + i, free ? kFree : kUsed, static_cast<size_t>(m));
  SearchAids *aids = Aids(b);
  unsigned pos = static_cast<unsigned>(i), end = static_cast<unsigned>(i + m);
  while (pos < end) {
    unsigned w = pos / 64, lo = pos % 64;
    unsigned hi = end - w * 64 < 64 ? end - w * 64 : 64;
    uint64_t mask = (hi - lo == 64 ? ~0ULL : ((1ULL << (hi - lo)) - 1)) << lo;
    uint64_t x = free ? aids->freeBits[w] | mask : aids->freeBits[w] & ~mask;
    aids->freeBits[w] = x;
    if (free) aids->longest[w] = 64;  // unknown again; taking nodes only shortens runs
    pos = w * 64 + hi;
  }
}

// Bits j of the result are set where bits j..j+n-1 of x are all set (1 <= n <= 64).
uint64_t RunStarts(uint64_t x, int n) {
  int have = 1;
  while (have < n && x != 0) {
    int step = have <= n - have ? have : n - have;
    x &= x >> step;
    have += step;
  }
  return x;
}

// First node of a run of n free nodes at or after start, lowest first; -1 when there is
// none. Walks the bit mirror a word at a time, carrying the free run that ends each word.
int SearchRun(MemBlock *b, int n, int start) {
  SearchAids *aids = Aids(b);
  const uint64_t *bits = aids->freeBits;
  int run = 0;  // free nodes just below the current word
  for (int w = start / 64; w < kWords; w++) {
    uint64_t f = bits[w];
    if (w == start / 64) f &= ~0ULL << (start % 64);
    if (f == ~0ULL) {
      if (run + 64 >= n) return w * 64 - run;
      run += 64;
      continue;
    }
    int prefix = __builtin_ctzll(~f);
    if (run + prefix >= n) return w * 64 - run;
    if (n <= aids->longest[w]) {
      uint64_t starts = RunStarts(f, n);
      if (starts != 0) return w * 64 + __builtin_ctzll(starts);
      if (f == bits[w]) aids->longest[w] = static_cast<uint8_t>(n - 1);  // whole word seen
    }
    run = __builtin_clzll(~f);
  }
  return -1;
}

// First-fit search of an ordinary block for n nodes, keeping its hints; -1 when none.
int FindRun(MemBlock *b, int n) {
  SearchAids *h = Aids(b);
  int start = h->hint[n < kHinted ? n : kHinted];
  if (start + n > kNodes) return -1;
  int i = SearchRun(b, n, start);
  if (n > kHinted) return i;
  if (i < 0) {
    // No run of n nodes, hence none longer either.
    for (int m = n; m <= kHinted; m++) h->hint[m] = kNodes;
  } else {
    h->hint[n] = static_cast<int16_t>(i + n);
  }
  return i;
}

// Nodes i..i+m-1 have just been set free. A run that did not exist before lies inside the
// free run around them: runs up to its length may now start as low as its first node.
void NoteFreed(MemBlock *b, int i, int m) {
  SearchAids *h = Aids(b);
  const uint64_t *bits = h->freeBits;
  // Start of the free run: just past the last used node below i.
  int w = i / 64;
  uint64_t used = ~bits[w] & ((1ULL << (i % 64)) - 1);
  while (used == 0 && w > 0) used = ~bits[--w];
  int lo = used == 0 ? 0 : w * 64 + 64 - __builtin_clzll(used);
  // End of the free run: the first used node at or after i+m.
  int end = i + m, hi = kNodes;
  if (end < kNodes) {
    w = end / 64;
    used = ~bits[w] & (~0ULL << (end % 64));
    while (used == 0 && w < kWords - 1) used = ~bits[++w];
    if (used != 0) hi = w * 64 + __builtin_ctzll(used);
  }
  int len = hi - lo < kHinted ? hi - lo : kHinted;
  for (int n = 1; n <= len; n++) {
    if (h->hint[n] > lo) h->hint[n] = static_cast<int16_t>(lo);
  }
}

// Takes nodes i..i+n-1 of an ordinary block for a new allocation; returns its zeroed memory.
void *TakeNodes(MemBlock *b, int i, int n) {
  MarkNodes(b, i, n, false);
  char *addr = b->data + static_cast<size_t>(i) * kNodeSize;
  b->nodes[i].count = static_cast<uint16_t>(n);
  b->nodes[i].addr = addr;
  memset(addr, 0, static_cast<size_t>(n) * kNodeSize);
  b->freeCount -= n;
  return addr;
}

enum class Kind { kUnknown, kOrdinary, kDedicated };

// Classifies p: the start of an allocation in an ordinary block (node index in *node), the
// start of a dedicated block, or anything else.
Kind LookUp(const void *p, MemBlock **block, int *node) {
  if (p == nullptr) return Kind::kUnknown;
  MemBlock *b = FindBlock(p);
  if (b == nullptr) return Kind::kUnknown;
  *block = b;
  if (IsDedicated(b)) return p == b->data ? Kind::kDedicated : Kind::kUnknown;
  uintptr_t off = reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(b->data);
  int i = static_cast<int>(off / kNodeSize);
  if (i >= kNodes) return Kind::kUnknown;  // the end address: no allocation starts there
  const MemNode &e = b->nodes[i];
  if (e.count == 0 || e.addr == nullptr || e.addr != p) return Kind::kUnknown;
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
  MemBlock *b = static_cast<MemBlock *>(MapBlock(kHeaderSize));
  char *data = b != nullptr ? static_cast<char *>(MapBlock(size)) : nullptr;
  if (data == nullptr) {
    ReleaseRegion(b, kHeaderSize);
    fprintf(stderr, "ERROR: %s\n", OutOfMem);
    return nullptr;
  }
  memset(b, 0, static_cast<size_t>(kHeaderSize));  // record and search aids
  memset(b->mat, kFree, kNodes);
  memset(Aids(b)->freeBits, 0xff, sizeof Aids(b)->freeBits);
  memset(Aids(b)->longest, 64, sizeof Aids(b)->longest);
  b->mat[kNodes] = '\0';
  PushBlock(b);
  b->size = size;
  b->data = data;
  b->freeCount = kNodes;
  return b;
}

/* Appends block at the tail of the chain; returns it. */
MemBlock *PushBlock(MemBlock *block) {
  block->next = nullptr;
  if (pMemB == nullptr) {
    block->prev = nullptr;
    pMemB = block;
    return block;
  }
  MemBlock *tail = pMemB;
  while (tail->next != nullptr) tail = tail->next;
  tail->next = block;
  block->prev = tail;
  return block;
}

/* Unlinks block from the chain; returns it with its links cleared. */
MemBlock *PopBlock(MemBlock *block) {
  if (block->prev != nullptr) {
    block->prev->next = block->next;
  } else if (pMemB == block) {
    pMemB = block->next;
  }
  if (block->next != nullptr) block->next->prev = block->prev;
  block->next = nullptr;
  block->prev = nullptr;
  return block;
}

/* Returns the block whose data area holds p (its end address included), or null. */
MemBlock *FindBlock(const void *p) {
  uintptr_t a = reinterpret_cast<uintptr_t>(p);
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) {
    uintptr_t d = reinterpret_cast<uintptr_t>(b->data);
    if (a >= d && a - d <= static_cast<uintptr_t>(b->size)) return b;
  }
  return nullptr;
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

/* Returns size+1 or more zero-filled bytes owned by the caller (release with PutMem), or
 * null for a size of 0 or less or when no memory can be had. */
void *GetMem(int size) {
  if (size <= 0) return nullptr;
  int64_t rsize = PaddedSize(size);
  if (rsize < 0) return nullptr;
  if (rsize > kBlockSize) {
    int64_t dsize = DedicatedSize(rsize);
    if (dsize < 0) return nullptr;
    MemBlock *b = GetNewBlock(static_cast<int>(dsize));
    if (b == nullptr) return nullptr;
    // A fresh region is zero already (mapped from /dev/zero, or calloc'ed).
    memset(b->mat, kUsed, kNodes);
    b->freeCount = 0;
    b->used = static_cast<int32_t>(rsize);
    return b->data;
  }
  int n = static_cast<int>(rsize / kNodeSize);
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) {
    if (b->freeCount < n || IsDedicated(b)) continue;
    int i = FindRun(b, n);
    if (i >= 0) return TakeNodes(b, i, n);
  }
  MemBlock *b = GetNewBlock(kBlockSize);
  if (b == nullptr) return nullptr;
  return TakeNodes(b, FindRun(b, n), n);
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
    MarkNodes(b, i, e.count, true);
    b->freeCount += e.count;
    int m = e.count;
    e.count = 0;
    e.addr = nullptr;
    if (b->freeCount < kNodes) {
      NoteFreed(b, i, m);
      return;
    }
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
    MarkNodes(b, i + n, a - n, true);
    memset(data + static_cast<size_t>(i + n) * kNodeSize, 0,
           static_cast<size_t>(a - n) * kNodeSize);
    e.count = static_cast<uint16_t>(n);
    b->freeCount += a - n;
    NoteFreed(b, i + n, a - n);
    return p;
  }
  int k = n - a;
  if (b->freeCount >= k) {
    if (i + a + k <= kNodes && TestMAT(b->mat + i + a, kFree, k)) {
      MarkNodes(b, i + a, k, false);
      memset(data + static_cast<size_t>(i + a) * kNodeSize, 0, static_cast<size_t>(k) * kNodeSize);
      e.count = static_cast<uint16_t>(n);
      b->freeCount -= k;
      return p;
    }
    if (i - k >= 0 && TestMAT(b->mat + i - k, kFree, k)) {
      int j = i - k;
      MarkNodes(b, j, k, false);
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

/* Test hook, not part of the interface: closes the kept descriptor and makes the next
 * mapping open path instead of /dev/zero (a missing path selects the heap fallback). */
extern "C" void MemMgrSetZeroDevice(const char *path) {
  if (zeroFd >= 0) close(zeroFd);
  zeroFd = -1;
  zeroDevice = path != nullptr ? path : "/dev/zero";
}

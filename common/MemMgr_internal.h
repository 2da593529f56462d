/* Internals of the block memory manager shared by its operations (MemMgr.cpp), the index
 * of its blocks (MemMgr_index.cpp) and its reports and checks (MemMgr_report.cpp): the
 * search aids kept in every block header and the index over the chain. C++ only; not part
 * of the library's interface. */
#ifndef COMMON_MEMMGR_INTERNAL_H
#define COMMON_MEMMGR_INTERNAL_H

#include <stdint.h>

#include "MemMgr.h"
#include "MemMgr_bits.h"

namespace memmgr {

constexpr int kNodeSize = MEM_NODE_SIZE;
constexpr int kNodes = MEM_NODES;
constexpr int kBlockSize = MEM_BLOCK_SIZE;
constexpr char kFree = MEM_FREE_MARK;
constexpr char kUsed = MEM_USED_MARK;

inline bool IsDedicated(const MemBlock *b) { return b->size > kBlockSize; }

// Search aids, kept in the header mapping after the MemBlock record, for the 32 words of 64
// nodes:
// - best[w] is the longest free run inside word w;
// - cross[w] is the free run across the upper boundary of word w: the free nodes at the top
//   of word w plus those at the bottom of word w+1 (none above the last word), each counted
//   up to 64;
// - freeBits mirrors the MAT, one bit per node (set = free), with a word past the last that
//   stays 0;
// - startBits mirrors the node table: a bit is set where an allocation starts (its entry is
//   filled). An allocation runs from its start to the next start or free node, so a release
//   finds its length here and the node table and the MAT are written, never read, on the
//   common paths: on a busy heap their lines are seldom in the cache;
// - freeNodes mirrors the header's free-node count for the same reason.
// A run of n <= 64 free nodes lies inside one word or crosses one boundary, so the first
// word whose best or cross is n or more holds the start of the lowest such run, and the
// largest of them all (up to 64) is the block's longest run. best and cross share one cache
// line; a change of one word renews the cross of its two boundaries from their old values
// and the word's old and new edges, so it touches only that line and the word's own. All of
// them are kept exact by every change of the bits.
// - slot is the block's place in the index below, 0 when it is not there.
constexpr int kWords = kNodes / 64;
struct SearchAids {
  alignas(64) uint8_t best[kWords];
  uint8_t cross[kWords];
  uint64_t freeBits[kWords + 1];
  uint64_t startBits[kWords + 1];
  int32_t freeNodes;
  int32_t slot;
  uint8_t heap;
};
constexpr uint8_t kHeapHeader = 1, kHeapData = 2;
// Headers are page-aligned, so aids at one fixed offset in each would all fall into the same
// few cache sets; each block's aids sit one of 64 lines further in, picked by the page
// number of its header.
constexpr size_t kAidsOffset = (sizeof(MemBlock) + 63) / 64 * 64;
constexpr int kAidsColours = 64;
constexpr int kHeaderSize =
    static_cast<int>(kAidsOffset + (kAidsColours - 1) * 64 + sizeof(SearchAids));

MEMBITS_INLINE SearchAids *Aids(MemBlock *b) {
  uintptr_t h = reinterpret_cast<uintptr_t>(b);
  return reinterpret_cast<SearchAids *>(h + kAidsOffset + ((h >> 12) % kAidsColours) * 64);
}

// Index of the chain, so that neither the first-fit search nor the release's block lookup
// has to visit the headers one by one.
//
// Places: every block of the chain has a place (slot) in chain order; blocks are appended
// at the tail, so a new block takes the place after the last one, and a block that leaves
// the chain leaves its place empty. When the places run out, the index is built anew from
// the chain (places renumbered, room doubled when more than half are taken). Place 0 is
// never a block: it holds the address UINTPTR_MAX and size 0, so no address is found there.
//
// Keys: key[k] is the longest free run of the block at place k, up to 64 (the largest best or
// cross of its words); 0 for a dedicated block and an empty place. The keys are the leaves of a
// tree of fan-out 32 whose every entry is the largest key below it, so the first place
// whose key is n or more is found from the top in one 32-byte comparison per level. Runs
// longer than 64 nodes are rare: for those, longFit bounds the longest run of each block
// from above (raised when nodes are freed, lowered when a search finds nothing).
//
// Addresses: a page map over 64 KB windows of the address space gives, for every window,
// the place of the block whose data starts in it (first) and of the block that began before
// it and runs into it (second). Data areas are at least 64 KB and never overlap (end
// addresses included), so no window meets more than these two.
//
// The index follows every PushBlock and PopBlock. When it cannot get memory it is dropped
// (ok false) and the chain itself is walked until the index can be built again.
struct Slot {
  uintptr_t start;   // data address; UINTPTR_MAX for an empty place
  MemBlock *block;   // null for an empty place
  uint32_t size;     // data size; 0 for an empty place
  uint16_t longFit;  // no free run of more than longFit nodes in the block
};

struct Window {
  uint32_t first;   // place of the block whose data starts in the window, or 0
  uint32_t second;  // place of the block that runs into the window from below, or 0
};

constexpr int kFan = 32;          // entries per tree group (one 32-byte comparison)
constexpr int kMaxLevels = 6;     // 32^6 places
constexpr int kWindowShift = 16;  // 64 KB windows
constexpr int kLeafShift = 16;    // windows per leaf of the page map (4 GB)
constexpr int kRootShift = 16;    // leaves: 48-bit addresses
constexpr int kMinPlaces = 32;
constexpr uint16_t kAnyRun = kNodes;  // longFit when the longest run is not known

struct BlockIndex {
  Slot *slots;                // cap places, chain order
  uint8_t *keys;              // the tree: levels of groups of 32, the leaves (cap keys) first
  int levelAt[kMaxLevels];    // offset of each level in keys
  int levelSize[kMaxLevels];  // entries of each level: cap, then cap / 32, ..., down to 32
  int levels;                 // the last level is one group
  int cap;                    // places (a power of two, kMinPlaces at least)
  int next;                   // first place never taken since the last build (1 at least)
  int count;                  // blocks in the index
  Window **root;              // page map: 2^kRootShift leaves of 2^kLeafShift windows
  int minCap;                 // test hook: places to have at least (a deeper tree)
  bool ok;
  bool disabled;  // test hook: always walk the chain
};
extern BlockIndex idx;

// Builds the index anew from the chain; leaves it dropped when memory runs out or it is
// disabled.
void RebuildIndex();
// Gives block, just appended to the chain, the place after the last one.
void IndexAppend(MemBlock *b);
// Takes block out of the index (nothing when it has no place).
void IndexRemove(MemBlock *b);
// Lowest place from `from` on whose key is n or more; 0 when there is none.
int NextPlace(int from, int n);

// Sets the key of place k and renews the tree above it. Whether a key changes is as good as
// random, so every level is stored whether it changed or not, with no branch on it.
MEMBITS_INLINE void SetKey(int k, int key) {
  uint8_t *keys = idx.keys;
  membits::SetLane(keys, static_cast<unsigned>(k), key);
  for (int l = 1; l < idx.levels; l++) {
    k /= kFan;
    membits::SetLane(keys, static_cast<unsigned>(idx.levelAt[l] + k),
                     membits::MaxByte(keys + idx.levelAt[l - 1] + k * kFan));
  }
}

// Raises the key of place k to key when it is lower, and the tree above it. Every entry is at
// least the entries below it, so the walk ends at the first that is high enough already;
// that is usually the key itself, and then nothing is stored (a byte stored in a group
// that the next search reads 16 bytes at a time would hold that read up).
MEMBITS_INLINE void RaiseKey(int k, int key) {
  uint8_t *keys = idx.keys;
  for (int l = 0; l < idx.levels; l++, k /= kFan) {
    uint8_t *at = keys + idx.levelAt[l] + k;
    if (*at >= key) return;
    membits::SetLane(keys, static_cast<unsigned>(at - keys), key);
  }
}

// Lowest place whose key is n or more (1 <= n <= 64); 0 when there is none.
MEMBITS_INLINE int FirstPlace(int n) {
  const uint8_t *keys = idx.keys;
  int l = idx.levels - 1;
  uint32_t m = membits::AtLeast(keys + idx.levelAt[l], n);
  if (m == 0) return 0;
  int k = __builtin_ctz(m);
  while (--l >= 0) {
    k = k * kFan + __builtin_ctz(membits::AtLeast(keys + idx.levelAt[l] + k * kFan, n));
  }
  return k;
}

// Place of the block whose data area holds address a (its end address included), 0 when
// there is none; *offset is a's distance from the start of that data area.
MEMBITS_INLINE int PlaceOf(uintptr_t a, uintptr_t *offset) {
  uintptr_t leaf = a >> (kWindowShift + kLeafShift);
  if (leaf >> kRootShift != 0) return 0;
  const Window *w = idx.root[leaf];
  if (w == nullptr) return 0;
  Window e = w[(a >> kWindowShift) & ((1u << kLeafShift) - 1)];
  // The block that starts in the window holds a when a is not below its start; otherwise
  // only the one from below can. An empty place holds the address UINTPTR_MAX.
  // The choice is made without a branch: addresses are random.
  const Slot *slots = idx.slots;
  uint32_t k = membits::SelectAtLeast(a, slots[e.first].start, e.first, e.second);
  *offset = a - slots[k].start;
  return *offset <= slots[k].size ? static_cast<int>(k) : 0;
}

}  // namespace memmgr

#endif

/* Internals of the block memory manager shared by its operations (MemMgr.cpp) and its
 * reports and checks (MemMgr_report.cpp): the search aids kept in every block header and
 * the index of the chain. C++ only; not part of the library's interface. */
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

// Search aids, kept in the header mapping right after the MemBlock record:
// - freeBits mirrors the MAT, one bit per node (set = free);
// - best[w] is the longest free run inside word w of freeBits;
// - low[w] and high[w] are the free nodes at the bottom and at the top of word w (low has a
//   zero entry past the last word);
// - reach[w] is the larger of best[w] and the free run across the boundary above word w
//   (high[w] + low[w+1]).
// A run of n <= 64 free nodes lies inside one word or crosses one boundary, so comparing
// the reach bytes with n, many at a time, yields the word where the lowest such run starts.
// All of them are kept exact by every change of the bits.
// - pos is the block's place in the chain index below, -1 when it is not there.
constexpr int kWords = kNodes / 64;
struct SearchAids {
  alignas(16) uint8_t reach[kWords];
  uint64_t freeBits[kWords];
  uint8_t best[kWords];
  uint8_t high[kWords];
  uint8_t low[kWords + 1];
  int32_t pos;
};
constexpr size_t kAidsOffset = (sizeof(MemBlock) + 63) / 64 * 64;
constexpr int kHeaderSize = static_cast<int>(kAidsOffset + sizeof(SearchAids));
constexpr uint16_t kAnyRun = kNodes;  // bound on a block's longest run when it is not known

MEMBITS_INLINE SearchAids *Aids(MemBlock *b) {
  return reinterpret_cast<SearchAids *>(reinterpret_cast<char *>(b) + kAidsOffset);
}

// Side index of the chain, so that neither the first-fit walk nor the release's block search
// has to visit every header: the blocks in chain order with a bound on the longest free run
// of each (0 for a dedicated block; raised when nodes are set free, lowered when a search
// finds no run), and the same blocks sorted by data address. It follows every PushBlock and
// PopBlock; when it cannot grow it is dropped (ok false) and the chain itself is walked
// until the index can be rebuilt.
struct BlockIndex {
  MemBlock **chain;   // chain order
  uint16_t *fit;      // no run of more than fit[k] free nodes in chain[k]; zero past count,
                      // with kFitPad entries beyond cap, so it can be read 8 at a time
  MemBlock **byAddr;  // ascending data address
  uintptr_t *starts;  // data address of byAddr[k], searched without touching the headers
  int count;
  int cap;
  bool ok;
  bool disabled;  // test hook: always walk the chain
};
extern BlockIndex idx;
constexpr int kFitPad = 8;

}  // namespace memmgr

#endif

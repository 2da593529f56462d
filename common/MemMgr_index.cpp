/* Index of the memory manager's chain of blocks: places in chain order with a tree of the
 * blocks' longest free runs, and a page map from addresses to places (MemMgr_internal.h). */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "MemMgr.h"
#include "MemMgr_bits.h"
#include "MemMgr_internal.h"

namespace memmgr {

BlockIndex idx = {nullptr, nullptr, {0}, {0}, 0, 0, 1, 0, nullptr, 0, false, false};

namespace {

constexpr Slot kEmptySlot = {UINTPTR_MAX, nullptr, 0, 0};
constexpr uintptr_t kLeafWindows = uintptr_t{1} << kLeafShift;

// Key of a block: its longest free run up to 64 nodes; 0 for a dedicated block.
int BlockKey(MemBlock *b) {
  if (IsDedicated(b)) return 0;
  int m = membits::MaxByte64(Aids(b)->best);
  return m < 64 ? m : 64;
}

// The window entry of address a, or null when its leaf is missing and cannot be made (or
// make is false).
Window *WindowOf(uintptr_t a, bool make) {
  uintptr_t leaf = a >> (kWindowShift + kLeafShift);
  if (leaf >> kRootShift != 0) return nullptr;
  Window *w = idx.root[leaf];
  if (w == nullptr) {
    if (!make) return nullptr;
    w = static_cast<Window *>(calloc(kLeafWindows, sizeof(Window)));
    if (w == nullptr) return nullptr;
    idx.root[leaf] = w;
  }
  return w + ((a >> kWindowShift) & (kLeafWindows - 1));
}

// Enters place k (its block's data area) in the page map; false when memory runs out.
bool MapPlace(int k) {
  const Slot &s = idx.slots[k];
  uintptr_t firstWindow = s.start >> kWindowShift;
  uintptr_t lastWindow = (s.start + s.size) >> kWindowShift;
  for (uintptr_t w = firstWindow; w <= lastWindow; w++) {
    Window *e = WindowOf(w << kWindowShift, true);
    if (e == nullptr) return false;
    if (w == firstWindow) {
      e->first = static_cast<uint32_t>(k);
    } else {
      e->second = static_cast<uint32_t>(k);
    }
  }
  return true;
}

// Takes place k out of the page map.
void UnmapPlace(int k) {
  const Slot &s = idx.slots[k];
  if (s.block == nullptr) return;
  uintptr_t firstWindow = s.start >> kWindowShift;
  uintptr_t lastWindow = (s.start + s.size) >> kWindowShift;
  for (uintptr_t w = firstWindow; w <= lastWindow; w++) {
    Window *e = WindowOf(w << kWindowShift, false);
    if (e == nullptr) continue;
    if (e->first == static_cast<uint32_t>(k)) e->first = 0;
    if (e->second == static_cast<uint32_t>(k)) e->second = 0;
  }
}

// Fills place k with block b and enters it in the page map; the tree is left to the
// caller. False when memory runs out.
bool FillPlace(int k, MemBlock *b) {
  idx.slots[k] = {reinterpret_cast<uintptr_t>(b->data), b, static_cast<uint32_t>(b->size), kAnyRun};
  idx.keys[k] = static_cast<uint8_t>(BlockKey(b));
  Aids(b)->slot = k;
  return MapPlace(k);
}

// Renews every level of the tree above the keys.
void BuildTree() {
  for (int l = 1; l < idx.levels; l++) {
    for (int g = 0; g < idx.levelSize[l]; g++) {
      idx.keys[idx.levelAt[l] + g] =
          g * kFan < idx.levelSize[l - 1]
              ? static_cast<uint8_t>(membits::MaxByte(idx.keys + idx.levelAt[l - 1] + g * kFan))
              : 0;
    }
  }
}

// Empties the index: no place is taken, no address is mapped. Keeps its memory.
void ClearIndex() {
  for (int k = 1; k < idx.next; k++) {
    MemBlock *b = idx.slots[k].block;
    if (b == nullptr) continue;
    UnmapPlace(k);
    Aids(b)->slot = 0;
  }
  for (int k = 0; k < idx.cap; k++) idx.slots[k] = kEmptySlot;
  if (idx.keys != nullptr) {
    int total = idx.levelAt[idx.levels - 1] + idx.levelSize[idx.levels - 1];
    memset(idx.keys, 0, static_cast<size_t>(total));
  }
  idx.next = 1;
  idx.count = 0;
}

// Gives the index room for cap places (a power of two); false when memory runs out, with
// the old room kept.
bool Resize(int cap) {
  int at[kMaxLevels], sizes[kMaxLevels];
  int levels = 0, total = 0;
  for (int size = cap;; size = size / kFan > kFan ? size / kFan : kFan) {
    if (levels == kMaxLevels) return false;
    at[levels] = total;
    sizes[levels++] = size;
    total += size;
    if (size == kFan) break;
  }
  Slot *slots = static_cast<Slot *>(malloc(sizeof(Slot) * static_cast<size_t>(cap)));
  // The groups of the tree are compared 32 bytes at a time: each on a cache line of its own.
  uint8_t *keys =
      static_cast<uint8_t *>(aligned_alloc(64, (static_cast<size_t>(total) + 63) / 64 * 64));
  if (slots == nullptr || keys == nullptr) {
    free(slots);
    free(keys);
    return false;
  }
  free(idx.slots);
  free(idx.keys);
  idx.slots = slots;
  idx.keys = keys;
  for (int l = 0; l < levels; l++) {
    idx.levelAt[l] = at[l];
    idx.levelSize[l] = sizes[l];
  }
  idx.levels = levels;
  idx.cap = cap;
  for (int k = 0; k < cap; k++) idx.slots[k] = kEmptySlot;
  memset(idx.keys, 0, static_cast<size_t>(total));
  return true;
}

}  // namespace

void RebuildIndex() {
  if (idx.slots != nullptr) ClearIndex();
  idx.ok = false;
  if (idx.disabled) return;
  if (idx.root == nullptr) {
    idx.root = static_cast<Window **>(calloc(size_t{1} << kRootShift, sizeof(Window *)));
    if (idx.root == nullptr) return;
  }
  int n = 0;
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) n++;
  // Room for the blocks and as many again, so that the next build is as far away.
  int cap = kMinPlaces;
  while (cap < 2 * (n + 1) || cap < idx.minCap) cap *= 2;
  if (cap != idx.cap && !Resize(cap)) return;
  int k = 1;
  for (MemBlock *b = pMemB; b != nullptr; b = b->next, k++) {
    if (!FillPlace(k, b)) {
      idx.next = k + 1;
      ClearIndex();
      return;
    }
  }
  idx.next = k;
  idx.count = n;
  BuildTree();
  idx.ok = true;
}

void IndexAppend(MemBlock *b) {
  if (!idx.ok) return;
  if (idx.next == idx.cap) {
    RebuildIndex();  // b is in the chain already
    return;
  }
  int k = idx.next++;
  idx.count++;
  if (!FillPlace(k, b)) {
    ClearIndex();
    idx.ok = false;
    return;
  }
  SetKey(k, idx.keys[k]);  // the levels above it
}

void IndexRemove(MemBlock *b) {
  int k = Aids(b)->slot;
  if (!idx.ok || k <= 0 || k >= idx.next || idx.slots[k].block != b) return;
  UnmapPlace(k);
  SetKey(k, 0);
  idx.slots[k] = kEmptySlot;
  Aids(b)->slot = 0;
  idx.count--;
  // Places at the end that are empty are taken again by the next blocks.
  while (idx.next > 1 && idx.slots[idx.next - 1].block == nullptr) idx.next--;
}

int NextPlace(int from, int n) {
  // Up from the group of `from` until a group holds a key of n or more past it, then down
  // to the first such place.
  if (from >= idx.cap) return 0;
  int k = from, l = 0;
  for (;; l++) {
    int g = k / kFan;
    uint32_t m = membits::AtLeast(idx.keys + idx.levelAt[l] + g * kFan, n) & (~0u << (k % kFan));
    if (m != 0) {
      k = g * kFan + __builtin_ctz(m);
      break;
    }
    k = g + 1;  // past every place of group g
    if (l + 1 == idx.levels || k >= idx.levelSize[l + 1]) return 0;
  }
  while (--l >= 0) {
    k = k * kFan + __builtin_ctz(membits::AtLeast(idx.keys + idx.levelAt[l] + k * kFan, n));
  }
  return k;
}

}  // namespace memmgr

/* Test hook, not part of the interface: gives the index room for at least places blocks
 * (0: as many as it needs), so that a test can have a deep tree with a few blocks. */
extern "C" void MemMgrSetIndexRoom(int places) {
  memmgr::idx.minCap = places;
  memmgr::RebuildIndex();
}

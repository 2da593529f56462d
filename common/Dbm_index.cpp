/* Record database: the key index behind a typed handle (see Dbm_index.h). */
#include "Dbm_index.h"

#include <string.h>

namespace dbm {

uint32_t KeyIndex::Hash(const unsigned char *p, size_t n) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
  while (n >= 8) {
    uint64_t w;
    memcpy(&w, p, 8);
    h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
    p += 8;
    n -= 8;
  }
  uint64_t w = 0;
  memcpy(&w, p, n);
  h = (h ^ w) * 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 29;
  return static_cast<uint32_t>(h);
}

void KeyIndex::Clear() {
  slots_.clear();
  used_ = 0;
  mask_ = 0;
  dups = false;
}

void KeyIndex::Reserve(size_t n) {
  size_t want = 16;
  while (want < n * 2) want *= 2;
  if (want <= slots_.size()) return;
  std::vector<Slot> old;
  old.swap(slots_);
  slots_.assign(want, Slot{kEmpty, 0, 0});
  mask_ = want - 1;
  for (const Slot &s : old) {
    if (s.offset == kEmpty) continue;
    size_t i = s.hash & mask_;
    while (slots_[i].offset != kEmpty) i = (i + 1) & mask_;
    slots_[i] = s;
  }
}

void KeyIndex::Grow() { Reserve(used_ + 1); }

void KeyIndex::Erase(uint32_t offset, uint32_t hash) {
  if (slots_.empty()) return;
  size_t i = hash & mask_;
  while (slots_[i].offset != offset) {
    if (slots_[i].offset == kEmpty) return;
    i = (i + 1) & mask_;
  }
  /* Backward-shift deletion: move up every later entry of the run that may sit in the hole. */
  size_t hole = i;
  for (size_t j = (i + 1) & mask_; slots_[j].offset != kEmpty; j = (j + 1) & mask_) {
    size_t home = slots_[j].hash & mask_;
    bool movable = hole <= j ? (home <= hole || home > j) : (home <= hole && home > j);
    if (movable) {
      slots_[hole] = slots_[j];
      hole = j;
    }
  }
  slots_[hole] = Slot{kEmpty, 0, 0};
  used_--;
}

void KeyIndex::Shift(uint32_t from, uint32_t by) {
  for (Slot &s : slots_) {
    if (s.offset != kEmpty && s.offset > from) s.offset -= by;
  }
}

}  // namespace dbm

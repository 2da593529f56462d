/* Record database, internal: the key index behind a typed handle.
 *
 * An open-addressing hash table (linear probing, at most half full) from a record's key to
 * the offset of the record in the image. Keys are compared in their stored, chained form, so
 * a lookup chains the caller's key once and never decodes the image. The table holds the
 * first record of each key; when the image holds a key twice, the index says so (dups) and
 * callers that must see every copy walk the image instead.
 */
#ifndef COMMON_DBM_INDEX_H
#define COMMON_DBM_INDEX_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace dbm {

class KeyIndex {
 public:
  static constexpr uint32_t kEmpty = UINT32_MAX;

  /* Hash of the n stored key bytes at p. */
  static uint32_t Hash(const unsigned char *p, size_t n);

  void Clear();
  /* Makes room for n keys without growing on the way. */
  void Reserve(size_t n);
  /* Offset of the record whose stored key equals the n bytes at sig, or kEmpty.
   * keyOf(offset, sig, n) tells whether the record at offset holds that key. */
  template <typename KeyOf>
  uint32_t Find(const unsigned char *sig, size_t n, uint32_t hash, uint32_t tag, KeyOf keyOf) const;
  /* Adds offset under hash unless an equal key is present (then dups is set). tag (the key
   * length) must be equal as well for two keys to be taken as equal. */
  template <typename KeyOf>
  void Insert(uint32_t offset, const unsigned char *sig, size_t n, uint32_t hash, uint32_t tag,
              KeyOf keyOf);
  /* Removes the entry of offset (found through its hash). */
  void Erase(uint32_t offset, uint32_t hash);
  /* Every offset past from drops by by (a record of by bytes left the image at from). */
  void Shift(uint32_t from, uint32_t by);

  bool dups = false;
  size_t size() const { return used_; }

 private:
  struct Slot {
    uint32_t offset;
    uint32_t hash;
    uint32_t tag;
  };
  void Grow();
  std::vector<Slot> slots_;
  size_t used_ = 0;
  size_t mask_ = 0;
};

template <typename KeyOf>
uint32_t KeyIndex::Find(const unsigned char *sig, size_t n, uint32_t hash, uint32_t tag,
                        KeyOf keyOf) const {
  if (slots_.empty()) return kEmpty;
  for (size_t i = hash & mask_;; i = (i + 1) & mask_) {
    const Slot &s = slots_[i];
    if (s.offset == kEmpty) return kEmpty;
    if (s.hash == hash && s.tag == tag && keyOf(s.offset, sig, n)) return s.offset;
  }
}

template <typename KeyOf>
void KeyIndex::Insert(uint32_t offset, const unsigned char *sig, size_t n, uint32_t hash,
                      uint32_t tag, KeyOf keyOf) {
  if ((used_ + 1) * 2 > slots_.size()) Grow();
  for (size_t i = hash & mask_;; i = (i + 1) & mask_) {
    Slot &s = slots_[i];
    if (s.offset == kEmpty) {
      s = {offset, hash, tag};
      used_++;
      return;
    }
    if (s.hash == hash && s.tag == tag && keyOf(s.offset, sig, n)) {
      dups = true;
      return;
    }
  }
}

}  // namespace dbm

#endif

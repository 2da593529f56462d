#include "MemMgr.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <malloc.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

extern "C" void MemMgrSetZeroDevice(const char *path);
extern "C" void MemMgrSetIndexOff(int off);

namespace {

int Padded(int size) { return (size + 1 + 31) / 32 * 32; }

int CountBlocks() {
  int n = 0;
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) n++;
  return n;
}

// Number of allocations in the chain: ordinary entries and dedicated blocks.
int CountEntries() {
  int n = 0;
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) {
    if (b->size > MEM_BLOCK_SIZE) {
      n++;
      continue;
    }
    for (int i = 0; i < MEM_NODES; i++) n += b->nodes[i].count != 0;
  }
  return n;
}

// True when the page holding p is mapped in this process.
bool IsMapped(const void *p) {
  long page = sysconf(_SC_PAGESIZE);
  void *start = reinterpret_cast<void *>(reinterpret_cast<uintptr_t>(p) & ~(uintptr_t)(page - 1));
  unsigned char vec;
  return mincore(start, page, &vec) == 0 || errno != ENOMEM;
}

// Name of the mapping that holds p, from /proc/self/maps ("" for an anonymous one).
std::string MappingOf(const void *p) {
  FILE *f = fopen("/proc/self/maps", "r");
  if (f == nullptr) return "?";
  char line[512];
  std::string name = "?";
  uintptr_t a = reinterpret_cast<uintptr_t>(p);
  while (fgets(line, sizeof line, f) != nullptr) {
    unsigned long lo, hi;
    int off = 0;
    if (sscanf(line, "%lx-%lx %*s %*s %*s %*s %n", &lo, &hi, &off) < 2) continue;
    if (a >= lo && a < hi) {
      name = line + off;
      while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
      break;
    }
  }
  fclose(f);
  return name;
}

bool AllZero(const void *p, size_t n) {
  const unsigned char *c = static_cast<const unsigned char *>(p);
  for (size_t i = 0; i < n; i++) {
    if (c[i] != 0) return false;
  }
  return true;
}

// Structural invariants of the whole chain. Fills `entries` with the start of every
// allocation found (ordinary entries and dedicated blocks) and its padded size.
void CheckChain(std::map<char *, int> *entries) {
  MemBlock *prev = nullptr;
  int guard = 0;
  for (MemBlock *b = pMemB; b != nullptr; prev = b, b = b->next) {
    ASSERT_LT(++guard, 100000) << "chain loops";
    ASSERT_EQ(b->prev, prev);
    ASSERT_EQ(b->mat[MEM_NODES], '\0');
    ASSERT_NE(b->data, nullptr);
    if (b->size > MEM_BLOCK_SIZE) {
      ASSERT_EQ(b->size % MEM_BLOCK_SIZE, 0);
      ASSERT_EQ(b->freeCount, 0);
      ASSERT_TRUE(TestMAT(b->mat, 'U', MEM_NODES));
      for (int i = 0; i < MEM_NODES; i++) {
        if (b->nodes[i].count != 0) FAIL() << "entry " << i << " in a dedicated block";
      }
      ASSERT_GT(b->used, 0);
      ASSERT_LE(b->used, b->size);
      ASSERT_EQ(entries->count(b->data), 0u);
      (*entries)[b->data] = b->used;
      continue;
    }
    ASSERT_EQ(b->size, MEM_BLOCK_SIZE);
    int blanks = 0;
    for (int i = 0; i < MEM_NODES; i++) {
      if (b->mat[i] != ' ' && b->mat[i] != 'U') FAIL() << "bad MAT character at " << i;
      if (b->mat[i] == ' ') blanks++;
    }
    ASSERT_EQ(b->freeCount, blanks);
    ASSERT_LT(blanks, MEM_NODES) << "an empty block stayed in the chain";
    // Every used node is covered by exactly one entry, every entry by used nodes only.
    int i = 0;
    while (i < MEM_NODES) {
      const MemNode &e = b->nodes[i];
      if (b->mat[i] == ' ') {
        if (e.count != 0 || e.addr != nullptr) FAIL() << "entry at free node " << i;
        i++;
        continue;
      }
      if (e.count == 0) FAIL() << "used node " << i << " not covered";
      if (e.addr != b->data + 32 * i) FAIL() << "entry " << i << " has a wrong address";
      ASSERT_LE(i + e.count, MEM_NODES);
      for (int j = 1; j < e.count; j++) {
        if (b->mat[i + j] != 'U' || b->nodes[i + j].count != 0 || b->nodes[i + j].addr != nullptr)
          FAIL() << "node " << i + j << " inside the allocation at " << i;
      }
      (*entries)[e.addr] = e.count * 32;
      i += e.count;
    }
  }
}

// Where a first-fit GetMem(size) must land: the lowest run of free nodes in the first block
// that has one; null when a new block is needed.
char *FirstFit(int size) {
  int n = Padded(size) / 32;
  std::string run(n, ' ');
  for (MemBlock *b = pMemB; b != nullptr; b = b->next) {
    if (b->size != MEM_BLOCK_SIZE) continue;
    size_t at = std::string(b->mat, MEM_NODES).find(run);
    if (at != std::string::npos) return b->data + 32 * at;
  }
  return nullptr;
}

// Serves GetMem(size) and checks that a small request took the first fit.
char *GetMemFirstFit(int size) {
  char *want = Padded(size) <= MEM_BLOCK_SIZE ? FirstFit(size) : nullptr;
  char *p = static_cast<char *>(GetMem(size));
  if (p != nullptr && Padded(size) <= MEM_BLOCK_SIZE) {
    MemBlock *tail = pMemB;
    while (tail->next != nullptr) tail = tail->next;
    EXPECT_EQ(p, want != nullptr ? want : tail->data) << "not the first fit for " << size;
  }
  return p;
}

// Allocation model: the expected bytes of every live allocation over its padded size.
struct Model {
  std::map<char *, std::vector<unsigned char>> live;

  void Check() {
    std::map<char *, int> entries;
    CheckChain(&entries);
    if (::testing::Test::HasFatalFailure()) return;
    ASSERT_EQ(entries.size(), live.size());
    for (auto &kv : live) {
      auto it = entries.find(kv.first);
      ASSERT_NE(it, entries.end()) << "live allocation lost";
      ASSERT_EQ(static_cast<size_t>(it->second), kv.second.size());
      ASSERT_EQ(memcmp(kv.first, kv.second.data(), kv.second.size()), 0) << "contents changed";
    }
  }
};

void FillPattern(char *p, int size, std::vector<unsigned char> *expect, unsigned seed) {
  for (int j = 0; j < size; j++) {
    unsigned char c = static_cast<unsigned char>(seed + j * 7 + 1);
    p[j] = static_cast<char>(c);
    (*expect)[j] = c;
  }
}

class MemMgrTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(pMemB, nullptr) << "an earlier test left blocks behind"; }
  void TearDown() override { EXPECT_EQ(pMemB, nullptr) << "blocks left behind"; }
};

TEST_F(MemMgrTest, RequestSizesInNodes) {
  EXPECT_EQ(GetMem(0), nullptr);
  EXPECT_EQ(GetMem(-1), nullptr);
  EXPECT_EQ(pMemB, nullptr);

  char *a = static_cast<char *>(GetMem(1));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(pMemB, nullptr);
  MemBlock *b = pMemB;
  EXPECT_EQ(b->size, 65536);
  EXPECT_EQ(b->freeCount, 2047);
  EXPECT_EQ(a, b->data);
  EXPECT_EQ(b->nodes[0].count, 1);

  char *c = static_cast<char *>(GetMem(31));
  EXPECT_EQ(c, b->data + 32);
  EXPECT_EQ(b->nodes[1].count, 1);
  EXPECT_EQ(b->freeCount, 2046);

  char *d = static_cast<char *>(GetMem(32));
  EXPECT_EQ(d, b->data + 64);
  EXPECT_EQ(b->nodes[2].count, 2);
  EXPECT_EQ(b->freeCount, 2044);
  EXPECT_EQ(std::string(b->mat, 5), "UUUU ");
  EXPECT_TRUE(AllZero(d, 64));

  // A request that needs a whole block does not fit in the used one: a second block.
  char *w = static_cast<char *>(GetMem(65535));
  ASSERT_NE(w, nullptr);
  ASSERT_NE(b->next, nullptr);
  EXPECT_EQ(w, b->next->data);
  EXPECT_EQ(b->next->freeCount, 0);
  EXPECT_EQ(b->next->nodes[0].count, 2048);
  EXPECT_EQ(b->next->size, 65536);
  EXPECT_TRUE(AllZero(w, 65536));
  PutMem(w);
  EXPECT_EQ(b->next, nullptr);

  PutMem(a);
  PutMem(c);
  PutMem(d);
}

TEST_F(MemMgrTest, DedicatedBlock) {
  char *p = static_cast<char *>(GetMem(65536));
  ASSERT_NE(p, nullptr);
  MemBlock *b = pMemB;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->size, 131072);
  EXPECT_EQ(b->used, 65568);
  EXPECT_EQ(b->freeCount, 0);
  EXPECT_EQ(b->data, p);
  EXPECT_TRUE(TestMAT(b->mat, 'U', 2048));
  EXPECT_TRUE(AllZero(p, 131072));
  EXPECT_EQ(MappingOf(p), "/dev/zero");

  // A small request after it gets an ordinary block of its own.
  char *s = static_cast<char *>(GetMem(10));
  ASSERT_NE(b->next, nullptr);
  EXPECT_EQ(b->next->data, s);

  // Foreign pointers into the dedicated block release nothing.
  PutMem(p + 32);
  PutMem(p + 131072);
  EXPECT_EQ(pMemB, b);

  memset(p, 'x', 65568);
  // Growth up to exactly the data size stays in place and records the new length.
  EXPECT_EQ(AdjustMem(p, 131071), p);
  EXPECT_EQ(b->used, 131072);
  EXPECT_TRUE(AllZero(p + 65568, 131072 - 65568));
  memset(p, 'y', 131072);
  // Shrinking inside the block zeroes the released tail.
  EXPECT_EQ(AdjustMem(p, 70000), p);
  EXPECT_EQ(b->used, 70016);
  EXPECT_TRUE(AllZero(p + 70016, 131072 - 70016));
  EXPECT_EQ(p[70015], 'y');
  // Growth again only zeroes, it does not bring back old bytes.
  EXPECT_EQ(AdjustMem(p, 100000), p);
  EXPECT_TRUE(AllZero(p + 70016, 131072 - 70016));
  // Shrinking to a small size keeps the dedicated block.
  EXPECT_EQ(AdjustMem(p, 10), p);
  EXPECT_EQ(b->used, 32);
  EXPECT_TRUE(AllZero(p + 32, 131072 - 32));
  EXPECT_EQ(p[31], 'y');

  // Growth past the data size moves to a larger block and releases the old one.
  char *q = static_cast<char *>(AdjustMem(p, 200000));
  ASSERT_NE(q, nullptr);
  EXPECT_NE(q, p);
  EXPECT_FALSE(IsMapped(p));
  MemBlock *qb = FindBlock(q);
  ASSERT_NE(qb, nullptr);
  EXPECT_EQ(qb->size, 262144);
  EXPECT_EQ(qb->used, 200032);
  for (int i = 0; i < 32; i++) ASSERT_EQ(q[i], 'y') << i;
  EXPECT_TRUE(AllZero(q + 32, 262144 - 32));

  PutMem(q);
  EXPECT_FALSE(IsMapped(q));
  PutMem(s);
}

TEST_F(MemMgrTest, ReleaseUnmapsEmptyBlock) {
  char *a = static_cast<char *>(GetMem(100));
  ASSERT_NE(a, nullptr);
  MemBlock *b = pMemB;
  char *data = b->data;
  EXPECT_EQ(MappingOf(data), "/dev/zero");
  EXPECT_EQ(MappingOf(b), "/dev/zero");
  strcpy(a, "garbage");
  PutMem(a);
  EXPECT_EQ(pMemB, nullptr);
  EXPECT_FALSE(IsMapped(data));
  EXPECT_FALSE(IsMapped(b));

  // The next request maps a new block, and its memory is zero.
  char *c = static_cast<char *>(GetMem(100));
  ASSERT_NE(pMemB, nullptr);
  EXPECT_TRUE(AllZero(c, 128));
  PutMem(c);
  EXPECT_EQ(pMemB, nullptr);
}

TEST_F(MemMgrTest, ReusedNodesAreZeroed) {
  char *a = static_cast<char *>(GetMem(60));
  char *keep = static_cast<char *>(GetMem(1));
  memset(a, 0x5a, 64);
  PutMem(a);
  char *b = static_cast<char *>(GetMem(50));
  EXPECT_EQ(b, a);
  EXPECT_TRUE(AllZero(b, 64));
  PutMem(b);
  PutMem(keep);
}

TEST_F(MemMgrTest, GrowthAfterBeforeAndMove) {
  // Downward: the node after is taken, the node before is free.
  char *a = static_cast<char *>(GetMem(1));
  char *b = static_cast<char *>(GetMem(1));
  char *c = static_cast<char *>(GetMem(1));
  MemBlock *blk = pMemB;
  strcpy(b, "second");
  PutMem(a);
  char *b2 = static_cast<char *>(AdjustMem(b, 40));
  EXPECT_EQ(b2, a);
  EXPECT_STREQ(b2, "second");
  EXPECT_TRUE(AllZero(b2 + 32, 32));
  EXPECT_EQ(blk->nodes[0].count, 2);
  EXPECT_EQ(blk->nodes[0].addr, b2);
  EXPECT_EQ(blk->nodes[1].count, 0);
  EXPECT_EQ(blk->nodes[1].addr, nullptr);
  EXPECT_EQ(blk->freeCount, 2045);
  EXPECT_EQ(std::string(blk->mat, 4), "UUU ");

  // Upward is preferred: c has free nodes after it and grows in place.
  memset(c, 'c', 32);
  EXPECT_EQ(AdjustMem(c, 100), c);
  EXPECT_EQ(blk->nodes[2].count, 4);
  EXPECT_EQ(c[31], 'c');
  EXPECT_TRUE(AllZero(c + 32, 96));
  EXPECT_EQ(blk->freeCount, 2042);

  // Neither side free: the allocation moves to the first fit and its nodes are freed.
  char *d = static_cast<char *>(GetMem(1));  // node 6, right after c
  EXPECT_EQ(d, blk->data + 6 * 32);
  strcpy(b2, "moving");
  char *b3 = static_cast<char *>(AdjustMem(b2, 100));
  EXPECT_EQ(b3, blk->data + 7 * 32);
  EXPECT_STREQ(b3, "moving");
  EXPECT_TRUE(AllZero(b3 + 64, 64));
  EXPECT_EQ(std::string(blk->mat, 12), "  UUUUUUUUU ");
  EXPECT_EQ(blk->freeCount, 2048 - 9);

  // Downward growth of a multi-node allocation: the areas overlap, contents must survive.
  char *e = static_cast<char *>(GetMem(1));   // node 0
  char *f = static_cast<char *>(GetMem(40));  // no run of 2 before node 11
  EXPECT_EQ(e, blk->data);
  EXPECT_EQ(f, blk->data + 11 * 32);
  PutMem(e);
  PutMem(c);  // frees nodes 2..5
  PutMem(d);
  char *g = static_cast<char *>(GetMem(1));
  EXPECT_EQ(g, blk->data);                     // first fit: node 0
  char *h = static_cast<char *>(GetMem(300));  // 10 nodes: 13..22 is the first fit
  EXPECT_EQ(h, blk->data + 13 * 32);
  // Now free: 1..6; used: 0 (g), 7..10 (b3), 11..12 (f), 13..22 (h). Put a 3-node allocation
  // at 4..6 and grow it by 1 node: after is b3, node 3 before is free, and the move
  // overlaps two of its own nodes.
  char *m = static_cast<char *>(AdjustMem(nullptr, 90));
  EXPECT_EQ(m, blk->data + 32);  // first fit for 3 nodes is 1..3
  char *n = static_cast<char *>(GetMem(90));
  EXPECT_EQ(n, blk->data + 4 * 32);
  PutMem(m);
  for (int i = 0; i < 96; i++) n[i] = static_cast<char>(i + 1);
  char *n2 = static_cast<char *>(AdjustMem(n, 100));
  EXPECT_EQ(n2, blk->data + 3 * 32);
  for (int i = 0; i < 96; i++) ASSERT_EQ(n2[i], static_cast<char>(i + 1)) << i;
  EXPECT_TRUE(AllZero(n2 + 96, 32));
  EXPECT_EQ(blk->nodes[3].count, 4);
  EXPECT_EQ(blk->nodes[4].count, 0);
  EXPECT_EQ(std::string(blk->mat, 8), "U  UUUUU");
  PutMem(n2);
  PutMem(b3);
  PutMem(f);
  PutMem(g);
  PutMem(h);
}

TEST_F(MemMgrTest, ShrinkZeroesTailAndFreesNodes) {
  char *keep = static_cast<char *>(GetMem(1));
  char *p = static_cast<char *>(GetMem(200));  // 7 nodes at 1..7
  char *after = static_cast<char *>(GetMem(1));
  MemBlock *b = pMemB;
  EXPECT_EQ(b->freeCount, 2048 - 9);
  memset(p, 'p', 224);
  EXPECT_EQ(AdjustMem(p, 40), p);
  EXPECT_EQ(b->nodes[1].count, 2);
  EXPECT_EQ(b->freeCount, 2048 - 4);
  EXPECT_EQ(p[63], 'p');
  EXPECT_TRUE(AllZero(p + 64, 160));
  EXPECT_EQ(std::string(b->mat, 10), "UUU     U ");
  // The freed nodes serve the next request.
  char *q = static_cast<char *>(GetMem(100));
  EXPECT_EQ(q, p + 64);
  // Same node count: nothing changes.
  EXPECT_EQ(AdjustMem(p, 63), p);
  EXPECT_EQ(p[62], 'p');
  PutMem(q);
  PutMem(after);
  PutMem(p);
  PutMem(keep);
}

TEST_F(MemMgrTest, ForeignPointersChangeNothing) {
  char *a = static_cast<char *>(GetMem(100));
  char *b = static_cast<char *>(GetMem(10));
  char *big = static_cast<char *>(GetMem(100000));
  std::vector<MemBlock> before;
  for (MemBlock *k = pMemB; k != nullptr; k = k->next) before.push_back(*k);
  auto same = [](const MemBlock &x, const MemBlock &y) {
    if (x.next != y.next || x.prev != y.prev || x.size != y.size || x.used != y.used ||
        x.freeCount != y.freeCount || x.data != y.data || memcmp(x.mat, y.mat, sizeof x.mat) != 0)
      return false;
    for (int i = 0; i < MEM_NODES; i++) {
      if (x.nodes[i].count != y.nodes[i].count || x.nodes[i].addr != y.nodes[i].addr) return false;
    }
    return true;
  };

  int local = 0;
  char other[8];
  MemBlock *blk = FindBlock(a);
  ASSERT_NE(blk, nullptr);
  PutMem(&local);
  PutMem(other);
  PutMem(nullptr);
  PutMem(a + 1);                 // inside an allocation
  PutMem(a + 32);                // a node inside an allocation
  PutMem(blk->data + 65536);     // the end address of the block
  PutMem(blk->data + 32 * 100);  // a free node
  PutMem(big + 1);
  PutMem(blk);  // the header is not data

  size_t i = 0;
  for (MemBlock *k = pMemB; k != nullptr; k = k->next, i++) {
    ASSERT_LT(i, before.size());
    EXPECT_TRUE(same(*k, before[i])) << "block " << i << " changed";
  }
  EXPECT_EQ(i, before.size());

  // AdjustMem serves an unknown pointer as a new request and leaves it alone.
  char *n = static_cast<char *>(AdjustMem(&local, 10));
  ASSERT_NE(n, nullptr);
  EXPECT_NE(n, reinterpret_cast<char *>(&local));
  EXPECT_EQ(FindBlock(n), blk);
  char *n2 = static_cast<char *>(AdjustMem(a + 32, 10));
  EXPECT_NE(n2, a + 32);
  EXPECT_EQ(blk->nodes[0].count, 4);  // a is intact
  // Size 0 releases; null with size 0 is nothing.
  EXPECT_EQ(AdjustMem(n, 0), nullptr);
  EXPECT_EQ(AdjustMem(n2, 0), nullptr);
  EXPECT_EQ(AdjustMem(nullptr, 0), nullptr);
  EXPECT_EQ(blk->freeCount, 2048 - 5);

  PutMem(a);
  PutMem(b);
  PutMem(big);
}

TEST_F(MemMgrTest, HugeAndNegativeSizes) {
  EXPECT_EQ(GetMem(INT_MAX), nullptr);
  EXPECT_EQ(GetMem(INT_MAX - 31), nullptr);
  EXPECT_EQ(GetMem(INT_MAX - 40), nullptr);  // fits 32 bits, its dedicated block does not
  EXPECT_EQ(AdjustMem(nullptr, INT_MAX), nullptr);
  EXPECT_EQ(pMemB, nullptr);
  char *p = static_cast<char *>(GetMem(10));
  strcpy(p, "kept");
  EXPECT_EQ(AdjustMem(p, INT_MAX), nullptr);
  EXPECT_EQ(AdjustMem(p, -5), nullptr);
  EXPECT_STREQ(p, "kept");
  EXPECT_EQ(pMemB->nodes[0].count, 1);
  EXPECT_EQ(pMemB->next, nullptr);
  PutMem(p);
}

TEST_F(MemMgrTest, ManyBlocksFirstFit) {
  std::vector<char *> ones;
  for (int i = 0; i < 2048; i++) ones.push_back(static_cast<char *>(GetMem(1)));
  MemBlock *first = pMemB;
  EXPECT_EQ(first->freeCount, 0);
  EXPECT_EQ(first->next, nullptr);
  char *x = static_cast<char *>(GetMem(1));
  ASSERT_NE(first->next, nullptr);
  EXPECT_EQ(x, first->next->data);
  EXPECT_EQ(CountBlocks(), 2);
  // A node freed in the first block is found before the second block's nodes.
  PutMem(ones[700]);
  char *y = static_cast<char *>(GetMem(5));
  EXPECT_EQ(y, ones[700]);
  // A two-node request does not fit the first block's single free node.
  PutMem(ones[900]);
  char *z = static_cast<char *>(GetMem(40));
  EXPECT_EQ(z, first->next->data + 32);
  ones[700] = y;
  ones[900] = nullptr;
  // Emptying the first block removes it from the head of the chain.
  for (char *p : ones) PutMem(p);
  EXPECT_EQ(CountBlocks(), 1);
  EXPECT_EQ(pMemB, FindBlock(x));
  EXPECT_EQ(pMemB->prev, nullptr);
  PutMem(x);
  PutMem(z);
}

TEST_F(MemMgrTest, ChainInternals) {
  EXPECT_EQ(TestMAT("   U", ' ', 3), 1);
  EXPECT_EQ(TestMAT("   U", ' ', 4), 0);
  EXPECT_EQ(TestMAT("UU", 'U', 2), 1);
  EXPECT_EQ(TestMAT("x", ' ', 0), 1);

  MemBlock *b1 = GetNewBlock(100);
  MemBlock *b2 = GetNewBlock(65536);
  MemBlock *b3 = GetNewBlock(65537);
  ASSERT_TRUE(b1 && b2 && b3);
  EXPECT_EQ(b1->size, 65536);
  EXPECT_EQ(b3->size, 65537);
  EXPECT_EQ(b1->freeCount, 2048);
  EXPECT_TRUE(TestMAT(b1->mat, ' ', 2048));
  EXPECT_EQ(b1->mat[2048], '\0');
  EXPECT_EQ(pMemB, b1);
  EXPECT_EQ(b1->next, b2);
  EXPECT_EQ(b2->prev, b1);
  EXPECT_EQ(b2->next, b3);
  EXPECT_EQ(b3->prev, b2);
  EXPECT_EQ(b3->next, nullptr);

  EXPECT_EQ(FindBlock(b2->data), b2);
  EXPECT_EQ(FindBlock(b2->data + 65536), b2);
  EXPECT_EQ(FindBlock(b2->data + 100), b2);
  EXPECT_EQ(FindBlock(b2->data - 1), nullptr);
  EXPECT_EQ(FindBlock(b2), nullptr);

  EXPECT_EQ(PopBlock(b2), b2);  // inner block
  EXPECT_EQ(b1->next, b3);
  EXPECT_EQ(b3->prev, b1);
  PushBlock(b2);
  EXPECT_EQ(b3->next, b2);
  EXPECT_EQ(b2->prev, b3);
  EXPECT_EQ(b2->next, nullptr);
  PopBlock(b1);  // head
  EXPECT_EQ(pMemB, b3);
  EXPECT_EQ(b3->prev, nullptr);
  PopBlock(b2);  // tail
  EXPECT_EQ(b3->next, nullptr);
  EXPECT_EQ(FindBlock(b1->data), nullptr);

  char *d3 = b3->data;
  FreeBlock(b3);
  EXPECT_EQ(pMemB, nullptr);
  EXPECT_FALSE(IsMapped(d3));
  FreeBlock(b1);  // already unlinked: only released
  FreeBlock(b2);
  EXPECT_EQ(pMemB, nullptr);

  // One page more than the floor, even for an exact multiple of the page.
  long page = sysconf(_SC_PAGESIZE);
  char *m = static_cast<char *>(MapBlock(static_cast<int>(page)));
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(IsMapped(m + 2 * page - 1));
  EXPECT_TRUE(AllZero(m, 2 * page));
  munmap(m, 2 * page);
  EXPECT_EQ(MapBlock(-1), nullptr);
}

TEST_F(MemMgrTest, HeapFallbackWithoutZeroDevice) {
  MemMgrSetZeroDevice("/nonexistent/zero");
  char *a = static_cast<char *>(GetMem(50));
  char *big = static_cast<char *>(GetMem(70000));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(big, nullptr);
  MemBlock *heapBlock = FindBlock(a);
  EXPECT_NE(MappingOf(heapBlock->data), "/dev/zero");
  EXPECT_GE(malloc_usable_size(heapBlock->data), 65536u);
  EXPECT_GE(malloc_usable_size(heapBlock), sizeof(MemBlock));
  EXPECT_GE(malloc_usable_size(big), 131072u);
  EXPECT_TRUE(AllZero(a, 64));
  EXPECT_TRUE(AllZero(big, 131072));
  memset(a, 'a', 64);

  // The device comes back: new blocks are mapped, old ones still go back to the heap.
  MemMgrSetZeroDevice(nullptr);
  char *big2 = static_cast<char *>(GetMem(70000));
  EXPECT_EQ(MappingOf(big2), "/dev/zero");
  char *b = static_cast<char *>(GetMem(50));
  EXPECT_EQ(FindBlock(b), heapBlock);
  PutMem(big);
  PutMem(a);
  PutMem(big2);
  EXPECT_FALSE(IsMapped(big2));
  PutMem(b);
}

#if !defined(__SANITIZE_ADDRESS__)
TEST_F(MemMgrTest, MappingFailureReportsOutOfMemory) {
  EXPECT_EXIT(
      {
        struct rlimit rl;
        getrlimit(RLIMIT_AS, &rl);
        FILE *f = fopen("/proc/self/statm", "r");
        unsigned long pages = 0;
        if (f == nullptr || fscanf(f, "%lu", &pages) != 1) _exit(3);
        fclose(f);
        rl.rlim_cur = pages * sysconf(_SC_PAGESIZE) + (1 << 20);
        setrlimit(RLIMIT_AS, &rl);
        void *p = GetMem(16 << 20);
        _exit(p == nullptr && pMemB == nullptr ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "ERROR: Unable to allocate memory\n");
  EXPECT_STREQ(OutOfMem, "Unable to allocate memory");
}
#endif

TEST_F(MemMgrTest, DumpFormats) {
  char *a = static_cast<char *>(GetMem(5));
  char *b = static_cast<char *>(GetMem(40));
  char *d = static_cast<char *>(GetMem(70000));
  strcpy(a, "abc");
  strcpy(b, "hello");
  MemBlock *blk = pMemB;
  MemBlock *ded = blk->next;
  ASSERT_NE(ded, nullptr);

  char buf[512];
  std::string want;
  snprintf(buf, sizeof buf,
           "\n============ Block(%li) size(65536) Free(2045) Used(3) FreeNodeCount(2045) "
           "SizeCnt(2045) <==(0) (%li)==>\n\tBlock MAT:",
           (long)blk, (long)ded);
  want += buf;
  want += "\n\tUUU" + std::string(61, '_');
  for (int i = 1; i < 32; i++) want += "\n\t" + std::string(64, '_');
  want += "\n\n\tAllocated Nodes:\n";
  snprintf(buf, sizeof buf,
           "\tMAT index(     0) Memory Addr(%6li) nodes(    1) size(   32) Memory(abc)\n", (long)a);
  want += buf;
  snprintf(buf, sizeof buf,
           "\tMAT index(     1) Memory Addr(%6li) nodes(    2) size(   64) Memory(hello)\n",
           (long)b);
  want += buf;
  want += "\n";
  snprintf(buf, sizeof buf,
           "\n============ Dedicated Block(%li) size(131072) FreeNodeCount(0) <==(%li) (0)==>",
           (long)d, (long)blk);
  want += buf;

  ::testing::internal::CaptureStdout();
  DumpMem();
  fflush(stdout);
  std::string got = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(got, want);

  // An allocation filled to its last byte is printed no further than its nodes.
  memset(a, 'z', 32);
  ::testing::internal::CaptureStdout();
  DumpMem();
  fflush(stdout);
  got = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(got.find("Memory(" + std::string(32, 'z') + ")\n"), std::string::npos);

  PutMem(a);
  PutMem(b);
  PutMem(d);
}

// Long random sequences of GetMem/AdjustMem/PutMem checked against a model after every step.
void RunRandom(unsigned seed, int steps) {
  std::mt19937 rng(seed);
  Model model;
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto randomSize = [&]() {
    int r = pick(0, 999);
    if (r < 700) return pick(1, 300);
    if (r < 960) return pick(300, 6000);
    if (r < 985) return pick(60000, 66000);  // around the dedicated threshold
    return pick(66000, 200000);
  };
  int dedicatedLive = 0;
  auto countDedicated = [&]() {
    int n = 0;
    for (MemBlock *b = pMemB; b != nullptr; b = b->next) n += b->size > MEM_BLOCK_SIZE;
    return n;
  };
  int target = 100;
  for (int step = 0; step < steps; step++) {
    if (step % 500 == 0) target = pick(0, 250);
    int op = pick(0, 99);
    bool grow = static_cast<int>(model.live.size()) < target;
    if (model.live.empty() || (grow && op < 45) || (!grow && op < 15)) {
      int size = randomSize();
      if (size > 65000 && dedicatedLive >= 3) size = pick(1, 100);
      char *p =
          static_cast<char *>(pick(0, 9) == 0 ? AdjustMem(nullptr, size) : GetMemFirstFit(size));
      ASSERT_NE(p, nullptr);
      ASSERT_EQ(model.live.count(p), 0u) << "address handed out twice";
      ASSERT_TRUE(AllZero(p, Padded(size))) << "fresh memory not zero, step " << step;
      std::vector<unsigned char> expect(Padded(size), 0);
      FillPattern(p, size, &expect, seed + step);
      model.live[p] = std::move(expect);
    } else {
      auto it = model.live.begin();
      std::advance(it, pick(0, static_cast<int>(model.live.size()) - 1));
      char *p = it->first;
      if (op < 70) {
        int size = randomSize();
        if (size > 65000 && dedicatedLive >= 3) size = pick(1, 100);
        if (pick(0, 3) == 0) {
          int old = static_cast<int>(it->second.size()) - 1;  // near the current size
          size = std::max(1, old + pick(-70, 70));
        }
        std::vector<unsigned char> expect = std::move(it->second);
        model.live.erase(it);
        size_t oldLen = expect.size();
        char *q = static_cast<char *>(AdjustMem(p, size));
        ASSERT_NE(q, nullptr);
        ASSERT_EQ(model.live.count(q), 0u) << "moved onto a live allocation";
        expect.resize(Padded(size), 0);
        ASSERT_EQ(memcmp(q, expect.data(), expect.size()), 0)
            << "contents or zero fill wrong after AdjustMem " << oldLen << " -> " << size
            << " step " << step;
        if (q == p && expect.size() < oldLen) {
          ASSERT_TRUE(AllZero(q + expect.size(), oldLen - expect.size())) << "tail not zeroed";
        }
        FillPattern(q, size, &expect, seed * 31 + step);
        model.live[q] = std::move(expect);
      } else {
        model.live.erase(it);
        if (op < 85) {
          PutMem(p);
        } else {
          ASSERT_EQ(AdjustMem(p, 0), nullptr);
        }
      }
    }
    model.Check();
    if (::testing::Test::HasFatalFailure()) {
      ADD_FAILURE() << "seed " << seed << " step " << step;
      return;
    }
    dedicatedLive = countDedicated();
  }
  while (!model.live.empty()) {
    PutMem(model.live.begin()->first);
    model.live.erase(model.live.begin());
    model.Check();
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_EQ(pMemB, nullptr);
}

TEST_F(MemMgrTest, RandomSequencesKeepInvariants) {
  for (unsigned seed : {1u, 7u, 2024u, 99991u}) {
    RunRandom(seed, 6000);
    if (HasFatalFailure() || HasFailure()) return;
  }
}

// Many small allocations with frequent resizes: exercises fragmentation and the in-place paths.
TEST_F(MemMgrTest, RandomSmallResizes) {
  std::mt19937 rng(12345);
  Model model;
  for (int step = 0; step < 20000; step++) {
    int op = std::uniform_int_distribution<int>(0, 9)(rng);
    int size = std::uniform_int_distribution<int>(1, 250)(rng);
    if (model.live.size() < 400 && (op < 4 || model.live.empty())) {
      char *p = GetMemFirstFit(size);
      ASSERT_NE(p, nullptr);
      ASSERT_TRUE(AllZero(p, Padded(size)));
      std::vector<unsigned char> expect(Padded(size), 0);
      FillPattern(p, size, &expect, step);
      model.live[p] = std::move(expect);
    } else {
      auto it = model.live.begin();
      std::advance(it, std::uniform_int_distribution<int>(0, model.live.size() - 1)(rng));
      char *p = it->first;
      std::vector<unsigned char> expect = std::move(it->second);
      model.live.erase(it);
      if (op < 8) {
        char *q = static_cast<char *>(AdjustMem(p, size));
        ASSERT_NE(q, nullptr);
        expect.resize(Padded(size), 0);
        ASSERT_EQ(memcmp(q, expect.data(), expect.size()), 0) << "step " << step;
        FillPattern(q, size, &expect, step * 3);
        model.live[q] = std::move(expect);
      } else {
        PutMem(p);
      }
    }
    model.Check();
    ASSERT_FALSE(HasFatalFailure()) << "step " << step;
  }
  for (auto &kv : model.live) PutMem(kv.first);
}

// Churn over many blocks, a dedicated one among them: every small request must take the
// first fit, every block must be found by its data and end addresses and by nothing else.
// With toggle, the search switches between the block index and the plain chain walk.
void ManyBlockChurn(unsigned seed, int steps, bool toggle) {
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Model model;
  std::vector<char *> order;
  auto add = [&](int size) {
    char *p = GetMemFirstFit(size);
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(AllZero(p, Padded(size)));
    std::vector<unsigned char> expect(Padded(size), 0);
    FillPattern(p, size, &expect, seed + size);
    model.live[p] = std::move(expect);
    order.push_back(p);
  };
  for (int j = 0; j < 3000 && !::testing::Test::HasFatalFailure(); j++) {
    add(j == 1500 ? 70000 : pick(1, 200));  // about eight blocks, a dedicated one inside
  }
  for (int step = 0; step < steps && !::testing::Test::HasFatalFailure(); step++) {
    if (toggle && step % 400 == 0) MemMgrSetIndexOff(step % 800 == 0);
    size_t k = static_cast<size_t>(pick(0, static_cast<int>(order.size()) - 1));
    char *p = order[k];
    order[k] = order.back();
    order.pop_back();
    if (model.live[p].size() > 64) {
      PutMem(p + 32);  // inside an allocation: ignored
      EXPECT_EQ(model.live.size(), static_cast<size_t>(CountEntries()));
    }
    PutMem(p);
    model.live.erase(p);
    int r = pick(0, 99);
    add(r < 80 ? pick(1, 200) : r < 98 ? pick(200, 4000) : pick(4000, 30000));
    if (pick(0, 1) == 0 && order.size() > 100) {
      char *q = order.back();  // a second release now and then, so the blocks thin out
      order.pop_back();
      PutMem(q);
      model.live.erase(q);
    }
    if (step % 50 == 0) {
      model.Check();
      for (MemBlock *b = pMemB; b != nullptr; b = b->next) {
        ASSERT_EQ(FindBlock(b->data), b);
        ASSERT_EQ(FindBlock(b->data + b->size), b);
        ASSERT_EQ(FindBlock(b->data + b->size / 2 + 1), b);
        ASSERT_EQ(FindBlock(b->data - 1), nullptr);
        ASSERT_EQ(FindBlock(b->data + b->size + 1), nullptr);
      }
    }
  }
  MemMgrSetIndexOff(0);
  for (char *p : order) PutMem(p);
  EXPECT_EQ(pMemB, nullptr);
}

TEST_F(MemMgrTest, ManyBlocksIndexedAndWalked) {
  ManyBlockChurn(3, 1500, false);
  MemMgrSetIndexOff(1);
  ManyBlockChurn(4, 600, false);
  ManyBlockChurn(5, 1600, true);
}

}  // namespace

/* The memory manager's documented cases: request sizes, dedicated blocks, release, growth
 * and shrink, foreign pointers, internals, heap fallback, out of memory, dump formats. */
#include "MemMgr_check_test.h"

namespace {

using namespace memtest;

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

// A block's data area is mapped right below its header and both go back in one call, the
// pages around them staying; when that place is taken, the data goes elsewhere and both still
// go back, nothing else with them.
TEST_F(MemMgrTest, BlockRegionsGoBackTogetherOrApart) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t dataLen = (65536 / page + 1) * page;
  const size_t headerLen = (memmgr::kHeaderSize / page + 1) * page;
  auto mapAt = [&](char *at) {
    void *m = mmap(at, page, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    return m == at ? static_cast<char *>(m) : nullptr;
  };
  // Where the next header goes with room below it: smaller holes are filled meanwhile.
  std::vector<char *> fillers;
  auto nextHeader = [&]() {
    for (;;) {
      char *p = static_cast<char *>(
          mmap(nullptr, headerLen, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
      bool room = true;
      for (size_t off = page; off <= dataLen + page; off += page) room = room && !IsMapped(p - off);
      if (room) return munmap(p, headerLen), p;
      fillers.push_back(p);
    }
  };
  for (bool apart : {false, true}) {
    char *spot = nextHeader();
    // Pages of ours below where the data goes (or would go) and above the header.
    char *sides[2] = {spot - dataLen - (apart ? 0 : page), spot + headerLen};
    char *own[2] = {mapAt(sides[0]), mapAt(sides[1])};
    ASSERT_NE(own[0], nullptr);
    strcpy(own[0], "keep");
    char *a = static_cast<char *>(GetMem(100));
    char *header = reinterpret_cast<char *>(pMemB), *data = pMemB->data;
    EXPECT_EQ(header, spot);
    EXPECT_EQ(data + dataLen == header, !apart);
    PutMem(a);
    EXPECT_FALSE(IsMapped(data) || IsMapped(header) || IsMapped(header + headerLen - 1));
    EXPECT_TRUE(IsMapped(sides[0]) && IsMapped(sides[1])) << apart;
    EXPECT_STREQ(own[0], "keep");
    for (char *o : own)
      if (o != nullptr) munmap(o, page);
  }
  for (char *f : fillers) munmap(f, headerLen);
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

}  // namespace

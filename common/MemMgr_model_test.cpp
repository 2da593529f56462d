/* Long random sequences of GetMem/AdjustMem/PutMem checked against a model after every step:
 * the block invariants, zero fill, contents across moves and exact first fit. */
#include "MemMgr_check_test.h"

namespace {

using namespace memtest;

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

// Blocks that come and go at the tail, so that their places in the index run through many
// groups of a three-level tree, and past its last place (a rebuild). Most blocks are one
// allocation shrunk to leave a free tail of 0 to 20 nodes, so the longest runs, and the
// maxima above them in the tree, keep changing; some keep most of their nodes free, far
// from the first block, for requests of more than 64 nodes. Every request is checked
// against the plain first-fit search.
TEST_F(MemMgrTest, FirstFitOverADeepIndex) {
  MemMgrSetIndexRoom(2048);
  std::mt19937 rng(77);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Model model;
  std::deque<char *> whole;
  std::vector<char *> small;
  auto add = [&](char *p, int size) {
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(AllZero(p, Padded(size)));
    std::vector<unsigned char> expect(Padded(size), 0);
    FillPattern(p, size, &expect, static_cast<unsigned>(size));
    model.live[p] = std::move(expect);
  };
  auto drop = [&](char *p) {
    PutMem(p);
    model.live.erase(p);
  };
  for (int round = 0; round < 2200 && !HasFatalFailure(); round++) {
    char *w = GetMemFirstFit(65535);  // always a new block, at the tail
    add(w, 65535);
    // A free tail of 0 to 20 nodes; now and then most of the block, for the long requests.
    int size = round % 7 == 3 ? 2000 : 65535 - 32 * pick(0, 20);
    ASSERT_EQ(AdjustMem(w, size), w);
    model.live[w].resize(Padded(size));
    whole.push_back(w);
    if (whole.size() > 8) {  // the oldest leaves a hole in the places, not at their end
      drop(whole.front());
      whole.pop_front();
    }
    for (int j = 0; j < 6; j++) {
      int r = pick(0, 99);
      int s = r < 3 ? pick(48000, 60000) : r < 12 ? pick(2100, 5000) : pick(1, 200);
      char *p = GetMemFirstFit(s);
      add(p, s);
      small.push_back(p);
    }
    while (small.size() > 40) {
      size_t k = static_cast<size_t>(pick(0, static_cast<int>(small.size()) - 1));
      drop(small[k]);
      small[k] = small.back();
      small.pop_back();
    }
    if (round == 1000) MemMgrSetIndexRoom(2048);  // built again around the blocks there are
    if (round % 5 == 0) model.Check();
  }
  model.Check();
  for (char *p : whole) drop(p);
  for (char *p : small) drop(p);
  MemMgrSetIndexRoom(0);
  EXPECT_EQ(pMemB, nullptr);
}

}  // namespace

namespace {

// Allocations laid side by side from node 0 of one block (first fit in an empty block),
// then released one by one in a given order. After every release the MAT must read exactly
// as the live allocations say, neighbours untouched: a release finds its length from the
// node that starts the next allocation, a free node or the block's end, and the MAT bytes
// around the freed run are rewritten. The released sizes are then asked for again and must
// take the first fit, and releasing everything must return the block.
struct Layout {
  std::vector<int> nodes;  // allocation lengths in nodes, side by side from node 0
  std::vector<int> order;  // release order (indexes into nodes); the last one stays
};

TEST_F(MemMgrTest, SideBySideReleasesInManyOrders) {
  const Layout layouts[] = {
      {{1, 1, 1, 1}, {1, 3, 0, 2}},
      {{63, 2, 63}, {1, 0, 2}},            // the middle one crosses a word boundary
      {{64, 64, 1}, {0, 2, 1}},            // whole words
      {{100, 1, 27, 9}, {2, 1, 3, 0}},     // long, and longer than eight nodes
      {{7, 8, 9, 1, 2}, {4, 0, 2, 3, 1}},  // around the eight-node short path
      {{2040, 3, 5}, {2, 1, 0}},           // the last ones end at the block's end
      {{2041, 7}, {1, 0}},
      {{60, 3, 1, 2, 1}, {1, 3, 2, 4, 0}},  // runs joining across a word boundary
  };
  for (const Layout &l : layouts) {
    SCOPED_TRACE(::testing::PrintToString(l.nodes));
    std::map<char *, int> live;  // start -> nodes
    std::vector<char *> ptrs;
    for (int n : l.nodes) {
      ptrs.push_back(GetMemFirstFit(32 * n - 1));
      live[ptrs.back()] = n;
    }
    MemBlock *b = pMemB;
    ASSERT_NE(b, nullptr);
    auto expectMat = [&]() {
      std::string mat(MEM_NODES, ' ');
      for (auto &kv : live) mat.replace((kv.first - b->data) / 32, kv.second, kv.second, 'U');
      ASSERT_EQ(std::string(b->mat, MEM_NODES + 1), mat + '\0');
      ASSERT_EQ(MemMgrCheckAids(), 0);
    };
    for (size_t step = 0; step + 1 < l.order.size(); step++) {
      int j = l.order[step];
      // A pointer one node inside a longer allocation is no allocation: ignored.
      if (l.nodes[j] > 1) PutMem(ptrs[j] + 32);
      PutMem(ptrs[j]);
      live.erase(ptrs[j]);
      ASSERT_NO_FATAL_FAILURE(expectMat());
    }
    for (size_t step = 0; step + 1 < l.order.size(); step++) {
      int n = l.nodes[l.order[step]];
      char *p = GetMemFirstFit(32 * n - 1);
      ASSERT_EQ(pMemB, b);
      live[p] = n;
      ASSERT_NO_FATAL_FAILURE(expectMat());
    }
    for (auto &kv : live) PutMem(kv.first);
    ASSERT_EQ(pMemB, nullptr) << "a release freed too few nodes";
  }
}

}  // namespace

/* The linked list: bookkeeping with its invariants checked after every step, insertion side
 * and walks, moving nodes between lists, cursor safety, copy and dump. Each test ends with
 * every allocation given back, so the memory manager holds no block. */
#include "List.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <string.h>

#include <string>

#include "MemMgr.h"

namespace {

// Both directions reach count nodes, links are mirrored, total is the sum of the sizes and
// the cursor is null or one of the nodes.
void Check(const List *l) {
  int fwd = 0, back = 0;
  int32_t total = 0;
  bool cursorOk = l->cursor == nullptr;
  for (const ListNode *n = l->first; n && fwd <= l->count; n = n->next, fwd++) {
    total += n->size;
    cursorOk |= n == l->cursor;
    EXPECT_TRUE(n->next == nullptr || n->next->prev == n);
  }
  for (const ListNode *n = l->last; n && back <= l->count; n = n->prev) back++;
  EXPECT_EQ(fwd, l->count);
  EXPECT_EQ(back, l->count);
  EXPECT_EQ(total, l->total);
  EXPECT_TRUE(cursorOk);
  EXPECT_TRUE(l->first == nullptr || l->first->prev == nullptr);
  EXPECT_TRUE(l->last == nullptr || l->last->next == nullptr);
  EXPECT_EQ(l->first == nullptr, l->count == 0);
}

// The first characters of the items, walking forward or backward.
std::string Walk(List *l, bool backward = false) {
  std::string s;
  auto step = backward ? ListWalkBackward : ListWalk;
  for (void *p = step(l, 0); p != nullptr; p = step(l, 1)) s += *static_cast<char *>(p);
  return s;
}

List *Make(const char *chars, char front = 0) {
  List *l = ListCreate();
  l->insertFront = front;
  for (const char *c = chars; *c; c++) ListPushItem(l, c, 1);
  return l;
}

class ListTest : public ::testing::Test {
  void TearDown() override { EXPECT_EQ(pMemB, nullptr) << "memory left in the manager"; }
};

TEST_F(ListTest, PushPopAndFind) {
  List *l = ListCreate();
  char *a = static_cast<char *>(ListPushItem(l, nullptr, 10));
  char *b = static_cast<char *>(ListPushItem(l, "twenty bytes .......", 20));
  char *c = static_cast<char *>(ListPushItem(l, nullptr, 30));
  EXPECT_EQ(std::string(a, 10), std::string(10, '\0'));
  EXPECT_STREQ(b, "twenty bytes .......");
  // Refused: null list, size 0, negative size, an item the manager cannot give.
  EXPECT_EQ(ListPushItem(nullptr, "x", 1), nullptr);
  for (int size : {0, -5, INT_MAX}) EXPECT_EQ(ListPushItem(l, nullptr, size), nullptr);
  Check(l);
  EXPECT_EQ(l->count, 3);
  EXPECT_EQ(l->total, 60);
  void *nth[] = {nullptr, a, b, c, nullptr};
  for (int n = 0; n <= 4; n++) EXPECT_EQ(ListFindItemN(l, n), nth[n]) << n;
  EXPECT_EQ(ListGetItemPos(l, c), 3);
  EXPECT_EQ(ListGetItemPos(l, a + 1), 0);

  EXPECT_EQ(ListPopItem(l, b, 0), b);  // the middle one, now the caller's
  Check(l);
  EXPECT_EQ(l->total, 40);
  EXPECT_EQ(ListPopItem(l, b, 0), nullptr);
  PutMem(b);
  EXPECT_EQ(ListPopItem(l, nullptr, 0x100), a);  // null: the first; the flag's low byte is 0
  PutMem(a);
  ListPushItem(l, "z", 1);
  EXPECT_EQ(ListPopLastItem(l, 1), nullptr);
  EXPECT_EQ(ListPopFirstItem(l, 0), c);
  PutMem(c);
  Check(l);
  EXPECT_EQ(ListPopFirstItem(l, 0), nullptr);

  EXPECT_EQ(ListDel(l), nullptr);
}

TEST_F(ListTest, InsertionSideAndWalks) {
  List *l = Make("");
  EXPECT_EQ(Walk(l) + Walk(l, true), "");
  ListDel(l);
  for (char front : {0, 1}) {
    l = Make("abc", front);
    Check(l);
    EXPECT_EQ(Walk(l), front ? "cba" : "abc");
    EXPECT_EQ(ListWalk(l, 1), nullptr);  // continuing after the end
    EXPECT_EQ(Walk(l, true), front ? "abc" : "cba");
    EXPECT_EQ(ListWalkBackward(l, 1), nullptr);
    ListDel(l);
  }
}

TEST_F(ListTest, MovedNodeBelongsOnlyToItsNewList) {
  for (char front : {0, 1}) {
    List *a = Make("abc"), *b = Make(front ? "yx" : "xy", front);
    void *mid = ListFindItemN(a, 2);
    EXPECT_EQ(ListMoveItem(mid, a, b), mid);
    Check(a);
    Check(b);
    EXPECT_EQ(Walk(a) + Walk(a, true), "acca");
    EXPECT_EQ(Walk(b) + Walk(b, true), front ? "bxyyxb" : "xybbyx");
    EXPECT_EQ(b->total, 3);
    // Refusals: null lists or item, an empty from, an item that is not in from.
    EXPECT_EQ(ListMoveItem(mid, nullptr, b), nullptr);
    EXPECT_EQ(ListMoveItem(mid, b, nullptr), nullptr);
    EXPECT_EQ(ListMoveItem(nullptr, b, a), nullptr);
    EXPECT_EQ(ListMoveItem(mid, a, b), nullptr);
    ListDelAllItems(a);
    EXPECT_EQ(ListMoveItem(mid, a, b), nullptr);
    ListDel(a);
    ListDel(b);
  }
}

TEST_F(ListTest, CursorNeverPointsAtAReleasedNode) {
  List *l = Make("abcd");
  ListPopItem(l, ListWalk(l, 0), 1);  // the item just returned: the walk goes on
  EXPECT_EQ(*static_cast<char *>(ListWalk(l, 1)), 'b');
  ListPopItem(l, ListFindItemN(l, 2), 1);  // the cursor's node (c): the walk ends
  Check(l);
  EXPECT_EQ(ListWalk(l, 1), nullptr);
  ListWalkBackward(l, 0);  // d; the cursor is on b
  ListNode *n = ListPopLink(l, nullptr);
  PutMem(n->item);
  PutMem(n);
  Check(l);
  EXPECT_EQ(ListWalkBackward(l, 1), nullptr);
  ListPushItem(l, "e", 1);
  ListWalk(l, 0);  // d; the cursor is on e
  ListDelAllItems(l);
  Check(l);
  EXPECT_EQ(ListWalk(l, 1), nullptr);
  ListDel(l);
}

TEST_F(ListTest, CopyAndDump) {
  List *l = ListCreate();
  int32_t words[] = {7, -1};
  ListPushItem(l, &words[0], 4);
  ListPushItem(l, &words[1], 4);
  ListPushItem(l, "\x09", 1);  // the bytes it lacks read as 0
  List *to = Make("q");
  EXPECT_EQ(ListCopy(l, to), to);
  Check(to);
  EXPECT_EQ(to->total, l->total + 1);
  for (ListNode *a = l->first, *b = to->first->next; a; a = a->next, b = b->next) {
    EXPECT_NE(a->item, b->item);
    EXPECT_EQ(a->size, b->size);
    EXPECT_EQ(memcmp(a->item, b->item, a->size), 0);
  }
  // Onto itself: the list doubles and the copy ends; a walk in progress keeps its place.
  ListWalk(to, 0);
  ListNode *cursor = to->cursor;
  EXPECT_EQ(ListCopy(to, to), to);
  Check(to);
  EXPECT_EQ(to->count, 8);
  EXPECT_EQ(to->cursor, cursor);
  EXPECT_EQ(ListCopy(nullptr, to), nullptr);

  testing::internal::CaptureStdout();
  ListDump(l);
  bool little = *reinterpret_cast<unsigned char *>(&words[0]) == 7;
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            std::string("  1) 7\n  2) -1\n  3) ") + (little ? "9\n" : "150994944\n"));
  ListDel(l);
  ListDel(to);
}

}  // namespace

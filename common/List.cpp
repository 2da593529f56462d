/* Doubly linked list of managed items. */
#include "List.h"

#include <stdio.h>
#include <string.h>

#include "MemMgr.h"

namespace {

// The total wraps instead of overflowing (the sum of sizes of many large items may pass
// INT32_MAX); adding and later subtracting the same size still gives the exact value back.
int32_t AddSize(int32_t total, int32_t size) {
  return static_cast<int32_t>(static_cast<uint32_t>(total) + static_cast<uint32_t>(size));
}
int32_t SubSize(int32_t total, int32_t size) {
  return static_cast<int32_t>(static_cast<uint32_t>(total) - static_cast<uint32_t>(size));
}

// The first node of list holding item, or null.
ListNode *FindNode(List *list, const void *item) {
  for (ListNode *n = list->first; n != nullptr; n = n->next) {
    if (n->item == item) return n;
  }
  return nullptr;
}

// Unlinks node and releases it; returns its item, or null after releasing that too.
void *PopNode(List *list, ListNode *node, int release) {
  if (node == nullptr) return nullptr;
  ListPopLink(list, node);
  void *item = node->item;
  PutMem(node);
  if (release & 0xff) {
    PutMem(item);
    return nullptr;
  }
  return item;
}

}  // namespace

List *ListCreate(void) { return static_cast<List *>(GetMem(sizeof(List))); }

void *ListPushItem(List *list, const void *src, int size) {
  if (list == nullptr || size < 1) return nullptr;
  ListNode *node = static_cast<ListNode *>(GetMem(sizeof(ListNode)));
  if (node == nullptr) return nullptr;
  void *item = GetMem(size);
  if (item == nullptr) {
    PutMem(node);
    return nullptr;
  }
  if (src != nullptr) memcpy(item, src, static_cast<size_t>(size));
  node->item = item;
  node->size = size;
  ListPushLink(list, node);
  return item;
}

ListNode *ListPushLink(List *list, ListNode *node) {
  if (list == nullptr || node == nullptr) return nullptr;
  // A node moved from another list still carries that list's pointers: both are set here.
  if (list->count == 0 || list->first == nullptr || list->last == nullptr) {
    node->prev = node->next = nullptr;
    list->first = list->last = node;
    list->count = 1;
  } else if (list->insertFront) {
    node->prev = nullptr;
    node->next = list->first;
    list->first->prev = node;
    list->first = node;
    list->count++;
  } else {
    node->next = nullptr;
    node->prev = list->last;
    list->last->next = node;
    list->last = node;
    list->count++;
  }
  list->total = AddSize(list->total, node->size);
  return node;
}

ListNode *ListPopLink(List *list, ListNode *node) {
  if (list == nullptr || list->count == 0 || list->first == nullptr) return nullptr;
  if (node == nullptr) node = list->first;
  list->count--;
  list->total = SubSize(list->total, node->size);
  if (list->count == 0) {
    list->first = list->last = nullptr;
  } else if (node == list->first) {
    list->first = node->next;
    list->first->prev = nullptr;
  } else if (node == list->last) {
    list->last = node->prev;
    list->last->next = nullptr;
  } else {
    node->prev->next = node->next;
    node->next->prev = node->prev;
  }
  // The cursor holds no direction, so it cannot move to a neighbour: the walk ends here.
  if (list->cursor == node) list->cursor = nullptr;
  return node;
}

void *ListPopItem(List *list, void *item, int release) {
  if (list == nullptr || list->count == 0) return nullptr;
  return PopNode(list, item == nullptr ? list->first : FindNode(list, item), release);
}

void *ListPopFirstItem(List *list, int release) {
  if (list == nullptr || list->count == 0) return nullptr;
  return PopNode(list, list->first, release);
}

void *ListPopLastItem(List *list, int release) {
  if (list == nullptr || list->count == 0) return nullptr;
  return PopNode(list, list->last, release);
}

void *ListFindItemN(List *list, int n) {
  if (list == nullptr || n < 1 || n > list->count) return nullptr;
  ListNode *node = list->first;
  while (node != nullptr && --n > 0) node = node->next;
  return node != nullptr ? node->item : nullptr;
}

int ListGetItemPos(List *list, const void *item) {
  if (list == nullptr || item == nullptr) return 0;
  int pos = 1;
  for (ListNode *n = list->first; n != nullptr; n = n->next, pos++) {
    if (n->item == item) return pos;
  }
  return 0;
}

void *ListMoveItem(void *item, List *from, List *to) {
  if (item == nullptr || from == nullptr || to == nullptr || from->count == 0) return nullptr;
  ListNode *node = FindNode(from, item);
  if (node == nullptr) return nullptr;
  ListPopLink(from, node);
  ListPushLink(to, node);
  return item;
}

List *ListCopy(List *from, List *to) {
  if (from == nullptr || to == nullptr) return nullptr;
  // Only the nodes present now: copying a list onto itself must end. The walk uses node
  // pointers, so a walk in progress on from keeps its cursor.
  ListNode *stop = from->last;
  for (ListNode *n = from->first; n != nullptr; n = n->next) {
    if (n->size > 0 && ListPushItem(to, n->item, n->size) == nullptr) return nullptr;
    if (n == stop) break;
  }
  return to;
}

List *ListDel(List *list) {
  if (list == nullptr) return nullptr;
  ListDelAllItems(list);
  PutMem(list);
  return nullptr;
}

List *ListDelAllItems(List *list) {
  if (list == nullptr) return nullptr;
  ListNode *n = list->first;
  while (n != nullptr) {
    ListNode *next = n->next;
    PutMem(n->item);
    PutMem(n);
    n = next;
  }
  list->first = list->last = list->cursor = nullptr;
  list->count = 0;
  list->total = 0;
  return list;
}

void *ListWalk(List *list, int cont) {
  if (list == nullptr) return nullptr;
  if (cont == 0) list->cursor = list->first;
  ListNode *n = list->cursor;
  if (n == nullptr) return nullptr;
  list->cursor = n->next;
  return n->item;
}

void *ListWalkBackward(List *list, int cont) {
  if (list == nullptr) return nullptr;
  if (cont == 0) list->cursor = list->last;
  ListNode *n = list->cursor;
  if (n == nullptr) return nullptr;
  list->cursor = n->prev;
  return n->item;
}

void ListDump(List *list) {
  if (list == nullptr) return;
  int i = 1;
  for (ListNode *n = list->first; n != nullptr; n = n->next, i++) {
    int32_t word = 0;
    if (n->item != nullptr && n->size > 0) {
      memcpy(&word, n->item, n->size < 4 ? static_cast<size_t>(n->size) : sizeof word);
    }
    printf("%3i) %li\n", i, static_cast<long>(word));
  }
}

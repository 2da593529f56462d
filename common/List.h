/* Doubly linked list of items.
 *
 * Every node and every item is a block of managed memory (GetMem/PutMem); items pushed with
 * ListPushItem belong to the list until popped without the release flag. The header keeps a
 * count, the total of the item sizes and one walking cursor, so one walk at a time per list.
 * A header may also be embedded, zero-filled, in another record: such a header is emptied
 * with ListDelAllItems, never given to ListDel (which releases the header itself).
 *
 * Single-threaded: nothing is guarded.
 */
#ifndef COMMON_LIST_H
#define COMMON_LIST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ListNode {
  struct ListNode *prev; /* null at the first node */
  struct ListNode *next; /* null at the last node */
  void *item;            /* the item's managed memory */
  int32_t size;          /* item size in bytes, as pushed */
} ListNode;

typedef struct List {
  ListNode *first;  /* null when empty */
  ListNode *last;   /* null when empty */
  ListNode *cursor; /* next node to visit by ListWalk/ListWalkBackward; null ends the walk */
  int32_t count;    /* nodes in the list */
  int32_t total;    /* sum of the item sizes of the nodes in the list */
  char insertFront; /* 0: new nodes go at the end; non-zero: at the front */
} List;

/* A new zero-filled header, or null when memory runs out. */
List *ListCreate(void);
/* Links a new item of size bytes (a copy of src, zero-filled when src is null); returns the
 * item, or null (nothing changed) for a null list, size < 1 or when memory runs out. */
void *ListPushItem(List *list, const void *src, int size);
/* Links node (its prev/next are set here) at the insertion side; returns node, null if none. */
ListNode *ListPushLink(List *list, ListNode *node);
/* Unlinks node, or the first node when node is null, without releasing it; returns the node
 * unlinked, null for a null or empty list. node must be in list (the caller's duty). Its own
 * prev/next are left as they were; a cursor on it is cleared, which ends the walk. */
ListNode *ListPopLink(List *list, ListNode *node);
/* Unlinks and releases the first node holding item (the first node when item is null). With
 * (release & 0xff) the item is released too and null returned; otherwise returns the item,
 * now the caller's. Null when the list is null or empty or the item is not in it. */
void *ListPopItem(List *list, void *item, int release);
/* ListPopItem on the first node. */
void *ListPopFirstItem(List *list, int release);
/* ListPopItem on the last node. */
void *ListPopLastItem(List *list, int release);
/* The item of the n-th node (1-based); null when n < 1 or n > count. */
void *ListFindItemN(List *list, int n);
/* 1-based position of the first node holding item; 0 when absent or item is null. */
int ListGetItemPos(List *list, const void *item);
/* Moves the first node of from holding item to to (the same node, by ListPushLink); returns
 * item, or null when nothing moved (a null list or item, or item not in from). */
void *ListMoveItem(void *item, List *from, List *to);
/* Pushes a copy of every item of from, in order, onto to (from may be to: only the nodes
 * present at the start are copied). Items of size 0 are skipped. Returns to, or null when
 * either list is null or memory runs out (the copies made so far stay in to). */
List *ListCopy(List *from, List *to);
/* Releases every node and item, then the header (ListCreate headers only); returns null. */
List *ListDel(List *list);
/* Releases every node and item and clears the header but its insertion side; returns list. */
List *ListDelAllItems(List *list);
/* With cont 0 the walk restarts at the first node. Returns the item at the cursor and moves
 * the cursor to the next node; null at the end or for a null list. */
void *ListWalk(List *list, int cont);
/* The same from the last node towards the first. */
void *ListWalkBackward(List *list, int cont);
/* Prints "%3i) %li\n" per node on standard output: its 1-based number and the first 32-bit
 * word of its item (signed; the bytes missing from a shorter item read as 0). */
void ListDump(List *list);

#ifdef __cplusplus
}
#endif

#endif

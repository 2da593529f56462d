/* Block memory manager.
 *
 * Memory comes from the system in blocks mapped from /dev/zero (the heap when /dev/zero
 * cannot be opened). An ordinary block holds 65536 bytes cut into 2048 nodes of 32 bytes;
 * its MAT (memory allocation table) is a string with one character per node, ' ' free and
 * 'U' used, so a free run of n nodes is found by searching the MAT for n blanks. A request
 * whose padded size exceeds 65536 bytes gets a dedicated block of its own. Memory handed
 * out is always zero-filled and has room for a terminating NUL after the requested size.
 * A block is returned to the system as soon as its last allocation is released.
 *
 * Single-threaded: all state is process-wide and unguarded.
 */
#ifndef COMMON_MEMMGR_H
#define COMMON_MEMMGR_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MEM_NODE_SIZE 32
#define MEM_NODES 2048
#define MEM_BLOCK_SIZE 65536 /* data of an ordinary block; also the dedicated threshold */
#define MEM_FREE_MARK ' '
#define MEM_USED_MARK 'U'

/* One node-table entry: filled only for the first node of an allocation. */
typedef struct MemNode {
  uint16_t count; /* length of the allocation in nodes */
  char *addr;     /* its address in the block's data */
} MemNode;

/* Block header, mapped apart from the block's data. */
typedef struct MemBlock {
  struct MemBlock *next; /* null at the tail */
  struct MemBlock *prev; /* null at the head */
  int32_t size;          /* data size: 65536, or the dedicated size */
  int32_t used;          /* dedicated blocks: padded size of the request they serve */
  int32_t freeCount;     /* free nodes; equals the blanks of the MAT */
  char *data;            /* the data area */
  MemNode nodes[MEM_NODES];
  char mat[MEM_NODES + 1]; /* ' ' or 'U' per node, NUL-terminated */
} MemBlock;

extern MemBlock *pMemB;      /* head of the chain of blocks; the chain order is the search order */
extern const char OutOfMem[]; /* "Unable to allocate memory" */

/* Returns size+1 or more zero-filled bytes, or null for size 0 or when memory runs out. */
void *GetMem(int size);

/* Releases the allocation that starts at p; a pointer that lies in no block is ignored. */
void PutMem(void *p);

/* Resizes the allocation at p to size, keeping its contents up to the smaller size; may move
 * it. size 0 releases p and returns null; a null or unknown p is served like GetMem(size). */
void *AdjustMem(void *p, int size);

/* Prints every block's state on standard output (debugging aid). */
void DumpMem(void);

/* Internals, exposed for the tests. */
void *MapBlock(int size);             /* one page more than size, from /dev/zero or the heap */
MemBlock *GetNewBlock(int size);      /* maps header and data, appends to the chain */
MemBlock *PushBlock(MemBlock *block); /* appends at the tail */
MemBlock *PopBlock(MemBlock *block);  /* unlinks from the chain */
MemBlock *FindBlock(const void *p);   /* block whose data holds p (its end address included) */
void FreeBlock(MemBlock *block);      /* unlinks and returns header and data to the system */
int TestMAT(const char *text, int ch, int length); /* 1 when length characters all equal ch */

#ifdef __cplusplus
}
#endif

#endif

/* Record database: keyed records in database files, and typed databases held in memory.
 *
 * A database file is a sequence of records, each a 2-byte length and a payload (2-byte key
 * length, key with its NUL, value bytes). Every 16-bit field is big-endian on disk on every
 * host, and every payload byte but the last is XORed with the plain byte after it. A plain
 * name "printers" names the file "<pToolPath>/db/printers.vdb" (pToolPath null: ".").
 *
 * The Dbm* calls work on the file itself: each call opens it, walks it record by record and,
 * when it changes something, writes a complete new file "<name>.vdb_new" (mode 0666 exactly,
 * never through a symbolic link) and renames it over the old one. Writers of one database hold
 * an exclusive flock on its directory from reading the old file to the rename, so concurrent
 * writers never mix their copies (flock is advisory, and emulated on NFS). Readers take no
 * lock: they see the old file or the new one. A file that exists but cannot be read (not a
 * regular file, unreadable, a read error) is never overwritten: writes into it return 0.
 *
 * The DbT / DbmT calls keep a whole file in memory behind a handle (see DbT below). They
 * read both the plain kind above (kind 1) and the typed kind (kind 2), whose 16-byte header
 * "TVDBAA<count>\0<filler>" precedes records of the form T (2 bytes), K (2 bytes), key and
 * value, each chained on its own.
 *
 * Records whose lengths do not fit (a length past the end, a key longer than its record, a
 * key without its NUL) end a walk as a truncated record would: what follows is not read.
 * Managed results (texts, nodes) come from GetMem and go back with PutMem (MemMgr.h).
 * Single-threaded: the module state (full-path mode, the next-record counter, the decode
 * buffer) is process-wide.
 */
#ifndef COMMON_DBM_H
#define COMMON_DBM_H

#ifdef __cplusplus
extern "C" {
#endif

#define DBM_MAX_PAYLOAD 65527 /* largest payload length L of a record */
#define DBM_MAX_KEY 4096      /* largest key length K (with its NUL) the typed calls handle */
#define DBT_HEADER_SIZE 16    /* header of a typed file */

/* Node of the lists made by DbmGetDbLinkList and DbmTGetDbLinkList; managed memory. */
typedef struct DbLinkNode {
  struct DbLinkNode *next; /* next node, null at the end */
  char *data;              /* managed: the key with its NUL, then the value */
  char *value;             /* where the value starts in data (data + K) */
  int valueLength;         /* bytes of the value */
} DbLinkNode;

/* ---- Database files (name first; 0 or null means failure or nothing found) ---- */

/* Stores value (length bytes, at least 1) under key, replacing every record with that key;
 * the record moves to the end of the file. Creates "<pToolPath>/db" (mode 0777) and the file
 * when missing. Returns 1, or 0 with a message on standard error (a record longer than
 * DBM_MAX_PAYLOAD, an unreadable existing file, a failed write or rename: old file intact). */
int DbmPutRecord(const char *db, const char *key, const void *value, int length);
/* Copies the value of the first record whose key equals key into dest and returns its length;
 * 0 when missing. dest needs DbmGetRecordSize(db, key) bytes (at most 65523). */
int DbmGetRecord(const char *db, const char *key, void *dest);
/* Value length of the first record whose key equals key; 0 when missing. */
int DbmGetRecordSize(const char *db, const char *key);
/* Copies the value of record N (N: a module-wide counter, 0 at start) into dest, advances the
 * counter and returns the value length; 0 when the file has no record N (the counter stays).
 * dest needs room for the largest value of the file (at most 65523 bytes). */
int DbmGetNextRecord(const char *db, void *dest);
/* Rewrites the file without the records whose key equals key. Returns 1 once rewritten (also
 * when nothing matched), 0 when the file is missing or a step failed. */
int DbmDeleteRecord(const char *db, const char *key);
/* Rewrites the file without the records whose key begins with prefix. Returns 1 once
 * rewritten (also when nothing matched); 0 for an empty or null prefix, a missing file or a
 * failed step. */
int DbmDeleteRecords(const char *db, const char *prefix);
/* Stores the value of record from again under key to; the store's result, 0 when from is
 * missing. */
int DbmCopyRecord(const char *db, const char *from, const char *to);
/* Managed text: separator and key for every record in file order, then tail (null separator
 * or tail: empty). Null when the file has no record or cannot be read. */
char *DbmGetRecordList(const char *db, const char *separator, const char *tail);
/* List of nodes (file order) for the records whose key contains pattern (null or "": every
 * record); null when none. Release it with DbmFreeDbLinkList. */
DbLinkNode *DbmGetDbLinkList(const char *db, const char *pattern);
/* Releases every node of list and its data. */
void DbmFreeDbLinkList(DbLinkNode *list);
/* Managed text naming the databases of "<pToolPath>/db" (entries "<name>.vdb" whose name holds
 * no ".", blank or comma), in directory order: blank set gives " a b" (" " when none), blank
 * clear gives "a,b" ("" when none). Null when the directory cannot be listed. */
char *DbmGetDbList(int blank);
/* Prints every record of the file "<name>.db" on standard output as "L K ==>{key and value}"
 * (decoded; bytes other than ASCII letters, digits, punctuation and blanks shown as ".").
 * Reports "ERROR: can't open file, ..." when it cannot be opened. Returns name. */
const char *DumpDbm(const char *name);
/* Do nothing; return db. */
const char *DbmCreate(const char *db);
const char *DbmDelete(const char *db);
/* Switches full-path mode on (DbTClose switches it off) and returns x. In full-path mode the
 * database name is the file's whole path, and the copy written during a change is
 * "<path>_new". */
int DbmSetV4DriverPathHandling(int x);

/* ---- Typed databases in memory ---- */

#define DBT_NO_RECHECK 2 /* open flag: do not re-check the file before each call */
#define DBT_DEFER 4      /* open flag: do not write the file after each change */

/* Handle of a typed database; managed memory made by DbTOpen, released by DbTClose. The
 * fields after kind are private to the module. */
typedef struct DbT {
  char *name;   /* managed: the name given to DbTOpen */
  char swap;    /* 1 on a little-endian host: 16-bit fields are swapped to big-endian */
  int flags;    /* DBT_NO_RECHECK, DBT_DEFER */
  char *image;  /* managed: the whole file content, or null */
  int length;   /* bytes of the image in use */
  int time;     /* modification time (seconds) of the file when it was loaded */
  int cursor;   /* offset of the value of the record last found */
  int next;     /* offset of the next record during a walk */
  long count;   /* number of records in the image */
  char changed; /* set when the image was loaded anew or changed */
  int kind;     /* 0 new (no content yet), 1 plain file, 2 typed file */

  char *path;         /* managed: the file resolved at open; written back through path_new */
  int capacity;       /* bytes allocated for image */
  char loaded;        /* the file was examined and the image stands for it */
  char unreadable;    /* the file exists but could not be read: writes are refused */
  long long mtimeNs;  /* identity of the file last loaded (or written): a re-check reloads */
  long long fileSize; /* when any of these differs */
  unsigned long long inode;
  unsigned long long device;
  long cutAt;         /* offset where a bad record cut the loaded image, -1 when none */
  const char *cutWhy; /* static text saying why, null when none */
  void *index;        /* key index over the image */
} DbT;

/* New handle for name, loaded from its file (DbTUpDate); null for a null or empty name or
 * when memory runs out. name "/x/y" is that file (".vdb" appended when the last component
 * holds no "."), "./x" or "../x" is that file, anything else "<pToolPath>/db/<name>.vdb"
 * ("en_US/CoreString" lies in db/en_US). A missing file gives an empty handle of kind 0. */
DbT *DbTOpen(const char *name, int flags);
/* Like DbTOpen, but path names the file exactly (no ".vdb" appended, no tool directory). */
DbT *DbTOpenFile(const char *path, int flags);
/* Reloads the image when the file changed since it was loaded (modification time, size or
 * identity); a missing file changes nothing. Changes not yet written (DBT_DEFER) are lost by
 * a reload. Returns db. */
DbT *DbTUpDate(DbT *db);
/* Releases the image and the handle (changes not yet written are lost) and switches
 * full-path mode off. */
void DbTClose(DbT *db);
/* Sets the kind (0, 1 or 2; others are ignored) and the swap flag. Changing the kind of a
 * loaded image reads its bytes as the new kind: a record that does not fit ends the image. */
void DbTSetDbType(DbT *db, int kind);

/* Stores value (length bytes) under key, replacing any record with that key; the record moves
 * to the end of the image. A new or empty database becomes a typed file. Writes the file
 * unless DBT_DEFER. Returns 1, or 0 (null arguments, a key longer than DBM_MAX_KEY with its NUL, a
 * record too long for the kind, an unreadable file, a failed write: message on stderr). */
int DbmTPutRecord(DbT *db, const char *key, const void *value, int length);
/* Copies the value of the first record whose key equals key into dest and returns its
 * length; 0 when missing or an argument is null. dest needs DbmTGetRecordSize(db, key)
 * bytes. */
int DbmTGetRecord(DbT *db, const char *key, void *dest);
/* Returns the value length of key, 0 when missing. A value of up to capacity bytes is copied
 * into *buffer; a longer one into a new managed block of the value's length that replaces
 * *buffer (the caller owns it; the old *buffer is not released); a null *buffer has no room.
 * Out of memory: 0. */
int DbmTGetRecordV(DbT *db, const char *key, char **buffer, int capacity);
/* Value length of the record with key, 0 when missing. */
int DbmTGetRecordSize(DbT *db, const char *key);
/* Removes every record whose key equals key (not ""). Returns 1 when one was removed (unless
 * DBT_DEFER: the result of writing the file), 0 otherwise. */
int DbmTDeleteRecord(DbT *db, const char *key);
/* Removes every record whose key begins with prefix. Returns 1 (when something was removed
 * and DBT_DEFER is clear: the result of writing the file); 0 for a null handle or an empty
 * prefix. */
int DbmTDeleteRecords(DbT *db, const char *prefix);
/* Stores the value of from again under to; the store's result, 0 when from is missing. */
int DbmTCopyRecord(DbT *db, const char *from, const char *to);
/* Managed text: separator and key of every record in image order, then tail; null without
 * records. */
char *DbmTGetRecordList(DbT *db, const char *separator, const char *tail);
/* As DbmTGetRecordList, for the keys that begin with one of the comma-separated prefixes. */
char *DbmTGetRecordListS(DbT *db, const char *prefixes, const char *separator, const char *tail);
/* List of nodes (image order) for the records whose key contains pattern (null or "": every
 * record); null when none. Release it with DbmFreeDbLinkList. */
DbLinkNode *DbmTGetDbLinkList(DbT *db, const char *pattern);
/* Writes the image to the handle's file (kind 0 and 2: header renewed). Returns 1, or 0 with
 * "ERROR: Can't write to <name>" on standard error; the file then keeps its old content. */
int DbmTArchiveDb(DbT *db);

#ifdef __cplusplus
}
#endif

#endif

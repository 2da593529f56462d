/* Record database: typed databases held in memory behind a handle.
 *
 * The whole file is the image. Loading walks it once: a record that does not fit ends the
 * image there, and every sound record's key goes into the handle's index, so that a lookup
 * costs one hash probe. Changes edit the image (a stored record moves to its end) and keep
 * the index current; the image is written back whole through "<path>_new" and a rename.
 */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <string>

#include "Dbm.h"
#include "Dbm_index.h"
#include "Dbm_internal.h"
#include "MemMgr.h"
#include "utils.h"

using namespace dbm;

namespace {

/* The host test: these bytes read as one 32-bit integer give 0x01020304 on a big-endian
 * host. */
const unsigned char TLBuf[4] = {1, 2, 3, 4};

unsigned char *decodeBuf = nullptr; /* kind 1 payloads are decoded here; made on first use */

unsigned char *Image(DbT *db) { return reinterpret_cast<unsigned char *>(db->image); }
KeyIndex *IndexOf(DbT *db) { return static_cast<KeyIndex *>(db->index); }
int FirstRecord(const DbT *db) { return db->kind == 1 ? 0 : kHeader; }

/* One record met by a walk. */
struct Walk {
  int start = 0;             /* offset of its length field */
  int T = 0;                 /* bytes after the length field */
  int K = 0;                 /* key length with its NUL */
  const char *key = nullptr; /* decoded key; null when longer than kMaxKey */
  char keyBuf[kMaxKey + 1];
};

/* Ends the image at a record that does not fit. */
void Cut(DbT *db, int at, const char *why) {
  if (db->cutAt < 0 || at < db->cutAt) {
    db->cutAt = at;
    db->cutWhy = why;
  }
  db->length = at;
}

/* Fills w with record number index of the walk (0 restarts it). Returns false at the end of
 * the image or at a record that does not fit, which ends the image there. */
bool WalkDbTRecords(DbT *db, Walk *w, int index) {
  if (index == 0) db->next = FirstRecord(db);
  unsigned char *img = Image(db);
  int at = db->next;
  if (!img || at >= db->length) return false;
  int left = db->length - at;
  if (left < (db->kind == 1 ? 2 : 4)) return Cut(db, at, kWhyShort), false;
  int T = static_cast<int>(GetBE16(img + at));
  if (T > left - 2) return Cut(db, at, kWhyPastEnd), false;
  int K;
  if (db->kind == 1) {
    if (!decodeBuf) decodeBuf = static_cast<unsigned char *>(GetMem(kMaxTyped));
    if (!decodeBuf) return false;
    memcpy(decodeBuf, img + at + 2, static_cast<size_t>(T));
    ChainDecode(decodeBuf, static_cast<size_t>(T));
    const char *why = CheckPlainPayload(decodeBuf, static_cast<size_t>(T));
    if (why) return Cut(db, at, why), false;
    K = static_cast<int>(GetBE16(decodeBuf));
    w->key = K <= kMaxKey ? reinterpret_cast<const char *>(decodeBuf + 2) : nullptr;
  } else {
    K = static_cast<int>(GetBE16(img + at + 2));
    if (K < 1 || K + 2 > T) return Cut(db, at, kWhyKeyLength), false;
    if (img[at + 4 + K - 1] != 0) return Cut(db, at, kWhyNoNul), false;
    w->key = nullptr;
    if (K <= kMaxKey) {
      memcpy(w->keyBuf, img + at + 4, static_cast<size_t>(K));
      ChainDecode(reinterpret_cast<unsigned char *>(w->keyBuf), static_cast<size_t>(K));
      w->key = w->keyBuf;
    }
  }
  w->start = at;
  w->T = T;
  w->K = K;
  db->cursor = at + 4;
  db->next = at + 2 + T;
  return true;
}

/* Where the stored bytes that identify a record's key start, and how many there are: the
 * chained key of a typed record; for a plain record the chained key length and key, whose
 * last byte depends only on the key's NUL. */
size_t SigLength(const DbT *db, int K) { return static_cast<size_t>(db->kind == 1 ? K + 1 : K); }
int SigAt(const DbT *db, int start) { return start + (db->kind == 1 ? 2 : 4); }

/* The stored form of key (keySize = strlen + 1 bytes) as it would appear in a record of the
 * handle's kind. sig needs kMaxKey + 2 bytes. Returns its length. */
size_t MakeSig(const DbT *db, const char *key, size_t keySize, unsigned char *sig) {
  if (db->kind == 1) {
    PutBE16(sig, static_cast<unsigned>(keySize));
    memcpy(sig + 2, key, keySize);
    ChainEncode(sig, keySize + 2); /* the first keySize + 1 bytes are final */
    return keySize + 1;
  }
  memcpy(sig, key, keySize);
  ChainEncode(sig, keySize);
  return keySize;
}

/* Whether the record at offset, whose key length the index has already found equal, holds
 * the key whose stored form is the n bytes at sig. For a plain record the stored bytes
 * decode to the same key length and key only because the key lengths are equal. */
bool SigMatches(const DbT *db, uint32_t offset, const unsigned char *sig, size_t n) {
  return memcmp(db->image + SigAt(db, static_cast<int>(offset)), sig, n) == 0;
}

/* The index's test of key equality for this handle. */
struct SameKey {
  const DbT *db;
  bool operator()(uint32_t o, const unsigned char *s, size_t n) const {
    return SigMatches(db, o, s, n);
  }
};

/* Rebuilds the index from a walk over the whole image; cuts the image at a bad record and
 * counts the records. */
void BuildIndex(DbT *db) {
  KeyIndex *index = IndexOf(db);
  index->Clear();
  Walk w;
  long n = 0;
  for (int i = 0; WalkDbTRecords(db, &w, i); i++) {
    n++;
    if (!w.key) continue;
    const unsigned char *sig = Image(db) + SigAt(db, w.start);
    size_t len = SigLength(db, w.K);
    index->Insert(static_cast<uint32_t>(w.start), sig, len, KeyIndex::Hash(sig, len),
                  static_cast<uint32_t>(w.K), SameKey{db});
  }
  db->count = n;
}

/* Offset of the first record whose key equals key, or -1; the cursor then stands at its
 * value. */
int FindTRecord(DbT *db, const char *key) {
  if (!db->image || !key) return -1;
  size_t keySize = strlen(key) + 1;
  if (keySize > static_cast<size_t>(kMaxKey)) return -1;
  unsigned char sig[kMaxKey + 2];
  size_t n = MakeSig(db, key, keySize, sig);
  uint32_t at = IndexOf(db)->Find(sig, n, KeyIndex::Hash(sig, n), static_cast<uint32_t>(keySize),
                                  SameKey{db});
  if (at == KeyIndex::kEmpty) return -1;
  db->cursor = static_cast<int>(at) + 4 + static_cast<int>(keySize);
  db->next = static_cast<int>(at) + 2 + static_cast<int>(GetBE16(Image(db) + at));
  return static_cast<int>(at);
}

/* Value length of the record at offset at (found for a key of keySize bytes). */
int ValueLength(DbT *db, int at, size_t keySize) {
  return static_cast<int>(GetBE16(Image(db) + at)) - static_cast<int>(keySize) - 2;
}

/* Decodes n bytes of a chained field at the cursor into dest; the cursor moves past it. */
void DbmTGetData(DbT *db, void *dest, int n) {
  if (n <= 0) return;
  memcpy(dest, db->image + db->cursor, static_cast<size_t>(n));
  ChainDecode(static_cast<unsigned char *>(dest), static_cast<size_t>(n));
  db->cursor += n;
}

/* Chains n bytes of src into the image at the cursor; the cursor moves past them. */
void DbmTPutData(DbT *db, const void *src, int n) {
  if (n <= 0) return;
  memcpy(db->image + db->cursor, src, static_cast<size_t>(n));
  ChainEncode(Image(db) + db->cursor, static_cast<size_t>(n));
  db->cursor += n;
}

/* Makes room for length + more bytes in the image. */
bool Reserve(DbT *db, int more) {
  long long want = static_cast<long long>(db->length) + more;
  if (want <= db->capacity && db->image) return true;
  if (want > 0x7fff0000) return false;
  long long cap = db->capacity + db->capacity / 2;
  if (cap < want) cap = want;
  if (cap < 256) cap = 256;
  if (cap > 0x7fff0000) cap = 0x7fff0000;
  char *p = static_cast<char *>(AdjustMem(db->image, static_cast<int>(cap)));
  if (!p) return false;
  db->image = p;
  db->capacity = static_cast<int>(cap);
  return true;
}

void ReleaseImage(DbT *db) {
  PutMem(db->image);
  db->image = nullptr;
  db->length = 0;
  db->capacity = 0;
  db->cursor = 0;
  db->next = 0;
  db->count = 0;
  db->cutAt = -1;
  db->cutWhy = nullptr;
  IndexOf(db)->Clear();
}

/* Writes the header: "TVDBAA", the count (at most 9 characters) and a NUL, then filler
 * bytes up to byte 15. The image must hold 16 bytes. */
void UpdateHeader(DbT *db) {
  char digits[32];
  snprintf(digits, sizeof digits, "%li", db->count);
  digits[9] = '\0';
  char head[kHeader];
  int n = snprintf(head, sizeof head, "TVDBAA%s", digits);
  for (int i = n + 1; i < kHeader; i++) head[i] = static_cast<char>(rand() % 256);
  memcpy(db->image, head, kHeader);
}

/* Makes the image a bare header (16 bytes, no record). */
bool HeaderOnly(DbT *db) {
  db->length = 0;
  if (!Reserve(db, kHeader)) return false;
  db->length = kHeader;
  db->count = 0;
  IndexOf(db)->Clear();
  UpdateHeader(db);
  return true;
}

void Remember(DbT *db, const struct stat &st) {
  db->time = static_cast<int>(st.st_mtime);
  db->mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  db->fileSize = static_cast<long long>(st.st_size);
  db->inode = static_cast<unsigned long long>(st.st_ino);
  db->device = static_cast<unsigned long long>(st.st_dev);
}

bool SameFile(const DbT *db, const struct stat &st) {
  return db->mtimeNs ==
             static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec &&
         db->fileSize == static_cast<long long>(st.st_size) &&
         db->inode == static_cast<unsigned long long>(st.st_ino) &&
         db->device == static_cast<unsigned long long>(st.st_dev);
}

/* Reads the whole file into the image. Returns 1 when read, 0 when the file is missing,
 * -1 when it exists but cannot be read. */
int ReadImage(DbT *db, struct stat *st) {
  int fd;
  Open state = OpenExisting(db->path, &fd, st);
  if (state == Open::kMissing) return 0;
  if (state != Open::kOk) return -1;
  if (st->st_size > 0x7fff0000 - 65536 || !Reserve(db, static_cast<int>(st->st_size))) {
    close(fd);
    return -1;
  }
  long long done = 0;
  for (int attempt = 1; done < st->st_size;) {
    ssize_t n = read(fd, db->image + done, static_cast<size_t>(st->st_size - done));
    if (n > 0) {
      done += n;
    } else if (n == 0) {
      break; /* the file shrank meanwhile: take what is there */
    } else if ((errno == EINTR || errno == EAGAIN) && attempt++ < kTries) {
      if (errno != EINTR) sleep(1);
    } else {
      close(fd);
      return -1;
    }
  }
  close(fd);
  db->length = static_cast<int>(done);
  return 1;
}

/* Loads the file afresh. */
void Load(DbT *db) {
  ReleaseImage(db);
  db->changed = 1;
  db->unreadable = 0;
  struct stat st;
  int got = ReadImage(db, &st);
  if (got == 0) { /* gone since it was examined */
    db->loaded = 0;
    DbTSetDbType(db, 0);
    return;
  }
  db->loaded = 1;
  if (got < 0 || db->length == 0) {
    /* Empty, or unreadable (then writes are refused until the file changes). */
    if (got < 0) {
      db->unreadable = 1;
      if (stat(db->path, &st) != 0) memset(&st, 0, sizeof st);
    }
    ReleaseImage(db);
    db->kind = 0;
    db->changed = 0;
    HeaderOnly(db);
    Remember(db, st);
    DbTSetDbType(db, 0);
    return;
  }
  Remember(db, st);
  DbTSetDbType(db, db->length >= 5 && memcmp(db->image, "TVDBA", 5) == 0 ? 2 : 1);
}

/* Removes the record at start (T + 2 bytes) from the image. */
void RemoveAt(DbT *db, int start) {
  int size = static_cast<int>(GetBE16(Image(db) + start)) + 2;
  memmove(db->image + start, db->image + start + size,
          static_cast<size_t>(db->length - start - size));
  db->length -= size;
  if (db->count > 0) db->count--;
}

/* Removes the records whose key equals key (prefix 0) or begins with its first prefix bytes.
 * Returns the number removed. */
int PurgeTRecord(DbT *db, const char *key, size_t prefix) {
  if (!db->image || !key) return 0;
  KeyIndex *index = IndexOf(db);
  int removed = 0;
  if (prefix == 0 && !index->dups) {
    int at = FindTRecord(db, key);
    if (at < 0) return 0;
    size_t keySize = strlen(key) + 1;
    unsigned char sig[kMaxKey + 2];
    size_t n = MakeSig(db, key, keySize, sig);
    uint32_t size = GetBE16(Image(db) + at) + 2u;
    index->Erase(static_cast<uint32_t>(at), KeyIndex::Hash(sig, n));
    RemoveAt(db, at);
    index->Shift(static_cast<uint32_t>(at), size);
    removed = 1;
  } else {
    size_t keySize = strlen(key) + 1;
    Walk w;
    for (int i = 0; WalkDbTRecords(db, &w, i); i++) {
      if (!w.key) continue;
      bool match = prefix == 0
                       ? static_cast<size_t>(w.K) == keySize && memcmp(w.key, key, keySize) == 0
                       : static_cast<size_t>(w.K) >= prefix && strncmp(w.key, key, prefix) == 0;
      if (!match) continue;
      RemoveAt(db, w.start);
      db->next = w.start;
      removed++;
    }
    if (removed) BuildIndex(db);
  }
  if (removed) db->changed = 1;
  return removed;
}

void Recheck(DbT *db) {
  if (!(db->flags & DBT_NO_RECHECK)) DbTUpDate(db);
}

/* Resolves a name to its file: see DbTOpen. */
std::string Resolve(const char *name) {
  if (name[0] == '/') {
    const char *last = strrchr(name, '/') + 1;
    return strchr(last, '.') ? std::string(name) : std::string(name) + ".vdb";
  }
  if (name[0] == '.') return name;
  return DbDir() + "/" + name + ".vdb";
}

DbT *NewHandle(const char *name, const std::string &path, int flags) {
  DbT *db = static_cast<DbT *>(GetMem(sizeof(DbT)));
  if (!db) return nullptr;
  db->name = SaveBytes(name);
  db->path = SaveBytes(path);
  db->index = new (std::nothrow) KeyIndex;
  if (!db->name || !db->path || !db->index) {
    PutMem(db->name);
    PutMem(db->path);
    delete IndexOf(db);
    PutMem(db);
    return nullptr;
  }
  db->flags = flags;
  db->cutAt = -1;
  DbTSetDbType(db, 0);
  return DbTUpDate(db);
}

/* Appends separator and key for every record whose key passes keep; null without any. */
template <typename Keep>
char *KeyList(DbT *db, const char *separator, const char *tail, Keep keep) {
  if (!db) return nullptr;
  Recheck(db);
  std::string list;
  bool any = false;
  Walk w;
  for (int i = 0; WalkDbTRecords(db, &w, i); i++) {
    if (!w.key || !keep(w.key)) continue;
    if (separator) list += separator;
    list += w.key;
    any = true;
  }
  if (!any) return nullptr;
  if (tail) list += tail;
  return SaveBytes(list);
}

/* Whether key begins with one of the comma-separated prefixes (empty ones ignored). */
bool TestKeyName(const char *key, const char *prefixes) {
  for (const char *p = prefixes; *p;) {
    const char *end = strchr(p, ',');
    size_t n = end ? static_cast<size_t>(end - p) : strlen(p);
    if (n && strncmp(key, p, n) == 0) return true;
    if (!end) break;
    p = end + 1;
  }
  return false;
}

}  // namespace

extern "C" {

DbT *DbTOpen(const char *name, int flags) {
  if (!name || !*name) return nullptr;
  return NewHandle(name, Resolve(name), flags);
}

DbT *DbTOpenFile(const char *path, int flags) {
  if (!path || !*path) return nullptr;
  return NewHandle(path, path, flags);
}

DbT *DbTUpDate(DbT *db) {
  if (!db || !db->path) return db;
  struct stat st;
  if (stat(db->path, &st) != 0) return db;
  if (db->loaded && SameFile(db, st)) return db;
  Load(db);
  return db;
}

void DbTClose(DbT *db) {
  fullPathMode = false;
  if (!db) return;
  PutMem(db->image);
  PutMem(db->name);
  PutMem(db->path);
  delete IndexOf(db);
  PutMem(db);
}

void DbTSetDbType(DbT *db, int kind) {
  if (!db || kind < 0 || kind > 2) return;
  uint32_t host;
  memcpy(&host, TLBuf, sizeof host);
  db->swap = host != 0x01020304u;
  db->kind = kind;
  if (db->image && kind != 1 && db->length < kHeader) HeaderOnly(db);
  db->cutAt = -1;
  db->cutWhy = nullptr;
  BuildIndex(db);
}

int DbmTPutRecord(DbT *db, const char *key, const void *value, int length) {
  if (!db || !key || length < 0 || (length > 0 && !value)) return 0;
  Recheck(db);
  if (db->unreadable) {
    fprintf(stderr, "ERROR: can't open file, %s\n", db->path);
    return 0;
  }
  size_t K = strlen(key) + 1;
  size_t T = K + static_cast<size_t>(length) + 2;
  size_t limit = db->kind == 1 ? kMaxPayload : kMaxTyped;
  if (K > static_cast<size_t>(kMaxKey) || T > limit) {
    fprintf(stderr, "ERROR: record of %zu bytes (key %zu) too long for %s (at most %zu, key %d)\n",
            T, K, db->name, limit, kMaxKey);
    return 0;
  }
  PurgeTRecord(db, key, 0);
  if (db->kind == 0) DbTSetDbType(db, 2);
  if (db->length == 0 && db->kind != 1 && !HeaderOnly(db)) return 0;
  if (!Reserve(db, static_cast<int>(T) + 2)) {
    fprintf(stderr, "ERROR: Unable to allocate memory for %s\n", db->name);
    return 0;
  }
  int start = db->length;
  unsigned char *rec = Image(db) + start;
  PutBE16(rec, static_cast<unsigned>(T));
  if (db->kind == 1) {
    PutBE16(rec + 2, static_cast<unsigned>(K));
    memcpy(rec + 4, key, K);
    if (length) memcpy(rec + 4 + K, value, static_cast<size_t>(length));
    ChainEncode(rec + 2, T);
  } else {
    PutBE16(rec + 2, static_cast<unsigned>(K));
    db->cursor = start + 4;
    DbmTPutData(db, key, static_cast<int>(K));
    DbmTPutData(db, value, length);
  }
  db->length += static_cast<int>(T) + 2;
  db->count++;
  db->changed = 1;
  const unsigned char *sig = Image(db) + SigAt(db, start);
  size_t n = SigLength(db, static_cast<int>(K));
  IndexOf(db)->Insert(static_cast<uint32_t>(start), sig, n, KeyIndex::Hash(sig, n),
                      static_cast<uint32_t>(K), SameKey{db});
  if (db->flags & DBT_DEFER) return 1;
  return DbmTArchiveDb(db);
}

int DbmTGetRecord(DbT *db, const char *key, void *dest) {
  if (!db || !key || !dest) return 0;
  Recheck(db);
  int at = FindTRecord(db, key);
  if (at < 0) return 0;
  int n = ValueLength(db, at, strlen(key) + 1);
  DbmTGetData(db, dest, n);
  return n;
}

int DbmTGetRecordV(DbT *db, const char *key, char **buffer, int capacity) {
  if (!db || !key || !buffer) return 0;
  Recheck(db);
  int at = FindTRecord(db, key);
  if (at < 0) return 0;
  int n = ValueLength(db, at, strlen(key) + 1);
  if (n <= 0) return 0;
  if (n > capacity || !*buffer) {
    char *p = static_cast<char *>(GetMem(n));
    if (!p) return 0;
    *buffer = p;
  }
  DbmTGetData(db, *buffer, n);
  return n;
}

int DbmTGetRecordSize(DbT *db, const char *key) {
  if (!db || !key) return 0;
  Recheck(db);
  int at = FindTRecord(db, key);
  return at < 0 ? 0 : ValueLength(db, at, strlen(key) + 1);
}

int DbmTDeleteRecord(DbT *db, const char *key) {
  if (!db || !key || !*key) return 0;
  Recheck(db);
  if (db->unreadable || !PurgeTRecord(db, key, 0)) return 0;
  return db->flags & DBT_DEFER ? 1 : DbmTArchiveDb(db);
}

int DbmTDeleteRecords(DbT *db, const char *prefix) {
  if (!db || !prefix || !*prefix) return 0;
  Recheck(db);
  if (db->unreadable) return 0;
  if (!PurgeTRecord(db, prefix, strlen(prefix))) return 1;
  return db->flags & DBT_DEFER ? 1 : DbmTArchiveDb(db);
}

int DbmTCopyRecord(DbT *db, const char *from, const char *to) {
  if (!db || !from || !to) return 0;
  int n = DbmTGetRecordSize(db, from);
  if (n <= 0) return 0;
  char *value = static_cast<char *>(GetMem(n));
  if (!value) return 0;
  int got = DbmTGetRecord(db, from, value);
  int result = got == n ? DbmTPutRecord(db, to, value, n) : 0;
  PutMem(value);
  return result;
}

char *DbmTGetRecordList(DbT *db, const char *separator, const char *tail) {
  return KeyList(db, separator, tail, [](const char *) { return true; });
}

char *DbmTGetRecordListS(DbT *db, const char *prefixes, const char *separator, const char *tail) {
  if (!prefixes) return nullptr;
  return KeyList(db, separator, tail,
                 [prefixes](const char *key) { return TestKeyName(key, prefixes); });
}

DbLinkNode *DbmTGetDbLinkList(DbT *db, const char *pattern) {
  if (!db) return nullptr;
  Recheck(db);
  DbLinkNode *first = nullptr;
  DbLinkNode **link = &first;
  Walk w;
  for (int i = 0; WalkDbTRecords(db, &w, i); i++) {
    if (!w.key || (pattern && *pattern && !strstr(w.key, pattern))) continue;
    DbLinkNode *node = static_cast<DbLinkNode *>(GetMem(sizeof(DbLinkNode)));
    char *data = static_cast<char *>(GetMem(w.T));
    if (!node || !data) {
      PutMem(node);
      PutMem(data);
      break;
    }
    int valueLength = w.T - w.K - 2;
    memcpy(data, w.key, static_cast<size_t>(w.K));
    db->cursor = w.start + 4 + w.K;
    DbmTGetData(db, data + w.K, valueLength);
    node->data = data;
    node->value = data + w.K;
    node->valueLength = valueLength;
    *link = node;
    link = &node->next;
  }
  return first;
}

int DbmTArchiveDb(DbT *db) {
  if (!db || !db->path) return 0;
  if (db->unreadable) {
    fprintf(stderr, "ERROR: can't open file, %s\n", db->path);
    return 0;
  }
  if (db->kind != 1) {
    if (db->length < kHeader && !HeaderOnly(db)) return 0;
    UpdateHeader(db);
  }
  std::string target = db->path;
  std::string copy = target + "_new";
  if (!MakeDirFor(target)) {
    fprintf(stderr, "ERROR: can't open file, %s\n", copy.c_str());
    return 0;
  }
  DirLock lock(DirOf(target));
  if (!lock.ok()) {
    fprintf(stderr, "ERROR: can't open file, %s\n", copy.c_str());
    return 0;
  }
  FILE *fp = OpenNewDataBase(target, copy);
  if (!fp) return 0;
  size_t n = static_cast<size_t>(db->length);
  struct stat st;
  if ((n && fwrite(db->image, 1, n, fp) != n) || fflush(fp) != 0 || fstat(fileno(fp), &st) != 0) {
    AbortReplacement(fp, copy.c_str());
    ReportWrite(db->name);
    return 0;
  }
  if (!RenameDataBase(fp, copy, target, db->name)) return 0;
  /* The file now holds the image: remember it, so the next re-check does not reload it. */
  Remember(db, st);
  db->loaded = 1;
  return 1;
}

}  // extern "C"

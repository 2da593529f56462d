/* Record database: database files walked record by record, and the pieces both interfaces
 * share (paths, the writers' lock, safe opening, the replacement copy).
 *
 * Every change writes a whole new file beside the old one and renames it into place, under
 * an exclusive flock on the database's directory, so that two writers never interleave and
 * readers see either the old file or the new one.
 */
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "Dbm.h"
#include "Dbm_internal.h"
#include "MemMgr.h"
#include "utils.h"

namespace dbm {

const char kWhyShort[] = "length field cut off";
const char kWhyPastEnd[] = "record runs past the end";
const char kWhyTooShort[] = "length too small for a key";
const char kWhyKeyLength[] = "key length out of range";
const char kWhyNoNul[] = "key does not end in a NUL";

bool fullPathMode = false;

const char *CheckPlainPayload(const unsigned char *p, size_t L) {
  if (L < 3) return kWhyTooShort;
  size_t K = GetBE16(p);
  if (K < 1 || K + 2 > L) return kWhyKeyLength;
  if (p[2 + K - 1] != 0) return kWhyNoNul;
  return nullptr;
}

std::string DbDir() { return std::string(pToolPath ? pToolPath : ".") + "/db"; }

std::string DirOf(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool MakeDirFor(const std::string &target) {
  std::string dir = DirOf(target);
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  std::string db = DbDir();
  /* Each prefix of dir that ends before a "/" (and dir itself), from the top down. */
  for (size_t pos = 1; pos <= dir.size(); pos++) {
    if (pos < dir.size() && dir[pos] != '/') continue;
    if (dir[pos - 1] == '/') continue;
    std::string part = dir.substr(0, pos);
    if (mkdir(part.c_str(), 0777) == 0) {
      if (part == db && chmod(part.c_str(), 0777) != 0) return false;
    } else if (errno != EEXIST) {
      return false;
    }
  }
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

DirLock::DirLock(const std::string &dir) {
  fd_ = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return;
  while (flock(fd_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    close(fd_);
    fd_ = -1;
    return;
  }
}

DirLock::~DirLock() {
  if (fd_ >= 0) close(fd_); /* closing the last descriptor releases the lock */
}

namespace {
bool Transient(int err) { return err == EINTR || err == EAGAIN || err == EBUSY || err == ETXTBSY; }
}  // namespace

Open OpenExisting(const std::string &path, int *fd, struct stat *st) {
  for (int attempt = 1;; attempt++) {
    int f = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (f >= 0) {
      if (fstat(f, st) != 0 || !S_ISREG(st->st_mode)) {
        close(f);
        errno = EISDIR;
        return Open::kUnreadable;
      }
      fcntl(f, F_SETFL, fcntl(f, F_GETFL) & ~O_NONBLOCK);
      *fd = f;
      return Open::kOk;
    }
    if (errno == ENOENT || errno == ENOTDIR) return Open::kMissing;
    if (!Transient(errno) || attempt >= kTries) return Open::kUnreadable;
    sleep(1);
  }
}

FILE *OpenNewDataBase(const std::string &target, const std::string &copy) {
  (void)target;
  FILE *fp = OpenReplacement(copy.c_str(), 0666, -1, -1);
  if (!fp) fprintf(stderr, "ERROR: can't open file, %s\n", copy.c_str());
  return fp;
}

void ReportWrite(const char *name) { fprintf(stderr, "ERROR: Can't write to %s", name); }

int RenameDataBase(FILE *fp, const std::string &copy, const std::string &target, const char *name) {
  if (CommitReplacement(fp, copy.c_str(), target.c_str())) return 1;
  ReportWrite(name);
  return 0;
}

char *SaveBytes(const std::string &text) {
  char *p = static_cast<char *>(GetMem(static_cast<int>(text.size()) + 1));
  if (p) memcpy(p, text.data(), text.size());
  return p;
}

}  // namespace dbm

using namespace dbm;

namespace {

int nextRecord = 0; /* the record DbmGetNextRecord returns next */

/* The file of a database and its replacement copy. */
struct Paths {
  std::string target;
  std::string copy;
};

Paths DbPaths(const char *db) {
  if (fullPathMode) return {db, std::string(db) + "_new"};
  std::string base = DbDir() + "/" + db;
  return {base + ".vdb", base + ".vdb_new"};
}

/* One record as read or about to be written: the 2-byte length, then the payload (key
 * length, key, value), plain while in memory. */
struct Record {
  unsigned char buf[2 + kMaxPayload];
  size_t L = 0;
  size_t K = 0;
  unsigned char *payload() { return buf + 2; }
  const char *key() const { return reinterpret_cast<const char *>(buf + 4); }
  const unsigned char *value() const { return buf + 4 + K; }
  int valueLength() const { return static_cast<int>(L - K - 2); }
};

/* Reads the next record into r. Returns 1 for a sound record, 0 at the end of the file or at
 * a record that does not fit (the walk ends there), -1 on a read error. */
int GetData(FILE *fp, Record *r) {
  size_t n = fread(r->buf, 1, 2, fp);
  if (n < 2) return ferror(fp) ? -1 : 0;
  r->L = GetBE16(r->buf);
  if (r->L > static_cast<size_t>(kMaxPayload)) r->L = kMaxPayload;
  n = fread(r->payload(), 1, r->L, fp);
  if (n < r->L) return ferror(fp) ? -1 : 0;
  ChainDecode(r->payload(), r->L);
  if (CheckPlainPayload(r->payload(), r->L)) return 0;
  r->K = GetBE16(r->payload());
  return 1;
}

/* Chains the payload in place and writes length and payload in one write. Returns 1/0. */
int PutData(FILE *fp, Record *r) {
  PutBE16(r->buf, static_cast<unsigned>(r->L));
  ChainEncode(r->payload(), r->L);
  return fwrite(r->buf, 1, r->L + 2, fp) == r->L + 2 ? 1 : 0;
}

/* Whether the record's key equals key (prefix 0) or begins with its first prefix bytes.
 * keySize is strlen(key) + 1; nothing past the caller's key is read. */
bool KeyMatches(const Record &r, const char *key, size_t keySize, size_t prefix) {
  if (prefix == 0) return r.K == keySize && memcmp(r.key(), key, keySize) == 0;
  return r.K - 1 >= prefix && memcmp(r.key(), key, prefix) == 0;
}

/* Copies every record of old that does not match key into out. Returns 1, or 0 after a
 * message when a read or write fails. */
int PurgeRecord(const char *name, FILE *old, FILE *out, const char *key, size_t prefix, Record *r) {
  size_t keySize = strlen(key) + 1;
  int got;
  while ((got = GetData(old, r)) == 1) {
    if (KeyMatches(*r, key, keySize, prefix)) continue;
    if (!PutData(out, r)) {
      ReportWrite(name);
      return 0;
    }
  }
  if (got < 0) {
    fprintf(stderr, "ERROR: can't read %s: %s\n", name, strerror(errno));
    return 0;
  }
  return 1;
}

/* Rewrites database db without the records matching key (exact, or over prefix bytes), then
 * appends add when given. A missing file counts as empty unless mustExist. Returns 1/0. */
int Rewrite(const char *db, const char *key, size_t prefix, Record *add, bool mustExist) {
  Paths p = DbPaths(db);
  if (mustExist) {
    struct stat st;
    if (stat(p.target.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) return 0;
  }
  if (!MakeDirFor(p.target)) {
    fprintf(stderr, "ERROR: can't open file, %s\n", p.copy.c_str());
    return 0;
  }
  DirLock lock(DirOf(p.target));
  if (!lock.ok()) {
    fprintf(stderr, "ERROR: can't open file, %s\n", p.copy.c_str());
    return 0;
  }
  int fd = -1;
  struct stat st;
  Open state = OpenExisting(p.target, &fd, &st);
  if (state == Open::kUnreadable) {
    fprintf(stderr, "ERROR: can't open file, %s\n", p.target.c_str());
    return 0;
  }
  if (state == Open::kMissing && mustExist) return 0;
  FILE *old = state == Open::kOk ? fdopen(fd, "rb") : nullptr;
  if (state == Open::kOk && !old) {
    close(fd);
    fprintf(stderr, "ERROR: can't open file, %s\n", p.target.c_str());
    return 0;
  }
  FILE *out = OpenNewDataBase(p.target, p.copy);
  if (!out) {
    if (old) fclose(old);
    return 0;
  }
  std::unique_ptr<Record> r(new Record);
  int ok = old ? PurgeRecord(db, old, out, key, prefix, r.get()) : 1;
  if (old) fclose(old);
  if (ok && add && !PutData(out, add)) {
    ReportWrite(db);
    ok = 0;
  }
  if (!ok) {
    AbortReplacement(out, p.copy.c_str());
    return 0;
  }
  return RenameDataBase(out, p.copy, p.target, db);
}

/* Opens database db for a walk; null when missing or unreadable. */
FILE *OpenDataBase(const char *db) {
  int fd;
  struct stat st;
  if (OpenExisting(DbPaths(db).target, &fd, &st) != Open::kOk) return nullptr;
  FILE *fp = fdopen(fd, "rb");
  if (!fp) close(fd);
  return fp;
}

/* Calls visit(record) for each sound record of db in file order until it returns false.
 * Returns false when the file could not be opened. */
template <typename Visit>
bool WalkFile(const char *db, Visit visit) {
  if (!db) return false;
  FILE *fp = OpenDataBase(db);
  if (!fp) return false;
  std::unique_ptr<Record> r(new Record);
  while (GetData(fp, r.get()) == 1) {
    if (!visit(*r)) break;
  }
  fclose(fp);
  return true;
}

/* Finds the first record whose key equals key; copies its value to dest when given. */
int FindValue(const char *db, const char *key, void *dest) {
  if (!key) return 0;
  size_t keySize = strlen(key) + 1;
  int found = 0;
  WalkFile(db, [&](const Record &r) {
    if (!KeyMatches(r, key, keySize, 0)) return true;
    found = r.valueLength();
    if (dest && found) memcpy(dest, r.value(), static_cast<size_t>(found));
    return false;
  });
  return found;
}

/* A record of the given key and value, or null (message) when it would be too long. */
std::unique_ptr<Record> MakeRecord(const char *db, const char *key, const void *value,
                                   size_t length) {
  size_t K = strlen(key) + 1;
  size_t L = K + length + 2;
  if (L > static_cast<size_t>(kMaxPayload)) {
    fprintf(stderr, "ERROR: record of %zu bytes too long for %s (at most %d)\n", L, db,
            kMaxPayload);
    return nullptr;
  }
  std::unique_ptr<Record> r(new Record);
  r->L = L;
  r->K = K;
  PutBE16(r->payload(), static_cast<unsigned>(K));
  memcpy(r->payload() + 2, key, K);
  if (length) memcpy(r->payload() + 2 + K, value, length);
  return r;
}

bool IsShown(unsigned char c) { return (c >= 0x20 && c < 0x7f) || c == '\t'; }

}  // namespace

extern "C" {

int DbmPutRecord(const char *db, const char *key, const void *value, int length) {
  if (!db || !*db || !key || !value || length <= 0) return 0;
  std::unique_ptr<Record> r = MakeRecord(db, key, value, static_cast<size_t>(length));
  if (!r) return 0;
  return Rewrite(db, key, 0, r.get(), false);
}

int DbmGetRecord(const char *db, const char *key, void *dest) {
  if (!dest) return 0;
  return FindValue(db, key, dest);
}

int DbmGetRecordSize(const char *db, const char *key) { return FindValue(db, key, nullptr); }

int DbmGetNextRecord(const char *db, void *dest) {
  int index = 0;
  int found = 0;
  WalkFile(db, [&](const Record &r) {
    if (index++ < nextRecord) return true;
    found = r.valueLength();
    if (dest && found) memcpy(dest, r.value(), static_cast<size_t>(found));
    nextRecord++;
    return false;
  });
  return found;
}

int DbmDeleteRecord(const char *db, const char *key) {
  if (!db || !*db || !key) return 0;
  return Rewrite(db, key, 0, nullptr, true);
}

int DbmDeleteRecords(const char *db, const char *prefix) {
  if (!db || !*db || !prefix || !*prefix) return 0;
  return Rewrite(db, prefix, strlen(prefix), nullptr, true);
}

int DbmCopyRecord(const char *db, const char *from, const char *to) {
  if (!db || !from || !to) return 0;
  std::unique_ptr<unsigned char[]> value(new unsigned char[kMaxPayload]);
  int length = FindValue(db, from, value.get());
  if (length == 0) return 0;
  return DbmPutRecord(db, to, value.get(), length);
}

char *DbmGetRecordList(const char *db, const char *separator, const char *tail) {
  std::string list;
  bool any = false;
  if (!separator) separator = "";
  WalkFile(db, [&](const Record &r) {
    list += separator;
    list += r.key();
    any = true;
    return true;
  });
  if (!any) return nullptr;
  if (tail) list += tail;
  return SaveBytes(list);
}

DbLinkNode *DbmGetDbLinkList(const char *db, const char *pattern) {
  DbLinkNode *first = nullptr;
  DbLinkNode **link = &first;
  WalkFile(db, [&](const Record &r) {
    if (pattern && *pattern && !strstr(r.key(), pattern)) return true;
    DbLinkNode *node = static_cast<DbLinkNode *>(GetMem(sizeof(DbLinkNode)));
    char *data = static_cast<char *>(GetMem(static_cast<int>(r.L - 2)));
    if (!node || !data) {
      PutMem(node);
      PutMem(data);
      return false;
    }
    memcpy(data, r.key(), r.L - 2);
    node->data = data;
    node->value = data + r.K;
    node->valueLength = r.valueLength();
    *link = node;
    link = &node->next;
    return true;
  });
  return first;
}

void DbmFreeDbLinkList(DbLinkNode *list) {
  while (list) {
    DbLinkNode *next = list->next;
    PutMem(list->data);
    PutMem(list);
    list = next;
  }
}

char *DbmGetDbList(int blank) {
  DIR *dir = opendir(DbDir().c_str());
  if (!dir) return nullptr;
  char sep = blank ? ' ' : ',';
  std::string list = blank ? " " : "";
  bool first = true;
  while (struct dirent *e = readdir(dir)) {
    const char *dot = strchr(e->d_name, '.');
    if (!dot || dot == e->d_name || strcmp(dot, ".vdb") != 0) continue;
    std::string name(e->d_name, static_cast<size_t>(dot - e->d_name));
    if (name.find_first_of(" ,") != std::string::npos) continue;
    if (!first) list += sep;
    list += name;
    first = false;
  }
  closedir(dir);
  return SaveBytes(list);
}

const char *DumpDbm(const char *name) {
  if (!name) return name;
  std::string path = std::string(name) + ".db";
  int fd;
  struct stat st;
  FILE *fp = nullptr;
  if (OpenExisting(path, &fd, &st) == Open::kOk && !(fp = fdopen(fd, "rb"))) close(fd);
  if (!fp) {
    fprintf(stderr, "ERROR: can't open file, %s\n", path.c_str());
    return name;
  }
  std::unique_ptr<Record> r(new Record);
  while (GetData(fp, r.get()) == 1) {
    printf("%i %i ==>{", static_cast<int>(r->L), static_cast<int>(r->K));
    for (size_t i = 2; i < r->L; i++) {
      unsigned char c = r->payload()[i];
      putchar(IsShown(c) ? c : '.');
    }
    fputs("}\n", stdout);
  }
  fclose(fp);
  return name;
}

const char *DbmCreate(const char *db) { return db; }

const char *DbmDelete(const char *db) { return db; }

int DbmSetV4DriverPathHandling(int x) {
  fullPathMode = true;
  return x;
}

}  // extern "C"

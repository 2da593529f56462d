/* Record database, internals shared by the file calls (Dbm_files.cpp) and the typed calls
 * (Dbm_typed.cpp): byte order, the XOR chain, paths, the writers' directory lock, opening an
 * existing file safely, and writing the replacement copy.
 */
#ifndef COMMON_DBM_INTERNAL_H
#define COMMON_DBM_INTERNAL_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <string>

#include "Dbm.h"

namespace dbm {

constexpr int kMaxPayload = DBM_MAX_PAYLOAD;
constexpr int kMaxTyped = 65535; /* largest T of a typed record */
constexpr int kMaxKey = DBM_MAX_KEY;
constexpr int kHeader = DBT_HEADER_SIZE;
constexpr int kTries = 10; /* opens retried on transient errors, one second apart */

inline unsigned GetBE16(const unsigned char *p) { return (unsigned(p[0]) << 8) | p[1]; }
inline void PutBE16(unsigned char *p, unsigned v) {
  p[0] = static_cast<unsigned char>(v >> 8);
  p[1] = static_cast<unsigned char>(v);
}

/* Chains n bytes in place: each byte but the last becomes itself XOR the plain byte after
 * it; the last stays plain. */
inline void ChainEncode(unsigned char *p, size_t n) {
  for (size_t i = 0; i + 1 < n; i++) p[i] ^= p[i + 1];
}
/* Undoes ChainEncode, from the end. */
inline void ChainDecode(unsigned char *p, size_t n) {
  if (n < 2) return;
  for (size_t i = n - 1; i-- > 0;) p[i] ^= p[i + 1];
}

/* Why a record ends a walk; null when it is sound. */
extern const char kWhyShort[];     /* fewer bytes left than the length fields */
extern const char kWhyPastEnd[];   /* the record runs past the end */
extern const char kWhyTooShort[];  /* length too small to hold a key */
extern const char kWhyKeyLength[]; /* key length 0 or past the record */
extern const char kWhyNoNul[];     /* the key does not end in a NUL */

/* Checks a decoded plain payload (key length, key, value) of L bytes. */
const char *CheckPlainPayload(const unsigned char *p, size_t L);

/* "<pToolPath>/db", pToolPath null read as ".". */
std::string DbDir();
/* Directory part of a path ("." when it has none). */
std::string DirOf(const std::string &path);

/* Makes sure the directory of target exists: the tool's db directory (made 0777) and then
 * every missing directory down to target's own (made with the usual umask). Returns false
 * with errno set. */
bool MakeDirFor(const std::string &target);

/* An exclusive flock on a directory, held while the object lives. */
class DirLock {
 public:
  explicit DirLock(const std::string &dir);
  ~DirLock();
  DirLock(const DirLock &) = delete;
  DirLock &operator=(const DirLock &) = delete;
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

/* Result of opening an existing database file. */
enum class Open { kOk, kMissing, kUnreadable };

/* Opens path for reading without blocking on a FIFO and without following the path into a
 * directory or device: only a regular file opens. Retries on transient errors (up to kTries,
 * one second apart). On kOk *fd is the descriptor and *st its status. */
Open OpenExisting(const std::string &path, int *fd, struct stat *st);

/* Creates the replacement copy (0666 exactly, a link at its name removed). Prints
 * "ERROR: can't open file, <copy>\n" and returns null on failure. */
FILE *OpenNewDataBase(const std::string &target, const std::string &copy);
/* Syncs, closes and renames copy over target. On failure prints "ERROR: Can't write to
 * <name>", removes the copy and returns 0. */
int RenameDataBase(FILE *fp, const std::string &copy, const std::string &target, const char *name);
/* Prints "ERROR: Can't write to <name>" (no line end). */
void ReportWrite(const char *name);

/* The module-wide full-path mode (DbmSetV4DriverPathHandling, DbTClose). */
extern bool fullPathMode;

/* Managed copy of len bytes of text plus a NUL; null when memory runs out. */
char *SaveBytes(const std::string &text);

}  // namespace dbm

#endif

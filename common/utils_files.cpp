/* Files, directories and paths: whole-file reads, the one-file line reader, opening with a
 * uniform error policy, existence/size/time tests, filtered listings, the deepest existing
 * ancestor of a path, and removal and renaming through the command table.
 *
 * Paths are formatted into fixed buffers; a path that does not fit is never used cut: the
 * call fails as if the file were missing.
 */
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "MemMgr.h"
#include "SysCmd.h"
#include "utils.h"

int LineLen = 0;
FILE *pIn = nullptr;
char InputFileName[256] = "";
int FileStatus = 1; /* no file open yet */
int SavedFileSize = 0;

namespace {

constexpr int kPathSize = 256;          /* InputFileName, FindFile_, GetFileContentR, ... */
constexpr int kFormattedPathSize = 512; /* OpenInputFileF, OpenFileF */
constexpr int kLongPathSize = 4096;     /* FindExistingPath */
constexpr int kFirstPieceSize = 511;    /* first physical line: at most 510 characters */
constexpr int kSearchLineSize = 511;    /* FileSearch lines: at most 510 characters */

/* Formats dir/name into buf: both given gives "dir/name", otherwise whichever is given is the
 * whole path. Returns false (buf emptied) when neither is given or the path does not fit. */
bool JoinPath(char *buf, size_t size, const char *dir, const char *name) {
  int n;
  if (dir && name) {
    n = snprintf(buf, size, "%s/%s", dir, name);
  } else if (dir || name) {
    n = snprintf(buf, size, "%s", dir ? dir : name);
  } else {
    n = -1;
  }
  if (n < 0 || static_cast<size_t>(n) >= size) {
    buf[0] = '\0';
    errno = ENAMETOOLONG;
    return false;
  }
  return true;
}

/* Reads up to count bytes, going on after short reads. Returns the bytes read, -1 on error. */
ssize_t ReadFully(int fd, char *buf, size_t count) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = read(fd, buf + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

/* Opens path read-only and reads at most count bytes into buf, terminated after what was
 * read. Returns false when the file cannot be opened or read (buf then empty). */
bool ReadFileInto(const char *path, char *buf, size_t count) {
  int fd = open(path, O_RDONLY);
  if (fd < 0) return false;
  ssize_t n = ReadFully(fd, buf, count);
  close(fd);
  buf[n < 0 ? 0 : n] = '\0';
  return n >= 0;
}

/* Skips the rest of a logical line that did not fit into LineBuf: everything up to a newline
 * that is not preceded by a backslash. prev is the last character already taken. */
void SkipRestOfLogicalLine(int prev) {
  int c;
  while ((c = getc(pIn)) != EOF) {
    if (c == '\n' && prev != '\\') return;
    prev = c;
  }
}

/* Closes old and reports a failed open according to report (see OpenFile). */
FILE *OpenFailed(FILE *old, const char *path, int report) {
  int saved = errno;
  if (old) fclose(old);
  errno = saved;
  if (report == REPORT_FATAL) SysError("can't open file, %s", path);
  if (report == REPORT_WARN) fprintf(stderr, "ERROR: can't open file, %s\n", path);
  return nullptr;
}

/* Failure branch of the line reader's open: message per report level (level 2 ends the
 * program with status 0), then the "last open failed" state. */
int InputOpenFailed(const char *shown, int report) {
  ErrorMsg(report, 0, "can't open file, %s", shown);
  FileStatus = 2;
  LineBuf[0] = '\0';
  LineLen = 0;
  return 0;
}

/* Splits path into its directory and last name for an existence test, ignoring trailing
 * slashes: "/a/b/" gives "/a" and "b", "b" gives "." and "b", "/b" gives "/" and "b". */
void SplitDirName(const char *path, std::string &dir, std::string &name) {
  std::string p(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  size_t slash = p.rfind('/');
  if (slash == std::string::npos) {
    dir = ".";
    name = p;
  } else {
    dir = slash == 0 ? "/" : p.substr(0, slash);
    name = p.substr(slash + 1);
  }
}

/* 1 when the last name of path is listed in its directory (FindFile's test). */
int ExistsInParent(const char *path) {
  std::string dir, name;
  SplitDirName(path, dir, name);
  if (name.empty()) return 0;
  return FindFile(dir.c_str(), name.c_str());
}

}  // namespace

/* ---- Whole-file reads ---- */

/* Reads dir/name (dir alone when name is null) into LineBuf: at most 4095 bytes, terminated.
 * The joined path is formatted into LineBuf itself, so a missing file leaves it there.
 * Returns 1 when the file was read, 0 when it cannot be opened or its path does not fit. */
int GetFileContent(const char *dir, const char *name) {
  const char *path = dir;
  if (name) {
    char joined[LINEBUF_SIZE];
    if (!JoinPath(joined, sizeof joined, dir, name)) {
      LineBuf[0] = '\0';
      return 0;
    }
    memcpy(LineBuf, joined, strlen(joined) + 1); /* dir may itself be LineBuf */
    path = LineBuf;
  }
  if (!path) return 0;
  int fd = open(path, O_RDONLY);
  if (fd < 0) return 0;
  ssize_t n = ReadFully(fd, LineBuf, LINEBUF_SIZE - 1);
  close(fd);
  LineBuf[n < 0 ? 0 : n] = '\0';
  return n >= 0;
}

/* Reads at most size bytes of dir/name (dir alone when name is null) into buf, which must
 * hold size + 1 bytes; terminated after what was read. Returns 1/0. */
int GetFileContentR(const char *dir, const char *name, char *buf, int size) {
  char path[kPathSize];
  if (!buf) return 0;
  buf[0] = '\0';
  if (!JoinPath(path, sizeof path, dir, name)) return 0;
  return ReadFileInto(path, buf, size > 0 ? static_cast<size_t>(size) : 0) ? 1 : 0;
}

/* The whole file dir/name (dir alone when name is null) in a new managed block, terminated;
 * null for an empty, missing or unreadable file. SavedFileSize receives the number of bytes
 * in the block (0 when null is returned). The caller releases the block with PutMem. */
char *GetSavedFileContent(const char *dir, const char *name) {
  char path[kPathSize];
  SavedFileSize = 0;
  if (!JoinPath(path, sizeof path, dir, name)) return nullptr;
  int size = GetFileSize(path);
  SavedFileSize = size;
  if (size <= 0) return nullptr;
  char *block = size < INT_MAX ? static_cast<char *>(GetMem(size + 1)) : nullptr;
  if (!block) {
    ErrorMsg(REPORT_WARN, 0, "Unable to allocate memory");
    SavedFileSize = 0;
    return nullptr;
  }
  /* The file may have shrunk since it was measured: only what was read counts. */
  int fd = open(path, O_RDONLY);
  ssize_t n = fd < 0 ? -1 : ReadFully(fd, block, static_cast<size_t>(size));
  if (fd >= 0) close(fd);
  if (n < 0) {
    PutMem(block);
    SavedFileSize = 0;
    return nullptr;
  }
  block[n] = '\0';
  SavedFileSize = static_cast<int>(n);
  return block;
}

/* ---- The line reader ---- */

/* Opens path as the reader's input (closing the previous one). Returns 1, or 0 after the
 * report: 0 silent, 1 warning, 2 "ERROR: can't open file, <path>" and exit status 0. A path
 * longer than InputFileName holds fails the same way. */
int OpenInputFile(const char *path, int report) {
  if (pIn) {
    fclose(pIn);
    pIn = nullptr;
  }
  if (!path) {
    InputFileName[0] = '\0';
    return InputOpenFailed("", report);
  }
  if (strlen(path) >= sizeof InputFileName) {
    InputFileName[0] = '\0';
    return InputOpenFailed(path, report);
  }
  if (path != InputFileName) memcpy(InputFileName, path, strlen(path) + 1);
  pIn = fopen(InputFileName, "rt");
  if (!pIn) return InputOpenFailed(InputFileName, report);
  FileStatus = 0;
  return 1;
}

/* OpenInputFile of the formatted path (512 bytes at most). */
int OpenInputFileF(int report, const char *fmt, ...) {
  char path[kFormattedPathSize];
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(path, sizeof path, fmt, ap);
  va_end(ap);
  if (n < 0 || static_cast<size_t>(n) >= sizeof path) {
    if (pIn) {
      fclose(pIn);
      pIn = nullptr;
    }
    InputFileName[0] = '\0';
    return InputOpenFailed(path, report);
  }
  return OpenInputFile(path, report);
}

namespace {

/* Reads one physical line into buf: at most max characters, NUL bytes kept; buf can take cap
 * characters (cap >= max) and the terminating NUL. Returns the characters read, 0 at end of
 * file. A newline right after max characters still ends the line (kept when it fits). A line
 * that goes on (also one whose backslash-newline does not fit) sets *over, with the rest of
 * its logical line skipped. */
size_t ReadPiece(char *buf, size_t max, size_t cap, bool *over) {
  size_t n = 0;
  int c = EOF;
  while (n < max && (c = getc(pIn)) != EOF) {
    buf[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  *over = false;
  if (n == max && c != '\n' && (c = getc(pIn)) != EOF) {
    if (c == '\n') {
      if (n < cap) {
        buf[n++] = '\n';
      } else if (buf[n - 1] == '\\') {
        /* A continuation whose newline no longer fits: the line goes on beyond the buffer. */
        *over = true;
        SkipRestOfLogicalLine('\n');
      }
    } else {
      ungetc(c, pIn);
      *over = true;
      SkipRestOfLogicalLine(static_cast<unsigned char>(buf[n - 1]));
    }
  }
  buf[n] = '\0';
  return n;
}

/* True when the n characters at piece end in backslash-newline: the line goes on. */
bool Continues(const char *piece, size_t n) {
  return n >= 2 && piece[n - 2] == '\\' && piece[n - 1] == '\n';
}

}  // namespace

int LineCut = 0;

/* Reads the next logical line into LineBuf: one physical line of at most 510 characters,
 * continued while a piece ends in backslash-newline, up to the 4095 characters LineBuf holds
 * (the pairs stay in the text). A logical line that does not fit is cut, the rest of it
 * skipped (never read as a line of its own) and LineCut set. LineLen is the length before the
 * last piece appended. At end of file the reader closes the file (FileStatus 1) and returns 0. */
int GetFileLine(void) {
  LineCut = 0;
  if (!pIn) return 0;
  bool over = false;
  size_t len = ReadPiece(LineBuf, kFirstPieceSize - 1, LINEBUF_SIZE - 1, &over);
  if (len == 0) {
    LineBuf[0] = '\0';
    LineLen = 0;
    fclose(pIn);
    pIn = nullptr;
    FileStatus = 1;
    return 0;
  }
  LineLen = 0;
  size_t start = 0;
  while (!over && Continues(LineBuf + start, len)) {
    size_t next = start + len;
    size_t room = LINEBUF_SIZE - 1 - next; /* characters that still fit */
    if (room == 0) {
      SkipRestOfLogicalLine('\n');
      over = true;
      break;
    }
    size_t got = ReadPiece(LineBuf + next, room, room, &over);
    if (got == 0) break;
    start = next;
    LineLen = static_cast<int>(start);
    len = got;
  }
  LineCut = over ? 1 : 0;
  return 1;
}

/* Reads lines until one that does not begin with "#" and holds a token (split with delims);
 * LineBuf then holds that first token alone. Returns 1, or 0 at end of file or for null
 * delims. Uses the shared tokenizer. */
int GetFileTextLine(const char *delims) {
  if (!delims) return 0;
  while (GetFileLine()) {
    if (LineBuf[0] == '#') continue;
    const char *token = GetToken(LineBuf, delims);
    if (!token) continue;
    snprintf(LineBuf, sizeof LineBuf, "%s", token);
    return 1;
  }
  return 0;
}

/* Closes the reader's file, if any (FileStatus 1). Returns x. */
int CloseInputFile(int x) {
  if (pIn) {
    fclose(pIn);
    pIn = nullptr;
    FileStatus = 1;
  }
  return x;
}

/* ---- Opening and writing ---- */

/* Closes old (when given), then opens path with the fopen mode. On failure: report 2 ends
 * the program through SysError (status 1), report 1 prints "ERROR: can't open file, <path>"
 * on standard error; null is returned. */
FILE *OpenFile(FILE *old, const char *path, const char *mode, int report) {
  if (!path || !mode) {
    errno = EINVAL;
    return OpenFailed(old, path ? path : "", report);
  }
  if (old) fclose(old);
  FILE *f = fopen(path, mode);
  if (!f) return OpenFailed(nullptr, path, report);
  return f;
}

/* OpenFile of the formatted path (512 bytes at most; a longer one fails as a missing file). */
FILE *OpenFileF(FILE *old, const char *mode, int report, const char *fmt, ...) {
  char path[kFormattedPathSize];
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(path, sizeof path, fmt, ap);
  va_end(ap);
  if (n < 0 || static_cast<size_t>(n) >= sizeof path) {
    errno = ENAMETOOLONG;
    return OpenFailed(old, path, report);
  }
  return OpenFile(old, path, mode, report);
}

/* open(2) of path; new files get 0666 less the umask. On failure prints
 * "ERROR: can't open file, <path>" (no newline) on standard output. Returns the descriptor or
 * the negative result. */
int OpenRawFile(const char *path, int flags) {
  int fd = path ? open(path, flags, 0666) : -1;
  if (fd < 0) printf("ERROR: can't open file, %s", path ? path : "");
  return fd;
}

/* Writes the formatted text to path opened with mode ("wt", "at", ...) and, when perm is
 * non-zero, sets the file's permission bits to perm. Returns 1, or 0 when the file cannot be
 * opened ("ERROR: couldn't open <path>") or the text cannot be written. */
int CreateTextFile(const char *path, const char *mode, int perm, const char *fmt, ...) {
  FILE *f = (path && mode) ? fopen(path, mode) : nullptr;
  if (!f) {
    fprintf(stderr, "ERROR: couldn't open %s\n", path ? path : "");
    return 0;
  }
  va_list ap;
  va_start(ap, fmt);
  int written = vfprintf(f, fmt, ap);
  va_end(ap);
  bool ok = written >= 0 && fflush(f) == 0;
  if (perm && fchmod(fileno(f), static_cast<mode_t>(perm)) != 0) ok = false;
  if (fclose(f) != 0) ok = false;
  if (!ok) fprintf(stderr, "ERROR: couldn't write %s\n", path);
  return ok ? 1 : 0;
}

/* The first line of path holding pattern (the first line at all for a null or empty
 * pattern), at most 510 characters, in a static 512-byte buffer; null when none or the
 * file cannot be opened (reported per report, as OpenFile). */
char *FileSearch(const char *path, const char *pattern, int report) {
  static char found[512];
  found[0] = '\0';
  FILE *f = OpenFile(nullptr, path, "rt", report);
  if (!f) return nullptr;
  bool hit = false;
  while (fgets(found, kSearchLineSize, f)) {
    if (!pattern || !*pattern || strstr(found, pattern)) {
      hit = true;
      break;
    }
  }
  fclose(f);
  if (!hit) found[0] = '\0';
  return hit ? found : nullptr;
}

/* ---- Names and tests ---- */

/* 1 when stat succeeds on dir/name (or on whichever of the two is given). */
int FindFile_(const char *dir, const char *name) {
  char path[kPathSize];
  struct stat st;
  if (!dir && (!name || !*name)) return 0;
  if (!JoinPath(path, sizeof path, dir, name)) return 0;
  return stat(path, &st) == 0 ? 1 : 0;
}

/* Size in bytes (INT_MAX for larger files), 0 when path cannot be examined. */
int GetFileSize(const char *path) {
  struct stat st;
  if (!path || stat(path, &st) != 0) return 0;
  return st.st_size > INT_MAX ? INT_MAX : static_cast<int>(st.st_size);
}

/* Modification time in seconds since the epoch, 0 when path cannot be examined. */
int GetFileTime(const char *path) {
  struct stat st;
  if (!path || stat(path, &st) != 0) return 0;
  return static_cast<int>(st.st_mtime);
}

/* The longest leading part of path that exists (trailing slashes ignored), walking up
 * parent by parent; the walk ends at "/" for absolute paths and "." for relative ones. Sets
 * *exists to 1 when that is path itself and leaves it alone otherwise. Returns a managed
 * copy, or null for a null path or one longer than 4095 characters. */
char *FindExistingPath(const char *path, int *exists) {
  char buf[kLongPathSize];
  if (!path) return nullptr;
  size_t len = strlen(path);
  if (len >= sizeof buf) return nullptr;
  memcpy(buf, path, len + 1);
  while (len > 1 && buf[len - 1] == '/') buf[--len] = '\0';
  if (len == 0) snprintf(buf, sizeof buf, ".");
  const std::string wanted(buf);

  while (strcmp(buf, "/") != 0 && strcmp(buf, ".") != 0 && !ExistsInParent(buf)) {
    std::string dir, name;
    SplitDirName(buf, dir, name);
    snprintf(buf, sizeof buf, "%s", dir.c_str()); /* a parent is never longer */
  }
  if (len > 0 && wanted == buf && exists) *exists = 1;
  return SaveStr_(buf);
}

/* Managed listing " a.cfg b.x.cfg " of the entries of dir whose text after their last "."
 * is ext (every entry but "." and ".." when ext is null), in directory order; null when
 * the directory cannot be opened or nothing matches. */
char *SearchDirFileList(const char *dir, const char *ext) {
  if (!dir) return nullptr;
  DIR *d = opendir(dir);
  if (!d) return nullptr;
  size_t sum = 0;
  struct dirent *e;
  while ((e = readdir(d)) != nullptr) sum += strlen(e->d_name) + 1;
  if (sum + 3 > INT_MAX) {
    closedir(d);
    return nullptr;
  }
  const size_t cap = sum + 3;
  char *list = static_cast<char *>(GetMem(static_cast<int>(cap)));
  if (!list) {
    closedir(d);
    return nullptr;
  }
  rewinddir(d);
  size_t used = 0;
  while ((e = readdir(d)) != nullptr) {
    const char *n = e->d_name;
    if (strcmp(n, ".") == 0 || strcmp(n, "..") == 0) continue;
    if (ext) {
      const char *dot = strrchr(n, '.');
      if (!dot || strcmp(dot + 1, ext) != 0) continue;
    }
    size_t nl = strlen(n);
    if (used + 1 + nl + 2 > cap) continue; /* entries added since the first pass */
    list[used++] = ' ';
    memcpy(list + used, n, nl);
    used += nl;
  }
  closedir(d);
  if (used == 0) {
    PutMem(list);
    return nullptr;
  }
  list[used++] = ' ';
  list[used] = '\0';
  return list;
}

/* Removes path/name (path itself without a name) with rm -rf, log mode 1, when it exists.
 * Returns path. */
const char *DeleteFile_(const char *path, const char *name) {
  if (!path) return path;
  int found = name ? FindFile(path, name) : ExistsInParent(path);
  if (found) SysCmd(CMD_RM_R, LOG_WARN, "%s%s%s", path, name ? "/" : "", name ? name : "");
  return path;
}

/* Renames dir/name to dir/newname, or (without dir) the path name to the path newname, with
 * mv -f on the terminal, log mode 1, when the source exists. */
void RenameFile(const char *dir, const char *name, const char *newname) {
  if (!name || !newname) return;
  if (dir) {
    if (FindFile(dir, name)) SysCmd(-CMD_MV, LOG_WARN, "%s/%s %s/%s", dir, name, dir, newname);
  } else if (ExistsInParent(name)) {
    SysCmd(-CMD_MV, LOG_WARN, "%s %s", name, newname);
  }
}

/* The SVR4 package database of the stand-ins, and their file-system helpers: everything is
 * done with system calls, no command is run. */
#include "svr4db.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "utils.h"

namespace svr4 {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

/* The umask of this process (read once: the tools never change it). */
mode_t CurrentUmask() {
  static const mode_t m = [] {
    mode_t old = umask(0);
    umask(old);
    return old;
  }();
  return m;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

/* A number of at most 9 digits, so that it fits every id type. */
bool SmallNumber(std::string_view s, unsigned long *value) {
  if (!AllDigits(s) || s.size() > 9) return false;
  *value = 0;
  for (char c : s) *value = *value * 10 + static_cast<unsigned long>(c - '0');
  return true;
}

bool WriteAll(int fd, const char *data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

/* Copies size bytes (fewer when the file ends sooner) from the start of from to to, in the
 * kernel where it can (one call for a file of a package), else through a buffer. */
bool CopyData(int from, int to, off_t size) {
  off_t done = 0;
  while (done < size) {
    ssize_t n = sendfile(to, from, nullptr, static_cast<size_t>(size - done));
    if (n > 0) {
      done += n;
      continue;
    }
    if (n == 0) return true;
    if (errno == EINTR) continue;
    if (done == 0 && (errno == EINVAL || errno == ENOSYS)) break;
    return false;
  }
  if (done == size) return true;
  static char buf[1 << 17];
  for (;;) {
    ssize_t n = read(from, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    if (!WriteAll(to, buf, static_cast<size_t>(n))) return false;
  }
}

/* A user or group id of a passwd or group line: at most 10 digits, below (id_t)-1. */
bool ParseId(std::string_view s, long *value) {
  if (!AllDigits(s) || s.size() > 10) return false;
  unsigned long long v = 0;
  for (char c : s) v = v * 10 + static_cast<unsigned long long>(c - '0');
  if (v >= 0xffffffffULL) return false;
  *value = static_cast<long>(v);
  return true;
}

/* The names of /etc/passwd or /etc/group: the file is read at the first lookup, and every
 * name asked for is kept with its id. */
struct NameTable {
  const char *file;
  std::map<std::string, long> cache;
  std::string text;
  bool read = false;

  explicit NameTable(const char *path) : file(path) {}

  /* Name (from the file) or number to an id; -1 when unknown. */
  long Lookup(const std::string &name) {
    auto it = cache.find(name);
    if (it != cache.end()) return it->second;
    if (!read) {
      read = true;
      if (!ReadFile(file, &text)) text.clear();
    }
    long id = name.empty() ? -1 : IdFromFile(text, name);
    unsigned long n;
    if (id < 0 && SmallNumber(name, &n)) id = static_cast<long>(n);
    cache.emplace(name, id);
    return id;
  }
};

}  // namespace

long IdFromFile(const std::string &text, std::string_view name) {
  std::string_view rest(text);
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    size_t c1 = line.find(':');
    if (c1 == std::string_view::npos || line.substr(0, c1) != name) continue;
    size_t c2 = line.find(':', c1 + 1);
    if (c2 == std::string_view::npos) continue;
    size_t c3 = line.find(':', c2 + 1);
    long id;
    if (ParseId(line.substr(c2 + 1, c3 == std::string_view::npos ? c3 : c3 - c2 - 1), &id))
      return id;
  }
  return -1;
}

void Error(const char *prog, const std::string &text) {
  fflush(stdout);
  fprintf(stderr, "%s: ERROR: %s\n", prog, text.c_str());
}

void Warning(const char *prog, const std::string &text) {
  fflush(stdout);
  fprintf(stderr, "%s: WARNING: %s\n", prog, text.c_str());
}

std::vector<std::string_view> Fields(std::string_view line, size_t n) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (out.size() < n) {
    while (i < line.size() && IsBlank(line[i])) i++;
    if (i == line.size()) break;
    size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) i++;
    out.push_back(line.substr(start, i - start));
  }
  return out;
}

std::string_view FirstField(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) i++;
  size_t start = i;
  while (i < line.size() && !IsBlank(line[i])) i++;
  return line.substr(start, i - start);
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

bool IsRecordWord(std::string_view word) {
  if (word.empty()) return false;
  for (char c : word) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7f) return false;
  }
  return true;
}

bool IsPackageName(std::string_view name) {
  return IsRecordWord(name) && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos;
}

std::string PkginfoValue(std::string_view text, std::string_view key) {
  for (std::string_view line : Lines(text)) {
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=') {
      std::string_view v = line.substr(key.size() + 1);
      if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
      return std::string(v);
    }
  }
  return std::string();
}

bool ReadFile(const std::string &path, std::string *text) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  int err = fstat(fd, &st) != 0   ? errno
            : S_ISREG(st.st_mode) ? 0
            : S_ISDIR(st.st_mode) ? EISDIR
                                  : EINVAL;
  if (err != 0) {
    close(fd);
    errno = err;
    return false;
  }
  // Room for the whole file and one byte more: one read takes it, the next one sees its end.
  size_t have = 0;
  text->resize(static_cast<size_t>(st.st_size) + 1);
  for (;;) {
    if (have == text->size()) text->resize(text->size() * 2);
    ssize_t n = read(fd, &(*text)[have], text->size() - have);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      close(fd);
      text->clear();
      errno = err;
      return false;
    }
    if (n == 0) break;
    have += static_cast<size_t>(n);
  }
  text->resize(have);
  close(fd);
  return true;
}

std::string DirName(const std::string &path) {
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') end--;  // trailing slashes
  size_t slash = path.rfind('/', end - 1);
  if (end == 0 || slash == std::string::npos) return ".";
  while (slash > 0 && path[slash - 1] == '/') slash--;
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool MakeDirs(const std::string &path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  // Mostly only the last level is missing: one call makes it.
  if (errno == ENOENT && mkdir(path.c_str(), 0777) == 0) return true;
  mode_t um = CurrentUmask();
  size_t pos = 0;
  while (pos < path.size()) {
    size_t next = path.find('/', pos + 1);
    if (next == std::string::npos) next = path.size();
    std::string part = path.substr(0, next);
    pos = next;
    if (part.empty() || part.back() == '/') continue;
    bool last = next >= path.size() || path.find_first_not_of('/', next) == std::string::npos;
    if (mkdir(part.c_str(), 0777) == 0) {
      // Parents must stay usable for the next level, whatever the umask.
      if (!last && (um & 0300)) chmod(part.c_str(), ((0777 & ~um) | 0300));
      continue;
    }
    if (errno != EEXIST) return false;
    if (stat(part.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
      errno = ENOTDIR;
      return false;
    }
  }
  return true;
}

bool ParseMode(std::string_view text, mode_t *mode) {
  if (text.empty() || text.size() > 5) return false;
  mode_t m = 0;
  for (char c : text) {
    if (c < '0' || c > '7') return false;
    m = m * 8 + static_cast<mode_t>(c - '0');
  }
  if (m > 07777) return false;
  *mode = m;
  return true;
}

bool LookupUser(const std::string &name, uid_t *uid) {
  static NameTable users("/etc/passwd");
  long id = users.Lookup(name);
  if (id < 0) return false;
  *uid = static_cast<uid_t>(id);
  return true;
}

bool LookupGroup(const std::string &name, gid_t *gid) {
  static NameTable groups("/etc/group");
  long id = groups.Lookup(name);
  if (id < 0) return false;
  *gid = static_cast<gid_t>(id);
  return true;
}

namespace {

/* The ids and mode that the fields ask for; "?" leaves the -1 / keep markers. */
struct Wanted {
  uid_t uid = static_cast<uid_t>(-1);
  gid_t gid = static_cast<gid_t>(-1);
  bool setMode = false;
  mode_t mode = 0;
};

bool ResolveAttributes(const std::string &mode, const std::string &owner, const std::string &group,
                       Wanted *w) {
  if (owner != "?" && !LookupUser(owner, &w->uid)) return false;
  if (group != "?" && !LookupGroup(group, &w->gid)) return false;
  if (mode != "?") {
    if (!ParseMode(mode, &w->mode)) return false;
    w->setMode = true;
  }
  return true;
}

}  // namespace

bool ApplyAttributes(const std::string &path, const std::string &mode, const std::string &owner,
                     const std::string &group) {
  Wanted w;
  if (!ResolveAttributes(mode, owner, group, &w)) return false;
  if ((w.uid != static_cast<uid_t>(-1) || w.gid != static_cast<gid_t>(-1)) &&
      chown(path.c_str(), w.uid, w.gid) != 0)
    return false;
  if (w.setMode) {
    mode_t m = w.mode;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    // As chmod(1) does with an octal mode: a directory keeps set-id bits it inherited.
    if (S_ISDIR(st.st_mode)) m |= st.st_mode & (S_ISUID | S_ISGID);
    if ((st.st_mode & 07777) != m && chmod(path.c_str(), m) != 0) return false;
  }
  return true;
}

bool ApplyAttributesStat(const std::string &path, const struct stat &st, const std::string &mode,
                         const std::string &owner, const std::string &group) {
  Wanted w;
  if (!ResolveAttributes(mode, owner, group, &w)) return false;
  // A change of owner may clear set-id bits: then the mode is decided after it, as usual.
  if ((w.uid != static_cast<uid_t>(-1) && w.uid != st.st_uid) ||
      (w.gid != static_cast<gid_t>(-1) && w.gid != st.st_gid))
    return ApplyAttributes(path, mode, owner, group);
  if (!w.setMode) return true;
  mode_t m = w.mode;
  if (S_ISDIR(st.st_mode)) m |= st.st_mode & (S_ISUID | S_ISGID);
  return (st.st_mode & 07777) == m || chmod(path.c_str(), m) == 0;
}

int OpenSource(const std::string &path, struct stat *st) {
  // O_NONBLOCK: a FIFO in the package must not block the open (it is refused below).
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  int err = fstat(fd, st) != 0 ? errno : S_ISREG(st->st_mode) ? 0 : EINVAL;
  if (err != 0) {
    close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

namespace {

/* Fills out, a new file open for writing, with the data of in, then gives it its owner and
 * mode. */
bool FillFile(int in, const struct stat &src, int out, const Wanted &w) {
  if (!CopyData(in, out, src.st_size)) return false;
  // Owner before mode: changing the owner clears set-id bits.
  if ((w.uid != static_cast<uid_t>(-1) || w.gid != static_cast<gid_t>(-1)) &&
      fchown(out, w.uid, w.gid) != 0)
    return false;
  return fchmod(out, w.mode) == 0;
}

/* Replaces the existing target: a new file beside it, renamed over it. */
bool ReplaceFile(int in, const struct stat &src, const std::string &target, Wanted w,
                 const std::string &owner, const std::string &group) {
  struct stat old;
  bool hadFile = lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  if (!w.setMode) w.mode = hadFile ? (old.st_mode & 07777) : (src.st_mode & 0777 & ~CurrentUmask());
  if (hadFile && owner == "?") w.uid = old.st_uid;
  if (hadFile && group == "?") w.gid = old.st_gid;

  char name[32];
  snprintf(name, sizeof name, "/.pkgadd%ld", static_cast<long>(getpid()));
  std::string copy = DirName(target) + name;
  if (unlink(copy.c_str()) != 0 && errno != ENOENT) return false;
  int out = open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (out < 0) return false;
  bool ok = FillFile(in, src, out, w);
  int err = errno;
  if (close(out) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(copy.c_str(), target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(copy.c_str());
    errno = err;
  }
  return ok;
}

}  // namespace

bool InstallFileFrom(int in, const struct stat &src, const std::string &target,
                     const std::string &mode, const std::string &owner, const std::string &group) {
  Wanted w;
  if (!ResolveAttributes(mode, owner, group, &w)) {
    errno = EINVAL;
    return false;
  }
  // Nothing there yet: the file is made in place (a file, a link or anything else there makes
  // this fail, and goes the other way).
  int out = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (out < 0) {
    if (errno != EEXIST) return false;
    // Something is there (a file, a link, anything): replaced, never written through.
    return ReplaceFile(in, src, target, w, owner, group);
  }
  if (!w.setMode) w.mode = src.st_mode & 0777 & ~CurrentUmask();
  bool ok = FillFile(in, src, out, w);
  int err = errno;
  if (close(out) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(target.c_str());  // made by this call: no half-written file stays
    errno = err;
  }
  return ok;
}

bool InstallFile(const std::string &from, const std::string &target, const std::string &mode,
                 const std::string &owner, const std::string &group) {
  struct stat src;
  int in = OpenSource(from, &src);
  if (in < 0) return false;
  bool ok = InstallFileFrom(in, src, target, mode, owner, group);
  int err = errno;
  close(in);
  errno = err;
  return ok;
}

std::string ContentsPath(const std::string &root) { return root + "/var/sadm/install/contents"; }

std::string ContentsOpenError(ContentsStatus status, const std::string &root) {
  switch (status) {
    case kContentsOk:
      return "";
    case kContentsNoDir:
      return "cannot write the package database";
    case kContentsNoWrite:
      return "cannot write " + ContentsPath(root);
    case kContentsNoRead:
      break;
  }
  return "cannot update " + ContentsPath(root);
}

ContentsStatus ContentsOpen(Contents *db, const std::string &root) {
  db->dir = root + "/var/sadm/install";
  db->file = ContentsPath(root);
  db->text.clear();
  db->records.clear();
  db->latest.clear();
  if (!MakeDirs(db->dir)) return kContentsNoDir;
  db->lockFd = open(db->dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (db->lockFd < 0) return kContentsNoDir;
  while (flock(db->lockFd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ContentsClose(db);
      return kContentsNoDir;
    }
  }
  if (access(db->dir.c_str(), W_OK) != 0) {
    ContentsClose(db);
    return kContentsNoWrite;
  }
  struct stat st;
  db->exists = stat(db->file.c_str(), &st) == 0;
  if (db->exists) {
    if (!ReadFile(db->file, &db->text)) {
      ContentsClose(db);
      return kContentsNoRead;
    }
    db->mode = st.st_mode & 07777;
    db->uid = st.st_uid;
    db->gid = st.st_gid;
  } else if (errno != ENOENT) {
    ContentsClose(db);
    return kContentsNoRead;
  }
  return kContentsOk;
}

void ContentsPut(Contents *db, const std::string &record) {
  db->records.push_back(record);
  // The key views the record's own first field: deque elements never move.
  db->latest[FirstField(db->records.back())] = db->records.size() - 1;
}

bool ContentsHolds(const Contents *db, std::string_view record) {
  if (!db->records.empty()) return false;
  const std::string_view path = FirstField(record);
  if (path.empty()) return false;
  // Every place the path's text occurs; it is a record's path when only blanks stand before
  // it on its line and a blank or the line's end after it.
  const std::string_view text(db->text);
  bool found = false;
  size_t at = 0;
  while ((at = text.find(path, at)) != std::string_view::npos) {
    size_t start = at;
    while (start > 0 && IsBlank(text[start - 1])) start--;
    size_t after = at + path.size();
    size_t end = text.find('\n', after);
    if (end == std::string_view::npos) end = text.size();
    if ((start == 0 || text[start - 1] == '\n') && (after == end || IsBlank(text[after]))) {
      if (found || text.substr(start, end - start) != record) return false;
      found = true;
    }
    at = end;
  }
  return found;
}

bool ContentsCommit(Contents *db) {
  // An old line goes when its path was recorded again; of a path recorded several times in
  // this run only the last record stays, in its place.
  std::string out;
  out.reserve(db->text.size() + db->records.size() * 64 + 1);
  for (std::string_view line : Lines(db->text)) {
    if (db->latest.count(FirstField(line)) != 0) continue;
    out.append(line.data(), line.size());
    out += '\n';
  }
  for (size_t i = 0; i < db->records.size(); i++) {
    std::string_view path = FirstField(db->records[i]);
    auto it = db->latest.find(path);
    if (it != db->latest.end() && it->second != i) continue;
    out += db->records[i];
    out += '\n';
  }
  std::string copy = db->file + ".tmp";
  int mode = static_cast<int>(db->exists ? db->mode : (0666 & ~CurrentUmask()));
  int owner = db->exists ? static_cast<int>(db->uid) : -1;
  int group = db->exists ? static_cast<int>(db->gid) : -1;
  FILE *fp = OpenReplacement(copy.c_str(), mode, owner, group);
  bool ok = fp != nullptr;
  if (ok && !out.empty() && fwrite(out.data(), 1, out.size(), fp) != out.size()) {
    int err = errno;
    AbortReplacement(fp, copy.c_str());
    errno = err;
    ok = false;
  } else if (ok) {
    ok = CommitReplacement(fp, copy.c_str(), db->file.c_str()) == 1;
  }
  int err = errno;
  ContentsClose(db);
  errno = err;
  return ok;
}

void ContentsClose(Contents *db) {
  if (db->lockFd >= 0) close(db->lockFd);  // closing releases the lock
  db->lockFd = -1;
}

}  // namespace svr4

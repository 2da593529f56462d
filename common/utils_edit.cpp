/* Editing text files in place: the self-contained editors, the stream pair and GenName.
 *
 * Every edit writes a copy beside the edited file and renames it over the file only once the
 * whole copy is written, synced and closed (OpenReplacement/CommitReplacement): no shell ever
 * sees a name, a link at the copy's name is never followed, and a failure leaves the edited
 * file as it was. The editors read whole lines of any length and copy by length, so a line
 * they do not edit comes out byte for byte. GetLine keeps its 512-byte shape in Line.
 */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>

#include "utils.h"

char Fn[128] = "";
char FnOut[128] = "";
char *pLine = Line;
int LineCnt = 0;
long InPos = 0;
char flInputFilterState = 1;

namespace {

constexpr size_t kNameSize = sizeof Fn; /* every name: Fn, FnOut and the editors' names */
constexpr int kMaxCodes = 130;          /* FileChangeChar's replacement sequence */
constexpr size_t kInsertText = 4095;    /* FileInsert uses this much of its text */
constexpr int kPieceSize = 511;         /* GetLine: physical lines of at most 510 bytes */
constexpr size_t kLineShape = 512;      /* GetLine: Line is NUL-padded up to here */
constexpr size_t kGenNameSize = 128;
constexpr size_t kStreamBuffer = 1 << 16;
constexpr long long kCounterCap = 1000000000000LL; /* digits beyond this are ignored */

/* ASCII classes only: the result never depends on the locale or on a byte's sign. */
bool IsLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
char Lower(unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c); }
char Upper(unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c & ~0x20 : c); }

/* A search pattern: null and "" never match. Lines are searched by length, NULs included. */
struct Pattern {
  const char *text;
  size_t len;
  explicit Pattern(const char *p) : text(p ? p : ""), len(p ? strlen(p) : 0) {}
  const char *In(const char *line, size_t n) const {
    return len ? static_cast<const char *>(memmem(line, n, text, len)) : nullptr;
  }
};

void Put(FILE *out, const void *p, size_t n) {
  if (n) fwrite_unlocked(p, 1, n, out);
}

/* Copies name into a kNameSize buffer. A name that does not fit is never used cut: it fails
 * as a file that cannot be opened, which is fatal. */
void SetName(char *buf, const std::string &name) {
  if (name.size() >= kNameSize) {
    errno = ENAMETOOLONG;
    SysError("can't open file, %s", name.c_str());
  }
  memcpy(buf, name.c_str(), name.size() + 1);
}

/* file + "." + ext, or file for a null or empty ext; a null file cannot be opened. */
std::string EditedName(const char *file, const char *ext) {
  if (!file) {
    errno = EINVAL;
    SysError("can't open file, %s", "");
  }
  std::string name(file);
  if (ext && *ext) name.append(".").append(ext);
  return name;
}

/* Opens name for reading; it must be a regular file (a directory or a device is refused, and a
 * FIFO cannot block the open). Fills *st. Every failure is fatal. */
FILE *OpenEdited(const char *name, struct stat *st) {
  int fd = open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) SysError("can't open file, %s", name);
  int err = 0;
  if (fstat(fd, st) != 0) {
    err = errno;
  } else if (!S_ISREG(st->st_mode)) {
    err = S_ISDIR(st->st_mode) ? EISDIR : EINVAL;
  } else if (fcntl(fd, F_SETFL, 0) != 0) {
    err = errno;
  }
  FILE *fp = err ? nullptr : fdopen(fd, "r");
  if (!fp) {
    if (!err) err = errno;
    close(fd);
    errno = err;
    SysError("can't open file, %s", name);
  }
  return fp;
}

/* A fresh copy with the edited file's mode, owner and group. Null with errno on failure. */
FILE *OpenCopy(const char *copy, const struct stat &st) {
  return OpenReplacement(copy, static_cast<int>(st.st_mode & 07777), static_cast<int>(st.st_uid),
                         static_cast<int>(st.st_gid));
}

/* One edit over a whole file: every line, with its newline when it has one, goes to edit,
 * which writes what is kept to out. The copy replaces the file only when every line was read
 * and written; otherwise it is removed and the program ends. */
template <class Edit>
void EditFile(const char *file, const char *ext, Edit edit) {
  char name[kNameSize], copy[kNameSize];
  const std::string edited = EditedName(file, ext);
  SetName(name, edited);
  SetName(copy, edited + (ext && *ext ? "out" : ".out"));
  struct stat st;
  FILE *in = OpenEdited(name, &st);
  FILE *out = OpenCopy(copy, st);
  if (!out) {
    int err = errno;
    fclose(in);
    errno = err;
    SysError("can't open file, %s", copy);
  }
  setvbuf(in, nullptr, _IOFBF, kStreamBuffer);
  setvbuf(out, nullptr, _IOFBF, kStreamBuffer);

  char *line = nullptr;
  size_t cap = 0;
  ssize_t len;
  errno = 0;
  while (!ferror(out) && (len = getline(&line, &cap, in)) >= 0) {
    edit(static_cast<const char *>(line), static_cast<size_t>(len), out);
  }
  int err = errno ? errno : EIO;
  const bool readAll = feof(in) && !ferror(in); /* not a read error nor a failed allocation */
  free(line);
  fclose(in);
  if (ferror(out)) {
    AbortReplacement(out, copy);
    errno = err;
    SysError("can't write file, %s", name);
  }
  if (!readAll) {
    AbortReplacement(out, copy);
    errno = err;
    SysError("can't open file, %s", name);
  }
  if (!CommitReplacement(out, copy, name)) SysError("can't write file, %s", name);
}

/* A character code read as "%i" reads it (leading blanks and a sign allowed; "08" is 0, "0x0d"
 * is 13). False when text holds no number or one outside 0..255. */
bool ParseCode(const char *text, unsigned char *code) {
  if (!text) return false;
  char *end;
  errno = 0;
  long v = strtol(text, &end, 0);
  if (end == text || errno == ERANGE || v < 0 || v > 255) return false;
  *code = static_cast<unsigned char>(v);
  return true;
}

/* The replacement sequence: comma-separated codes, at most kMaxCodes; empty items are skipped
 * and an item that is not a code in 1..255 ends the sequence. Returns its length. */
int ParseCodes(const char *codes, unsigned char *seq) {
  int n = 0;
  for (const char *p = codes; p && *p && n < kMaxCodes;) {
    if (*p == ',') {
      p++;
      continue;
    }
    if (!ParseCode(p, &seq[n]) || seq[n] == 0) break;
    n++;
    while (*p && *p != ',') p++;
  }
  return n;
}

/* Writes line with every byte c replaced by seq. */
void ReplaceByte(const char *line, size_t n, unsigned char c, const unsigned char *seq, int seqLen,
                 FILE *out) {
  const char *p = line, *end = line + n;
  while (const void *hit = memchr(p, c, static_cast<size_t>(end - p))) {
    const char *h = static_cast<const char *>(hit);
    Put(out, p, static_cast<size_t>(h - p));
    Put(out, seq, static_cast<size_t>(seqLen));
    p = h + 1;
  }
  Put(out, p, static_cast<size_t>(end - p));
}

/* Writes line without the len bytes found at hit. */
void PutWithout(const char *line, size_t n, const char *hit, size_t len, FILE *out) {
  Put(out, line, static_cast<size_t>(hit - line));
  Put(out, hit + len, n - static_cast<size_t>(hit - line) - len);
}

/* A run of digits at text[*pos], advanced past; capped, so no count of digits overflows. */
long long ReadDigits(const std::string &text, size_t *pos) {
  long long v = 0;
  while (*pos < text.size() && IsDigit(static_cast<unsigned char>(text[*pos]))) {
    if (v < kCounterCap) v = v * 10 + (text[*pos] - '0');
    ++*pos;
  }
  return v;
}

/* FileInsert's text split at its markers; the caller's text is only read. */
struct Insertion {
  std::string before;    /* the text, or its part before the numbering marker */
  std::string after;     /* the part after the numbering marker */
  bool numbered = false; /* "%#<N>" present */
  long long counter = 0; /* I: from "%s<digits>", else 0 */
  long long first = 0;   /* N */

  explicit Insertion(const char *text) {
    std::string t = text ? std::string(text, strnlen(text, kInsertText)) : std::string();
    size_t s = t.find("%s");
    if (s != std::string::npos) {
      size_t e = s + 2;
      counter = ReadDigits(t, &e);
      t.erase(s, e - s);
    }
    for (size_t m = t.find("%#"); m != std::string::npos; m = t.find("%#", m + 1)) {
      if (m + 2 < t.size() && IsDigit(static_cast<unsigned char>(t[m + 2]))) {
        size_t e = m + 2;
        first = ReadDigits(t, &e);
        numbered = true;
        after = t.substr(e);
        t.resize(m);
        break;
      }
    }
    before = t;
  }

  /* Writes the insertion due before the next counted line and advances the counter. */
  void Before(FILE *out) {
    if (!numbered) {
      Put(out, before.data(), before.size());
    } else if (counter >= first) {
      Put(out, before.data(), before.size());
      fprintf(out, "%05lld", counter - first);
      Put(out, after.data(), after.size());
    }
    counter++;
  }
};

}  // namespace

/* ---- The self-contained editors ---- */

const char *FileChange(const char *file, const char *ext, const char *pattern,
                       const char *replacement) {
  const Pattern pat(pattern);
  const Pattern rep(replacement);
  EditFile(file, ext, [&](const char *line, size_t n, FILE *out) {
    const char *hit = pat.In(line, n);
    if (!hit) return Put(out, line, n);
    Put(out, line, static_cast<size_t>(hit - line));
    Put(out, rep.text, rep.len);
    Put(out, hit + pat.len, n - static_cast<size_t>(hit - line) - pat.len);
  });
  return file;
}

const char *FileChangeChar(const char *file, const char *ext, const char *code, const char *codes) {
  unsigned char c;
  if (!ParseCode(code, &c)) return file;
  unsigned char seq[kMaxCodes];
  const int seqLen = ParseCodes(codes, seq);
  EditFile(file, ext, [&](const char *line, size_t n, FILE *out) {
    ReplaceByte(line, n, c, seq, seqLen, out);
  });
  return file;
}

const char *FileDel(const char *file, const char *ext, int n, const char *pattern) {
  const Pattern pat(pattern);
  long long seen = 0;
  EditFile(file, ext, [&](const char *line, size_t len, FILE *out) {
    const char *hit = pat.In(line, len);
    if (!hit || seen++ < n) return Put(out, line, len);
    PutWithout(line, len, hit, pat.len, out);
  });
  return file;
}

int FileDelFormat(const char *file, const char *ext, const char *how, const char *pattern) {
  const char mode = how ? how[0] : '\0';
  if (mode != '\0' && mode != 'a' && mode != 'b' && mode != 'c' && mode != 'l') return 1;
  if (mode == 'c') {
    unsigned char c;
    if (ParseCode(pattern, &c)) {
      EditFile(file, ext,
               [&](const char *line, size_t n, FILE *out) { ReplaceByte(line, n, c, &c, 0, out); });
    }
    return 0;
  }
  const Pattern pat(pattern);
  EditFile(file, ext, [&](const char *line, size_t n, FILE *out) {
    const char *hit = pat.In(line, n);
    if (!hit) return Put(out, line, n);
    switch (mode) {
      case 'a':
        Put(out, line, static_cast<size_t>(hit - line) + pat.len);
        Put(out, "\n", 1);
        break;
      case 'b':
        Put(out, hit, n - static_cast<size_t>(hit - line));
        break;
      case 'l':
        break;
      default:
        PutWithout(line, n, hit, pat.len, out);
    }
  });
  return 0;
}

const char *FileInsert(const char *file, const char *ext, const char *text) {
  Insertion ins(text);
  EditFile(file, ext, [&](const char *line, size_t n, FILE *out) {
    ins.Before(out);
    Put(out, line, n);
  });
  return file;
}

const char *FileSearchInsert(const char *file, const char *ext, const char *text,
                             const char *pattern) {
  Insertion ins(text);
  const Pattern pat(pattern);
  EditFile(file, ext, [&](const char *line, size_t n, FILE *out) {
    if (pat.In(line, n)) ins.Before(out);
    Put(out, line, n);
  });
  return file;
}

const char *FileDelLine(const char *file, const char *ext, int n, const char *pattern) {
  const Pattern pat(pattern);
  long long seen = 0;
  EditFile(file, ext, [&](const char *line, size_t len, FILE *out) {
    if (!pat.In(line, len) || seen++ < n) Put(out, line, len);
  });
  return file;
}

const char *FileDelLinePair(const char *file, const char *ext, int n, const char *start,
                            const char *end) {
  const Pattern open(start), close(end);
  long long seen = 0, depth = 0;
  EditFile(file, ext, [&](const char *line, size_t len, FILE *out) {
    if (open.In(line, len)) {
      if (seen++ < n) return Put(out, line, len);
      depth++;
    } else if (depth > 0 && close.In(line, len)) {
      depth--;
    } else {
      Put(out, line, len);
    }
  });
  return file;
}

/* ---- The stream pair ---- */

namespace {
FILE *pairCopy = nullptr; /* the pair's copy, named FnOut, while pOut holds it */
bool inComment = false;   /* GetLine: a block comment is open at pIn's position */
/* The InPos of every line GetLine returned that began inside a block comment, so that
 * GetLinePos reads such a line again as it was read the first time. */
std::set<long> openAt;

/* Copies the len bytes of a filtered line into Line and pads it to kLineShape. */
void SetLine(const char *text, size_t len) {
  memcpy(Line, text, len);
  memset(Line + len, 0, kLineShape - len);
}

/* Filters one physical line outside a comment into out (kLineShape bytes): a line comment ends
 * it, each block comment closed on the line is dropped, and one left open sets inComment.
 * Returns the length of the text before the first newline or carriage return. */
size_t FilterPiece(const char *p, char *out) {
  size_t n = 0;
  while (*p) {
    if (p[0] == '/' && p[1] == '/') break;
    if (p[0] == '/' && p[1] == '*') {
      const char *close = strstr(p + 2, "*/");
      if (!close) {
        inComment = true;
        break;
      }
      p = close + 2;
      continue;
    }
    out[n++] = *p++;
  }
  size_t cut = 0;
  while (cut < n && out[cut] != '\n' && out[cut] != '\r') cut++;
  return cut;
}
}  // namespace

const char *OpenIOFiles(const char *file, const char *ext) {
  const std::string name = EditedName(file, ext);
  char newFn[kNameSize], newFnOut[kNameSize];
  SetName(newFn, name);
  SetName(newFnOut, name + "out");
  if (pOut) {
    if (pOut == pairCopy) {
      AbortReplacement(pOut, FnOut); /* an abandoned walk leaves no copy behind */
    } else {
      fclose(pOut);
    }
    pOut = nullptr;
  }
  pairCopy = nullptr;
  if (pIn) {
    fclose(pIn);
    pIn = nullptr;
    FileStatus = 1;
  }
  memcpy(Fn, newFn, sizeof Fn);
  memcpy(FnOut, newFnOut, sizeof FnOut);
  inComment = false;
  openAt.clear();
  struct stat st;
  pIn = OpenEdited(Fn, &st);
  pOut = OpenCopy(FnOut, st);
  if (!pOut) SysError("can't open file, %s", FnOut);
  pairCopy = pOut;
  return file;
}

int GetLine(void) {
  pLine = Line;
  LineCnt = 0;
  if (!pIn) {
    SetLine("", 0);
    return 0;
  }
  InPos = ftell(pIn);
  bool openAtStart = inComment;
  char piece[kPieceSize];
  for (;;) {
    if (!fgets(piece, kPieceSize, pIn)) {
      SetLine("", 0);
      return 0;
    }
    LineCnt++;
    const char *p = piece;
    if (!flInputFilterState) {
      SetLine(p, strlen(p));
      break;
    }
    if (inComment) {
      const char *close = strstr(p, "*/");
      if (!close) { /* wholly inside the comment: consumed, the text starts further on */
        InPos = ftell(pIn);
        openAtStart = true;
        continue;
      }
      p = close + 2;
      inComment = false;
    }
    while (IsSpace(static_cast<unsigned char>(*p))) p++;
    char text[kLineShape];
    SetLine(text, FilterPiece(p, text));
    break;
  }
  if (openAtStart) openAt.insert(InPos);
  return LineCnt;
}

int GetLineN(int count) {
  int result = 0;
  for (int i = 0; i < count; i++) {
    result = GetLine();
    if (result == 0) break; /* every further call would give 0 as well */
  }
  return result;
}

int GetLinePos(long offset) {
  if (!pIn || fseek(pIn, offset, SEEK_SET) != 0) {
    LineCnt = 0;
    return 0;
  }
  inComment = openAt.count(offset) != 0;
  return GetLine();
}

char *fgetsp(char *buf, int size, FILE *stream, long offset) {
  if (!buf || size < 1 || !stream || fseek(stream, offset, SEEK_SET) != 0) return nullptr;
  return fgets(buf, size, stream);
}

int ReplaceInputFile(int x) {
  if (!pOut || pOut != pairCopy) return x;
  const bool readFailed = pIn && ferror(pIn);
  if (pIn) {
    fclose(pIn);
    pIn = nullptr;
    FileStatus = 1;
  }
  FILE *out = pOut;
  pOut = nullptr;
  pairCopy = nullptr;
  if (readFailed) {
    AbortReplacement(out, FnOut);
    errno = EIO;
    SysError("can't open file, %s", Fn);
  }
  if (!CommitReplacement(out, FnOut, Fn)) SysError("can't write file, %s", Fn);
  return x;
}

/* ---- Generated names ---- */

char *GenName(const char *text) {
  static char name[kGenNameSize];
  size_t n = 0;
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text ? text : "");
  while (*p && !IsLetter(*p)) p++;
  while (*p) {
    for (bool first = true; IsLetter(*p) || IsDigit(*p); first = false, p++) {
      if (n < kGenNameSize - 1) name[n++] = first ? Upper(*p) : Lower(*p);
    }
    while (*p && !IsLetter(*p) && !IsDigit(*p)) p++;
  }
  name[n] = '\0';
  return name;
}

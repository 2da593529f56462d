/* The string toolkit: a tokenizer with the caller's own state, in-place splitting, keyword
 * lookups without case or with an explicit delimiter, sorting of delimited lists, counted and
 * escape-aware searches, name trimmers, character filters, byte copies and length units. */
#include <limits.h>
#include <string.h>

#include <algorithm>
#include <string_view>

#include "MemMgr.h"
#include "utils.h"
#include "utils_internal.h"

using utils_internal::IsDelim;
using utils_internal::ScanToken;

namespace {

constexpr size_t kTrimSize = 128; /* the trimmers' static results */

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/* Letters, digits, punctuation and the blank: the printable ASCII characters. */
bool IsPrint(char c) { return c >= 0x20 && c <= 0x7e; }

/* A static trimmer result: the whole of s, or "" when it does not fit. */
char *TrimResult(char *buf, std::string_view s) {
  if (s.size() >= kTrimSize) s = {};
  if (!s.empty()) memcpy(buf, s.data(), s.size());
  buf[s.size()] = '\0';
  return buf;
}

/* name cut at its first '.' after the leading dots. */
std::string_view CutExt(std::string_view name) {
  size_t start = name.find_first_not_of('.');
  if (start == std::string_view::npos) return name;
  size_t dot = name.find('.', start);
  return dot == std::string_view::npos ? name : name.substr(0, dot);
}

/* One element of a delimited list. */
struct Element {
  const char *text;
  size_t length;
};

/* Orders two elements as if each were followed by the delimiter (so 'ab' comes before
 * 'abc' whenever the delimiter sorts below the letters), ASCII case folded on request. */
int CompareElements(const Element &a, const Element &b, char delim, bool nocase) {
  size_t n = std::min(a.length, b.length) + 1;
  for (size_t i = 0; i < n; i++) {
    char ca = i < a.length ? a.text[i] : delim;
    char cb = i < b.length ? b.text[i] : delim;
    if (nocase) {
      ca = Lower(ca);
      cb = Lower(cb);
    }
    if (ca != cb) return static_cast<unsigned char>(ca) - static_cast<unsigned char>(cb);
  }
  return a.length < b.length ? -1 : a.length > b.length ? 1 : 0;
}

}  // namespace

/* ---- Tokenizing and lists ---- */

char *GetTokenD(const char *text, const char *delims, char **cursor, char *out) {
  chTokenDel = 0;
  if (cursor == nullptr || out == nullptr) return nullptr;
  out[0] = '\0';
  bool lineMode = text == TOKEN_LINE_MODE;
  const char *start = (text == nullptr || lineMode) ? *cursor : text;
  if (start == nullptr) return nullptr;
  const char *pos = start;
  char del = 0;
  long length = ScanToken(&pos, delims ? delims : "", out, TOKEN_SIZE, &del);
  chTokenDel = del;
  // In line mode the end of the line is reported and the scan stays before the token, so
  // the caller reads it with a normal call.
  if (lineMode && del == '\n') {
    *cursor = const_cast<char *>(start);
    return nullptr;
  }
  *cursor = const_cast<char *>(pos);
  return length >= 0 ? out : nullptr;
}

int ParseStr(char *text, const char *delims, char **fields, int max) {
  if (fields == nullptr || max <= 0) return 0;
  for (int i = 0; i < max; i++) fields[i] = nullptr;
  if (text == nullptr || delims == nullptr) return 0;
  int count = 0;
  char *p = text;
  while (*p != '\0' && count < max) {
    while (IsDelim(delims, *p)) p++;
    if (*p == '\0') break;
    fields[count++] = p;
    while (*p != '\0' && !IsDelim(delims, *p)) p++;
    if (*p != '\0') *p++ = '\0';
  }
  return count;
}

unsigned FindTokenC(const char *word, const char *list) {
  if (word == nullptr || list == nullptr || *list == '\0' || *word == '\0') return 0;
  const char d = list[0];
  const size_t wlen = strlen(word);
  unsigned count = 0;
  for (const char *p = list; *p != '\0'; p++) {
    if (*p != d) continue;
    count++;
    size_t i = 0;
    while (i < wlen && p[1 + i] != '\0' && Lower(p[1 + i]) == Lower(word[i])) i++;
    if (i == wlen && (p[1 + wlen] == d || p[1 + wlen] == '\0')) return count;
  }
  return 0;
}

unsigned FindTokenWithDelim(const char *list, const char *word, char delim) {
  if (list == nullptr || word == nullptr) return 0;
  const std::string_view w(word);
  unsigned pos = 0;
  const char *p = list;
  while (*p != '\0') {
    const char *end = delim != '\0' ? strchr(p, delim) : nullptr;
    size_t len = end != nullptr ? static_cast<size_t>(end - p) : strlen(p);
    pos++;
    if (std::string_view(p, len) == w) return pos;
    p += len;
    if (*p != '\0') p++;  // a delimiter closing the last element opens no empty one
  }
  return 0;
}

char *SortTokens(char *list, char delim, int nocase) {
  if (list == nullptr) return nullptr;
  // The delimiters keep their places (leading ones, and the run after each slot); only the
  // elements move, so the result has exactly the input's length.
  char *p = list;
  while (delim != '\0' && *p == delim) p++;
  char *body = p;
  int count = 0;
  for (const char *q = body; *q != '\0';) {
    const char *end = StrChr(q, delim);
    q = end != nullptr ? end : q + strlen(q);
    while (delim != '\0' && *q == delim) q++;
    count++;
  }
  if (count < 2) return list;

  size_t bodyLength = strlen(body);
  if (bodyLength >= static_cast<size_t>(INT_MAX) ||
      static_cast<size_t>(count) > INT_MAX / sizeof(Element)) {
    return nullptr;
  }
  char *copy = static_cast<char *>(GetMem(static_cast<int>(bodyLength)));
  Element *elems = static_cast<Element *>(GetMem(count * static_cast<int>(sizeof(Element))));
  size_t *seps = static_cast<size_t *>(GetMem(count * static_cast<int>(sizeof(size_t))));
  if (copy == nullptr || elems == nullptr || seps == nullptr) {
    PutMem(copy);
    PutMem(elems);
    PutMem(seps);
    return nullptr;
  }
  memcpy(copy, body, bodyLength + 1);
  for (int i = 0; i < count; i++) {
    const char *q = i == 0 ? copy : elems[i - 1].text + elems[i - 1].length + seps[i - 1];
    const char *end = StrChr(q, delim);
    if (end == nullptr) end = q + strlen(q);
    const char *next = end;
    while (delim != '\0' && *next == delim) next++;
    elems[i] = {q, static_cast<size_t>(end - q)};
    seps[i] = static_cast<size_t>(next - end);  // the slots keep their delimiters
  }
  std::stable_sort(elems, elems + count, [&](const Element &a, const Element &b) {
    return CompareElements(a, b, delim, nocase != 0) < 0;
  });
  char *out = body;
  for (int i = 0; i < count; i++) {
    memcpy(out, elems[i].text, elems[i].length);
    out += elems[i].length;
    memset(out, delim, seps[i]);
    out += seps[i];
  }
  PutMem(seps);
  PutMem(elems);
  PutMem(copy);
  return list;
}

/* ---- Searching ---- */

char *StrChr(const char *text, char c) {
  if (text == nullptr) return nullptr;
  for (const char *p = text; *p != '\0'; p++) {
    if (*p == '\\') {
      if (*++p == '\0') break;
      continue;
    }
    if (*p == c) return const_cast<char *>(p);
  }
  return nullptr;
}

char *StrNChr(const char *text, char c, int n) {
  if (text == nullptr || n < 1) return nullptr;
  for (const char *p = text; *p != '\0'; p++) {
    if (*p == c && --n == 0) return const_cast<char *>(p);
  }
  return nullptr;
}

char *StrNStr(const char *text, const char *pattern, int n) {
  if (text == nullptr || *text == '\0' || n < 1) return nullptr;
  char *found = StrStr(text, pattern);
  while (found != nullptr && --n > 0) found = StrStr(found + 1, pattern);
  return found;
}

char *StrCaseStr(const char *text, const char *pattern) {
  if (text == nullptr || pattern == nullptr || *pattern == '\0') return nullptr;
  for (const char *t = text; *t != '\0'; t++) {
    size_t i = 0;
    while (pattern[i] != '\0' && t[i] != '\0' && Lower(t[i]) == Lower(pattern[i])) i++;
    if (pattern[i] == '\0') return const_cast<char *>(t);
  }
  return nullptr;
}

int StrLen(const char *text) {
  if (text == nullptr) return 0;
  size_t len = strlen(text);
  return len > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(len);
}

char *SkipSpace(const char *text) {
  if (text == nullptr) return nullptr;
  while (IsSpace(*text)) text++;
  return const_cast<char *>(text);
}

/* ---- Trimming and filtering ---- */

char *StripExt(const char *name) {
  static char buf[kTrimSize];
  return TrimResult(buf, name != nullptr ? CutExt(name) : std::string_view());
}

char *StripPathExt(const char *path) {
  static char buf[kTrimSize];
  if (path == nullptr) return TrimResult(buf, {});
  std::string_view p(path);
  size_t end = p.find_last_not_of('/');
  if (end == std::string_view::npos) return nullptr;  // empty, or only slashes
  size_t slash = p.rfind('/', end);
  size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  return TrimResult(buf, CutExt(p.substr(start, end + 1 - start)));
}

/* The first '/' piece, then the '.' pieces of the rest while their second character is not
 * a '/'; each such piece becomes the result. Scanned by the tokenizer's rules on local
 * state, so a shared scan in progress is not disturbed. */
char *StripPathName(const char *path) {
  static char buf[kTrimSize];
  buf[0] = '\0';
  if (path == nullptr || strcmp(path, ".") == 0 || strcmp(path, "..") == 0) return buf;
  char piece[kTrimSize];
  const char *pos = path;
  char del = 0;
  long length = ScanToken(&pos, "/", piece, sizeof piece, &del);
  if (length < 0) return buf;
  long resultLength = length;
  memcpy(buf, piece, sizeof piece);
  while ((length = ScanToken(&pos, ".", piece, sizeof piece, &del)) >= 0) {
    if (piece[0] != '\0' && piece[1] == '/') break;
    resultLength = length;
    memcpy(buf, piece, sizeof piece);
  }
  if (resultLength >= static_cast<long>(kTrimSize)) buf[0] = '\0';
  return buf;
}

char *StripAllBackslashes(char *text) {
  if (text == nullptr) return nullptr;
  char *out = text;
  for (const char *p = text; *p != '\0'; p++) {
    if (*p != '\\') *out++ = *p;
  }
  *out = '\0';
  return text;
}

char *StripNonPrint(char *text, int keepnl) {
  if (text == nullptr) return nullptr;
  char *out = text;
  for (const char *p = text; *p != '\0'; p++) {
    if (IsPrint(*p) || (keepnl && (*p == '\n' || *p == '\r'))) *out++ = *p;
  }
  *out = '\0';
  return text;
}

/* ---- Data and units ---- */

void *SetVarContent(void *dst, const void *src, int len, int reverse) {
  if (dst == nullptr || src == nullptr || len <= 0) return dst;
  // As if src were read whole before dst is written: a field swapped in place works.
  unsigned char *d = static_cast<unsigned char *>(dst);
  memmove(d, src, static_cast<size_t>(len));
  if (reverse & 0xff) std::reverse(d, d + len);
  return dst;
}

float CvtFloatFormat(double value, int from, int to) {
  enum { kInch, kCm, kPoint };
  constexpr double kCmPerInch = 2.54, kPointsPerInch = 72;
  if (from == kCm && to == kInch) return static_cast<float>(value / kCmPerInch);
  if (from == kPoint && to == kInch) return static_cast<float>(value / kPointsPerInch);
  if (from == kInch && to == kCm) return static_cast<float>(value * kCmPerInch);
  if (from == kPoint && to == kCm) return static_cast<float>(value / kPointsPerInch * kCmPerInch);
  if (from == kInch && to == kPoint) return static_cast<float>(value * kPointsPerInch);
  if (from == kCm && to == kPoint) return static_cast<float>(value / kCmPerInch * kPointsPerInch);
  return static_cast<float>(value);
}

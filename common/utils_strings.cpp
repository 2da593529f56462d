/* Managed strings, the shared tokenizer, keyword lists, searching and console input. */
#include <errno.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <string_view>

#include "MemMgr.h"
#include "utils.h"
#include "utils_internal.h"

char *szIn = nullptr;
char *szTokenIn = nullptr;
char GetTokenBuf[TOKEN_SIZE];
char chTokenDel = 0;

namespace {

constexpr char kOutOfMem[] = "Unable to allocate memory";

/* Formats fmt/ap into a new managed block of exactly the result's length + 1. The length is
 * measured first, so a result of any size comes out whole. Out of memory is fatal. */
char *FormatManaged(const char *fmt, va_list ap) {
  va_list measure;
  va_copy(measure, ap);
  int len = vsnprintf(nullptr, 0, fmt, measure);
  va_end(measure);
  if (len < 0) len = 0; /* an encoding error formats as the empty string */
  if (len >= INT_MAX - 1) SysError("%s", kOutOfMem);
  char *out = static_cast<char *>(GetMem(len + 1));
  if (out == nullptr) SysError("%s", kOutOfMem);
  if (len > 0) vsnprintf(out, static_cast<size_t>(len) + 1, fmt, ap);
  out[len] = '\0';
  return out;
}

}  // namespace

namespace utils_internal {

bool IsDelim(const char *delims, char c) { return c != '\0' && strchr(delims, c) != nullptr; }

char Unescape(char c) {
  switch (c) {
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    default:
      return c;
  }
}

long ScanToken(const char **pos, const char *delims, char *out, size_t size, char *del) {
  const char *p = *pos;
  size_t stored = 0;
  long length = 0;
  bool started = false;
  *del = 0;
  auto keep = [&](char c) {
    if (stored + 1 < size) out[stored++] = c;
    length++;
    started = true;
  };
  while (*p != '\0') {
    char c = *p;
    if (c == '\\') {
      if (p[1] == '\0') {
        ++p;
        break;
      }
      keep(Unescape(p[1]));
      p += 2;
      continue;
    }
    ++p;
    if (IsDelim(delims, c)) {
      if (!started) continue;
      *del = c;
      break;
    }
    keep(c);
  }
  if (size > 0) out[stored] = '\0';
  *pos = p;
  return started ? length : -1;
}

}  // namespace utils_internal

using utils_internal::IsDelim;
using utils_internal::ScanToken;

/* ---- Strings in managed memory ---- */

char *SaveStr(const char *fmt, ...) {
  if (fmt == nullptr) return nullptr;
  va_list ap;
  va_start(ap, fmt);
  char *out = FormatManaged(fmt, ap);
  va_end(ap);
  return out;
}

char *SaveStr_(const char *src) {
  if (src == nullptr) return nullptr;
  size_t len = strlen(src);
  if (len >= static_cast<size_t>(INT_MAX) - 1) SysError("%s", kOutOfMem);
  char *out = static_cast<char *>(GetMem(static_cast<int>(len) + 1));
  if (out == nullptr) SysError("%s", kOutOfMem);
  memcpy(out, src, len);
  out[len] = '\0';
  return out;
}

/* The result is measured before it is copied, so texts beyond the historical 65535-byte
 * scratch are kept whole rather than cut. */
char *SaveStr__(const char *fmt, ...) {
  if (fmt == nullptr) return nullptr;
  va_list ap;
  va_start(ap, fmt);
  char *out = FormatManaged(fmt, ap);
  va_end(ap);
  return out;
}

char *QuoteWord(const char *text, int place) {
  std::string word = "'";
  for (const char *p = text ? text : ""; *p != '\0'; ++p) {
    if (*p == '\'') {
      word += "'\\''"; /* the same inside double quotes: there a backslash before ' stays */
      continue;
    }
    if (place == QUOTE_SYSCMD && (*p == '\\' || *p == '"' || *p == '$' || *p == '`')) {
      word += '\\';
    }
    word += *p;
  }
  word += '\'';
  return SaveStr_(word.c_str());
}

void SysError(const char *fmt, ...) {
  int err = errno; /* before any output can change it */
  fprintf(stderr, "\n%s: ", my_name ? my_name : "");
  if (fmt != nullptr) {
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
  }
  fprintf(stderr, " : %s\n", strerror(err));
  exit(1);
}

/* ---- The shared tokenizer ---- */

char *GetToken(const char *text, const char *delims) {
  chTokenDel = 0;
  bool lineMode = false;
  if (text == TOKEN_LINE_MODE) {
    lineMode = true;
  } else if (text != nullptr) {
    szIn = const_cast<char *>(text);
  }
  GetTokenBuf[0] = '\0';
  if (szIn == nullptr) return nullptr;
  if (delims == nullptr) delims = "";

  const char *p = szIn;
  char del = 0;
  const bool started = ScanToken(&p, delims, GetTokenBuf, TOKEN_SIZE, &del) >= 0;
  szIn = const_cast<char *>(p);
  chTokenDel = del;
  if (lineMode && del == '\n') return nullptr; /* end of line: the caller's line is done */
  szTokenIn = szIn;
  return started ? GetTokenBuf : nullptr;
}

char *GetTokenN(const char *text, const char *delims, int n) {
  char *tok = GetToken(text, delims);
  for (int i = 1; i < n && tok != nullptr; ++i) tok = GetToken(nullptr, delims);
  return tok;
}

char *GetTokenParse(char *text, const char *delims) {
  chTokenDel = 0;
  bool lineMode = false;
  if (text == const_cast<char *>(TOKEN_LINE_MODE)) {
    lineMode = true;
  } else if (text != nullptr) {
    szIn = text;
  }
  if (szIn == nullptr) return nullptr;
  if (delims == nullptr) delims = "";

  char *p = szIn;
  while (IsDelim(delims, *p)) ++p;
  char *start = p;
  char del = 0;
  while (*p != '\0') {
    if (*p == '\\') {
      /* The escaped character stays in the token with its backslash; a lone backslash at
       * the very end is kept and ends the scan. */
      p += (p[1] == '\0') ? 1 : 2;
      continue;
    }
    if (IsDelim(delims, *p)) {
      del = *p;
      *p++ = '\0';
      break;
    }
    ++p;
  }
  szIn = p;
  chTokenDel = del;
  if (lineMode && del == '\n') return nullptr;
  szTokenIn = szIn;
  return *start != '\0' ? start : nullptr;
}

int GetTokenCount(const char *text, const char *delims) {
  if (text == nullptr || text == TOKEN_LINE_MODE) return 0;
  char *savedIn = szIn;
  char *savedTokenIn = szTokenIn;
  char savedDel = chTokenDel;
  char savedBuf[TOKEN_SIZE];
  memcpy(savedBuf, GetTokenBuf, sizeof savedBuf);

  int count = 0;
  for (char *tok = GetToken(text, delims); tok != nullptr; tok = GetToken(nullptr, delims)) {
    ++count;
  }

  szIn = savedIn;
  szTokenIn = savedTokenIn;
  chTokenDel = savedDel;
  memcpy(GetTokenBuf, savedBuf, sizeof savedBuf);
  return count;
}

char *SetTokenBuf(char *text) {
  szIn = text;
  szTokenIn = text;
  return text;
}

char *GetTokenBufInput(void) { return szIn; }

/* ---- Keyword lists and searching ---- */

/* Scans the list directly instead of building D+word+D in a fixed buffer, so a word of any
 * length is looked up correctly. An empty word names no entry. */
unsigned FindToken(const char *word, const char *list) {
  if (word == nullptr || list == nullptr || *list == '\0' || *word == '\0') return 0;
  const std::string_view w(word);
  const std::string_view l(list);
  const char d = l[0];

  size_t match = std::string_view::npos;
  for (size_t i = 0; i < l.size(); i = l.find(d, i + 1)) {
    /* i is the position of a delimiter; is it followed by word and another delimiter? */
    if (i + 1 + w.size() < l.size() && l.compare(i + 1, w.size(), w) == 0 &&
        l[i + 1 + w.size()] == d) {
      match = i;
      break;
    }
  }
  if (match == std::string_view::npos) {
    /* A final word without a closing delimiter. */
    size_t last = l.rfind(d);
    if (l.substr(last + 1) == w) match = last;
  }
  if (match == std::string_view::npos) return 0;

  unsigned count = 0;
  for (size_t i = 0; i <= match; ++i) {
    if (l[i] == d) ++count;
  }
  return count;
}

char *StrStr(const char *text, const char *pattern) {
  if (text == nullptr || pattern == nullptr || *pattern == '\0') return nullptr;
  return const_cast<char *>(strstr(text, pattern));
}

double MaxD(double a, double b) { return a > b ? a : b; }

/* ---- Console input ---- */

char *Gets(char *buf, int len) {
  if (buf == nullptr || len <= 0) return nullptr;
  buf[0] = '\0';
  int n = 0;
  while (n < len - 1) {
    int c = getchar();
    if (c == EOF || c == 0xFF) {
      buf[n] = '\0';
      return n > 0 ? buf : nullptr;
    }
    if (c == '\n') break;
    buf[n++] = static_cast<char>(c);
  }
  buf[n] = '\0';
  return buf;
}

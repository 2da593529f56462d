/* Message catalogue: texts without a catalogue behind them: the checksum text, redirect
 * markers and the argument signature of formats. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "NlsUtils.h"
#include "NlsUtils_internal.h"

namespace {

constexpr char kRedirectSuffix[] = ".redirect";
constexpr size_t kRedirectSuffixLen = sizeof kRedirectSuffix - 1;

char gCheckSum[17];

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

/* 1 when text begins with word (lower case) in any ASCII case. */
bool StartsWithNoCase(const char *text, const char *word, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (AsciiLower(text[i]) != word[i]) return false; /* also stops at the end of text */
  }
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

char *NlsCalcStrVal(const char *text) {
  uint32_t sum = 0;
  uint32_t weighted = 0;
  if (text) {
    uint32_t i = 1;
    for (const char *p = text; *p; ++p, ++i) {
      /* Each byte counts as a signed 8-bit value, whatever the signedness of char. */
      int32_t c = static_cast<int8_t>(static_cast<unsigned char>(*p));
      sum += static_cast<uint32_t>(c);
      weighted += static_cast<uint32_t>(c) * (i * i);
    }
  }
  snprintf(gCheckSum, sizeof gCheckSum, "%08X%08X", static_cast<unsigned>(weighted),
           static_cast<unsigned>(sum));
  return gCheckSum;
}

char *FindRedirect(char *text) {
  if (text == nullptr) return nullptr;
  char *marker = strstr(text, "$$");
  if (marker == nullptr) return nullptr;
  char *name = marker + 2;
  char *dot = strchr(name, '.');
  if (dot == nullptr || !StartsWithNoCase(dot, kRedirectSuffix, kRedirectSuffixLen)) {
    return nullptr;
  }
  /* A name that would not fit the redirect name whole is no redirect: a cut name could name
   * another record. */
  size_t length = static_cast<size_t>(dot - name);
  if (length == 0 || length >= NLS_REDIRECT_SIZE) return nullptr;
  *dot = '\0';
  return name;
}

namespace {

/* Scans text as printf does and records one signature letter per argument (see
 * NlsFormatSignature). Returns the argument count, or -1 when a conversion is outside what
 * the library passes; *holdsN tells whether any conversion is "%n" (the scan goes on past
 * conversions it refuses, so that none is missed). */
int ScanFormat(const char *text, char *out, int size, bool *holdsN) {
  int count = 0;
  bool valid = true;
  *holdsN = false;
  auto add = [&](char letter) {
    if (out && size > 0 && count < size - 1) out[count] = letter;
    ++count;
  };
  auto skipDigitsAndPosition = [&](const char *p) {
    while (IsDigit(*p)) ++p;
    if (*p == '$') {
      valid = false; /* positional arguments: their order could not be checked */
      ++p;
    }
    return p;
  };
  if (text == nullptr) text = "";
  for (const char *p = text; *p; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    p = skipDigitsAndPosition(p);            /* "%1$..." */
    while (*p && strchr("-+ #0'I", *p)) ++p; /* flags */
    if (*p == '*') {
      add('i');
      p = skipDigitsAndPosition(p + 1);
    } else {
      p = skipDigitsAndPosition(p);
    }
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        add('i');
        p = skipDigitsAndPosition(p + 1);
      } else {
        while (IsDigit(*p)) ++p;
      }
    }
    char length = 0; /* 0, 'h' (h or hh), 'l', 'q' (ll), 'L', or 'x' for j z Z t q */
    if (*p == 'h') {
      length = 'h';
      p += p[1] == 'h' ? 2 : 1;
    } else if (*p == 'l') {
      length = p[1] == 'l' ? 'q' : 'l';
      p += p[1] == 'l' ? 2 : 1;
    } else if (*p == 'L') {
      length = 'L';
      ++p;
    } else if (*p && strchr("jzZtq", *p)) {
      length = 'x';
      ++p;
    }
    char conv = *p;
    if (conv == '\0') {
      valid = false;
      break;
    }
    if (conv == 'n') {
      *holdsN = true;
      valid = false;
    } else if (strchr("diouxX", conv) && length != 'L' && length != 'x') {
      add(length == 'l' || length == 'q' ? length : 'i');
    } else if (conv == 'c' && length == 0) {
      add('i');
    } else if (strchr("fFeEgGaA", conv) && length != 'h' && length != 'q' && length != 'x') {
      add(length == 'L' ? 'F' : 'f');
    } else if ((conv == 's' || conv == 'p') && length == 0) {
      add(conv);
    } else {
      valid = false;
    }
  }
  if (out && size > 0) out[count < size - 1 ? count : size - 1] = '\0';
  return valid ? count : -1;
}

}  // namespace

int NlsFormatSignature(const char *text, char *out, int size) {
  bool holdsN;
  return ScanFormat(text, out, size, &holdsN);
}

int NlsFormatHoldsN(const char *text) {
  bool holdsN;
  ScanFormat(text, nullptr, 0, &holdsN);
  return holdsN;
}

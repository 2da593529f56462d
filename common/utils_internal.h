/* Pieces the string modules of utils share; not part of the library's interface. */
#ifndef UTILS_INTERNAL_H
#define UTILS_INTERNAL_H

#include <stddef.h>

namespace utils_internal {

/* True when c is a non-NUL character of delims. */
bool IsDelim(const char *delims, char c);

/* The character a backslash before c stands for: "n", "r" and "t" are translated, any other
 * character stands for itself. */
char Unescape(char c);

/* One token by the shared tokenizer's rules, from *pos, with all state in the arguments:
 * leading delimiters skipped, a backslash escapes the next character ("\n", "\r", "\t"
 * translated; a lone backslash at the end is dropped), the delimiter after the token is
 * consumed and given in *del (0 at the end of the text). The token goes into out, cut at
 * size - 1 characters; *pos is left after what was consumed. Returns the token's whole
 * length, or -1 when no character was collected. */
long ScanToken(const char **pos, const char *delims, char *out, size_t size, char *del);

}  // namespace utils_internal

#endif

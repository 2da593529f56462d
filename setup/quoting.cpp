// Shell words: every file name and value the installer puts into a command line goes there
// as one single-quoted word, so a blank, a quote, "$(...)", a backquote, ";", "|", "&" or ">"
// in it is part of the name and nothing else.
#include <stdarg.h>
#include <stdio.h>

#include <string>

#include "setup.h"

namespace {

std::string format(const char *fmt, va_list ap) {
  va_list again;
  va_copy(again, ap);
  int n = vsnprintf(nullptr, 0, fmt, ap);
  std::string text(n > 0 ? n : 0, '\0');
  if (n > 0) vsnprintf(&text[0], text.size() + 1, fmt, again);
  va_end(again);
  return text;
}

}  // namespace

Quoted::Quoted(int place, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  str = QuoteWord(format(fmt, ap).c_str(), place);
  va_end(ap);
}

// Shell words: every file name and value the installer puts into a command line goes there
// as one single-quoted word, so a blank, a quote, "$(...)", a backquote, ";", "|", "&" or ">"
// in it is part of the name and nothing else.
#include <stdarg.h>
#include <stdio.h>

#include <string>

#include "setup.h"

namespace {

// The text as one single-quoted word; a ' inside is written '\''. For the arguments of a
// table command, which SysCmd runs as '<sh> -c "<command> <arguments>"', the outer shell
// reads the word first inside its double quotes: the four characters it would interpret
// there (\ " $ `) get a backslash, which that shell removes again.
std::string quote(const std::string &text, int place) {
  std::string word = "'";
  for (char c : text) {
    if (c == '\'') {
      word += "'\\''";  // the same in double quotes: there a backslash before ' stays
      continue;
    }
    if (place == QUOTE_SYSCMD && (c == '\\' || c == '"' || c == '$' || c == '`')) word += '\\';
    word += c;
  }
  return word + "'";
}

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
  str = SaveStr_(quote(format(fmt, ap), place).c_str());
  va_end(ap);
}

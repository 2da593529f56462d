/* Message catalogue: the globals, the alias file and language resolution. */
#include "NlsUtils.h"

#include <stdlib.h>
#include <string.h>

#include <string>
#include <string_view>
#include <vector>

#include "MemMgr.h"
#include "NlsUtils_internal.h"
#include "utils.h"

char *pNLSLang = nullptr;
DbT *pDrvCoreDB = nullptr;
DbT *pPrtCoreDB = nullptr;
DbT *pPrtHelpDB = nullptr;
char NlsBuf[NLSBUF_SIZE];

namespace {

constexpr char kAliasFile[] = "trans.conf";
constexpr std::string_view kDefaultWord = "Default";

char *gAliasTable = nullptr; /* the normalised alias text, loaded once */

/* The white space of alias files: blank, tab, newline, carriage return, VT, FF. */
bool IsAliasBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

using Words = std::vector<std::string_view>;

/* The words of one line of a normalised table ("=" is a word of its own there). */
Words SplitWords(std::string_view line) {
  Words words;
  size_t i = 0;
  while (i < line.size()) {
    if (IsAliasBlank(line[i])) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < line.size() && !IsAliasBlank(line[j])) ++j;
    words.push_back(line.substr(i, j - i));
    i = j;
  }
  return words;
}

/* The LANG value as a search word: cut at its first "."; empty when it cannot match (unset,
 * empty, or holding white space or "="), so that it never matches stray blanks. */
std::string_view SearchWord(const char *lang) {
  if (lang == nullptr) return {};
  std::string_view word(lang);
  word = word.substr(0, word.find('.'));
  for (char c : word) {
    if (IsAliasBlank(c) || c == '=') return {};
  }
  return word;
}

/* The canonical name of a line: its first word, up to a "=" glued to it. */
std::string_view CanonicalName(std::string_view first) { return first.substr(0, first.find('=')); }

/* Resolution over the normalised table. A word matches where it stands in an alias list:
 * anywhere on a line (a continuation line's first word too) except right before "=", where
 * it is a canonical name, and except on a Default line. The result is the first word of the
 * line of the nearest "=" before the match, "en_US" when no "=" precedes it; without a match
 * the Default language, or "en_US". */
std::string Resolve(std::string_view table, const char *lang) {
  std::string_view word = SearchWord(lang);
  std::string_view fallback = NLS_ENGLISH_NAME;
  bool seenDefault = false;
  bool seenEquals = false;
  std::string_view canonical;
  size_t pos = 0;
  while (pos < table.size()) {
    size_t end = table.find('\n', pos);
    if (end == std::string_view::npos) end = table.size();
    Words words = SplitWords(table.substr(pos, end - pos));
    pos = end + 1;
    for (size_t k = 0; k < words.size(); ++k) {
      std::string_view w = words[k];
      bool beforeEquals = k + 1 < words.size() && words[k + 1] == "=";
      if (w == "=") {
        seenEquals = true;
        canonical = CanonicalName(words[0]);
      } else if (w == kDefaultWord && !beforeEquals) {
        /* Only the first Default line names the default; no Default line takes part in the
         * search. */
        if (!seenDefault && k + 1 < words.size()) fallback = words[k + 1];
        seenDefault = true;
        ++k;
      } else if (!word.empty() && w == word && !beforeEquals) {
        if (!seenEquals || canonical.empty()) return NLS_ENGLISH_NAME;
        return std::string(canonical);
      }
    }
  }
  return std::string(fallback);
}

}  // namespace

/* ---- Alias file ---- */

char *NlsNormaliseAliases(const char *text, size_t length) {
  std::string out;
  if (text == nullptr) length = 0;
  bool afterWord = false;    /* the output ends with a word and its blank */
  bool afterDefault = false; /* the previous word was "Default" */
  size_t i = 0;
  while (i < length && text[i] != '\0') {
    char c = text[i];
    if (c == '#') {
      /* A comment runs to the nearer line end, which is then read as white space. */
      while (i < length && text[i] != '\0' && text[i] != '\n' && text[i] != '\r') ++i;
      continue;
    }
    if (c == '=') {
      out += "= ";
      afterWord = false;
      ++i;
      continue;
    }
    if (IsAliasBlank(c)) {
      /* A line end after a line's last word ends its alias list, whatever lies between
       * (blanks, a carriage return, a comment). */
      if (c == '\n' && afterWord) {
        out += '\n';
        afterWord = false;
      }
      ++i;
      continue;
    }
    size_t start = i;
    while (i < length && text[i] != '\0' && !IsAliasBlank(text[i])) ++i;
    std::string_view w(text + start, i - start);
    out.append(w);
    if (afterDefault) {
      out += " \n";
      afterWord = false;
    } else {
      out += ' ';
      afterWord = true;
    }
    afterDefault = w == kDefaultWord;
  }
  return SaveStr_(out.c_str());
}

char *NlsResolveLanguage(const char *table, const char *lang) {
  return SaveStr_(Resolve(table ? table : "", lang).c_str());
}

char *ParseTransFile(const char *name) {
  if (name == nullptr) return nullptr;
  char *content = GetSavedFileContent(pToolPath ? pToolPath : ".", name);
  if (content == nullptr) return nullptr;
  char *table = NlsNormaliseAliases(content, static_cast<size_t>(SavedFileSize));
  PutMem(content);
  return table;
}

/* ---- Language ---- */

char *GetDesiredNLSLang(void) {
  if (pNLSLang) return pNLSLang;
  if (gAliasTable == nullptr) gAliasTable = ParseTransFile(kAliasFile);
  if (gAliasTable == nullptr) gAliasTable = NlsLoadFallbackAliases();
  if (gAliasTable == nullptr) {
    pNLSLang = SaveStr_(NLS_ENGLISH_NAME);
    return pNLSLang;
  }
  pNLSLang = NlsResolveLanguage(gAliasTable, getenv("LANG"));
  return pNLSLang;
}

void NlsResetForTests(void) {
  PutMem(pNLSLang);
  pNLSLang = nullptr;
  PutMem(gAliasTable);
  gAliasTable = nullptr;
  NlsCloseEnglish();
}

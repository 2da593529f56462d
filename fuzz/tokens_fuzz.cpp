/* Fuzz target of the tokenizers and keyword lists. The input is a flag byte, a byte giving
 * the number of delimiters (1 to 4), the delimiters, then the text. Checks that GetToken (in
 * normal and line mode), GetTokenD, GetTokenParse, GetTokenN and GetTokenCount agree with
 * one another and with a plain reading of the token rules; that ParseStr splits as the raw
 * delimiters say and leaves the rest untouched; that FindToken, FindTokenC and
 * FindTokenWithDelim find each word of a list built from the tokens at its first place; and
 * that SortTokens keeps the length, the bytes, the leading delimiters and the separator
 * runs, and puts the elements in stable order. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "MemMgr.h"
#include "utils.h"

namespace {

struct Token {
  std::string text;
  char del; /* the delimiter that ended it, 0 at the end of the text */
};

bool IsDelim(const std::string &delims, char c) {
  return c != '\0' && delims.find(c) != std::string::npos;
}

char Unescape(char c) { return c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c; }

/* The tokens by the documented rules: leading delimiters skipped, a backslash takes the next
 * character as it is ("\n", "\r", "\t" translated; a lone one at the end dropped), the
 * delimiter after a token is consumed. */
std::vector<Token> ModelTokens(const std::string &text, const std::string &delims) {
  std::vector<Token> out;
  size_t p = 0;
  for (;;) {
    std::string tok;
    bool started = false;
    char del = 0;
    while (p < text.size()) {
      char c = text[p];
      if (c == '\\') {
        if (p + 1 == text.size()) {
          ++p;
          break;
        }
        tok += Unescape(text[p + 1]);
        started = true;
        p += 2;
        continue;
      }
      ++p;
      if (IsDelim(delims, c)) {
        if (!started) continue;
        del = c;
        break;
      }
      tok += c;
      started = true;
    }
    if (!started) return out;
    out.push_back({tok, del});
  }
}

std::string Cut(const std::string &s) { return s.substr(0, TOKEN_SIZE - 1); }

/* An in-place token of GetTokenParse with its escapes read as GetToken reads them. */
std::string UnescapeRaw(const char *s) {
  std::string out;
  for (; *s; ++s) {
    if (*s != '\\') {
      out += *s;
    } else if (s[1] != '\0') {
      out += Unescape(*++s);
    }
  }
  return out;
}

void CheckTokenizers(const std::string &text, const std::string &delims, uint8_t flags) {
  const std::vector<Token> model = ModelTokens(text, delims);
  const char *d = delims.c_str();
  const bool lineMode = flags & 1;

  /* GetToken, in line mode from the second token on when asked. */
  for (size_t i = 0; i <= model.size(); ++i) {
    const char *from = i == 0 ? text.c_str() : lineMode ? TOKEN_LINE_MODE : nullptr;
    char *tok = GetToken(from, d);
    if (i == model.size()) {
      if (tok || chTokenDel != 0) abort();
      break;
    }
    if (chTokenDel != model[i].del || GetTokenBuf != Cut(model[i].text)) abort();
    bool hidden = lineMode && i > 0 && model[i].del == '\n';
    if (hidden ? tok != nullptr : tok != GetTokenBuf) abort();
  }

  /* GetTokenD with the caller's state; in line mode a token ended by a newline is given by
   * the normal call that follows. */
  char out[TOKEN_SIZE];
  char *cursor = nullptr;
  for (size_t i = 0; i <= model.size(); ++i) {
    char *before = cursor;
    char *tok = GetTokenD(i == 0     ? text.c_str()
                          : lineMode ? TOKEN_LINE_MODE
                                     : nullptr,
                          d, &cursor, out);
    if (i == model.size()) {
      if (tok) abort();
      break;
    }
    if (i > 0 && lineMode && model[i].del == '\n') {
      if (tok || cursor != before || out != Cut(model[i].text)) abort();
      tok = GetTokenD(nullptr, d, &cursor, out);
    }
    if (tok != out || out != Cut(model[i].text) || chTokenDel != model[i].del) abort();
  }

  /* GetTokenCount leaves a scan in progress as it was. */
  char other[] = "first second";
  GetToken(other, " ");
  if (GetTokenCount(text.c_str(), d) != static_cast<int>(model.size())) abort();
  if (!GetToken(nullptr, " ") || strcmp(GetTokenBuf, "second") != 0) abort();

  for (int n : {0, 1, 2, static_cast<int>(flags >> 4), static_cast<int>(model.size()),
                static_cast<int>(model.size()) + 1}) {
    char *tok = GetTokenN(text.c_str(), d, n);
    size_t k = n <= 1 ? 0 : static_cast<size_t>(n - 1);
    if (k < model.size() ? (!tok || tok != Cut(model[k].text)) : tok != nullptr) abort();
  }

  /* GetTokenParse: in place, the escapes kept. A lone backslash at the very end stays a
   * token of its own there; GetToken drops it. */
  std::vector<char> copy(text.c_str(), text.c_str() + text.size() + 1);
  size_t i = 0;
  for (char *tok = GetTokenParse(copy.data(), d); tok; tok = GetTokenParse(nullptr, d)) {
    if (tok < copy.data() || tok >= copy.data() + copy.size()) abort();
    std::string plain = UnescapeRaw(tok);
    if (plain.empty()) {
      if (strcmp(tok, "\\") != 0 || GetTokenParse(nullptr, d)) abort();
      break;
    }
    if (i >= model.size() || plain != model[i].text || chTokenDel != model[i].del) abort();
    ++i;
  }
  if (i != model.size()) abort();
}

/* ParseStr: the raw split (no escapes), at most max fields, the rest of the text untouched. */
void CheckParseStr(const std::string &text, const std::string &delims, int max) {
  std::vector<std::string> raw;
  for (size_t p = 0; p < text.size();) {
    while (p < text.size() && IsDelim(delims, text[p])) ++p;
    if (p == text.size()) break;
    size_t e = p;
    while (e < text.size() && !IsDelim(delims, text[e])) ++e;
    raw.push_back(text.substr(p, e - p));
    p = e + 1;
  }
  std::vector<char> copy(text.c_str(), text.c_str() + text.size() + 1);
  char *fields[9];
  int n = ParseStr(copy.data(), delims.c_str(), fields, max);
  if (n != std::min<int>(max, static_cast<int>(raw.size()))) abort();
  for (int k = 0; k < max; ++k) {
    if (k >= n ? fields[k] != nullptr : raw[k] != fields[k]) abort();
  }
  size_t rest = 0;
  if (n > 0) {
    rest = static_cast<size_t>(fields[n - 1] - copy.data()) + strlen(fields[n - 1]);
    rest += rest < text.size();
  }
  if (memcmp(copy.data() + rest, text.data() + rest, text.size() - rest) != 0) abort();
}

/* FindToken's reading of a keyword list: the first D followed by word and D, else the last D
 * followed by word up to the end; the result counts the Ds up to that one. */
unsigned ModelFind(const std::string &word, const std::string &list) {
  if (word.empty() || list.empty()) return 0;
  const char d = list[0];
  size_t at = std::string::npos;
  for (size_t p = 0; p < list.size() && at == std::string::npos; ++p) {
    if (list[p] == d && list.compare(p + 1, word.size(), word) == 0 &&
        p + 1 + word.size() < list.size() && list[p + 1 + word.size()] == d)
      at = p;
  }
  if (at == std::string::npos) {
    size_t last = list.rfind(d);
    if (list.substr(last + 1) != word) return 0;
    at = last;
  }
  return static_cast<unsigned>(std::count(list.begin(), list.begin() + at + 1, d));
}

std::string Lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

/* FindTokenC's reading: the first D followed by word (ASCII case folded) and then by D or
 * the end of the list. (With a letter as D, "abX" is found as "abx".) */
unsigned ModelFindC(const std::string &word, const std::string &list) {
  if (word.empty() || list.empty()) return 0;
  const char d = list[0];
  unsigned count = 0;
  for (size_t p = 0; p < list.size(); ++p) {
    if (list[p] != d) continue;
    ++count;
    size_t end = p + 1 + word.size();
    if (end <= list.size() && Lower(list.substr(p + 1, word.size())) == Lower(word) &&
        (end == list.size() || list[end] == d))
      return count;
  }
  return 0;
}

void CheckKeywordLists(const std::string &text, const std::string &delims, uint8_t flags) {
  const char d = delims[0];
  /* Arbitrary text as a list, the first token as the word. */
  std::vector<Token> tokens = ModelTokens(text, delims);
  if (!tokens.empty() &&
      FindToken(tokens[0].text.c_str(), text.c_str()) != ModelFind(tokens[0].text, text))
    abort();

  std::vector<std::string> words;
  for (const Token &t : tokens)
    if (t.text.find(d) == std::string::npos && words.size() < 16) words.push_back(t.text);
  if (words.empty()) return;
  std::string list(1, d);
  for (size_t i = 0; i < words.size(); ++i)
    list += words[i] + (i + 1 < words.size() ? std::string(1, d) : "");
  if (flags & 2) list += d; /* with or without the closing delimiter */

  for (const std::string &w : words) {
    for (const std::string &probe : {w, w.substr(0, w.size() - 1), w + "x"}) {
      unsigned exact = 0;
      for (size_t i = words.size(); i-- > 0;) {
        if (words[i] == probe) exact = static_cast<unsigned>(i + 1);
      }
      if (probe.empty()) exact = 0;
      if (FindToken(probe.c_str(), list.c_str()) != exact) abort();
      if (FindTokenC(probe.c_str(), list.c_str()) != ModelFindC(probe, list)) abort();
      /* Without a letter as delimiter, FindTokenC finds the first word equal but for case. */
      unsigned folded = 0;
      for (size_t i = words.size(); i-- > 0;) {
        if (!probe.empty() && Lower(words[i]) == Lower(probe))
          folded = static_cast<unsigned>(i + 1);
      }
      const bool letter = (d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z');
      if (!letter && FindTokenC(probe.c_str(), list.c_str()) != folded) abort();
      if (FindTokenWithDelim(list.c_str() + 1, probe.c_str(), d) != exact && !probe.empty())
        abort();
    }
  }
}

/* SortTokens against the documented result: the leading delimiters and the run of
 * delimiters after each slot stay where they are, the elements (ended by a delimiter that
 * no backslash escapes) are stably ordered as if each were followed by the delimiter. */
void CheckSort(const std::string &text, char delim, bool nocase) {
  std::vector<char> copy(text.c_str(), text.c_str() + text.size() + 1);
  size_t lead = 0;
  while (delim != '\0' && lead < text.size() && text[lead] == delim) ++lead;
  std::vector<std::string> elems;
  std::vector<size_t> seps;
  for (const char *q = copy.data() + lead; *q;) {
    const char *end = StrChr(q, delim);
    if (!end) end = q + strlen(q);
    const char *next = end;
    while (delim != '\0' && *next == delim) ++next;
    elems.emplace_back(q, end);
    seps.push_back(static_cast<size_t>(next - end));
    q = next;
  }
  std::vector<std::string> sorted = elems;
  auto key = [&](const std::string &e) { return nocase ? Lower(e + delim) : e + delim; };
  std::stable_sort(sorted.begin(), sorted.end(),
                   [&](const std::string &a, const std::string &b) { return key(a) < key(b); });
  std::string expected = text.substr(0, lead);
  for (size_t i = 0; i < sorted.size(); ++i) expected += sorted[i] + std::string(seps[i], delim);

  if (SortTokens(copy.data(), delim, nocase) != copy.data()) abort();
  std::string got(copy.data());
  std::string a = got, b = text;
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  if (got.size() != text.size() || a != b || got != expected) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  my_name = const_cast<char *>("tokens_fuzz");
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  size_t count = data[1] % 4 + 1;
  if (size < 2 + count) return 0;
  std::string delims;
  for (size_t i = 0; i < count; ++i) {
    char c = static_cast<char>(data[2 + i]);
    /* A backslash always escapes; as a delimiter it is read differently by the tokenizers. */
    if (c != '\0' && c != '\\' && delims.find(c) == std::string::npos) delims += c;
  }
  if (delims.empty()) delims = " ";
  std::string text(reinterpret_cast<const char *>(data) + 2 + count, size - 2 - count);
  text = text.substr(0, strlen(text.c_str()));

  CheckTokenizers(text, delims, flags);
  CheckParseStr(text, delims, (flags >> 2) % 8 + 1);
  CheckKeywordLists(text, delims, flags);
  CheckSort(text, (flags & 8) ? delims[0] : static_cast<char>(data[2]), flags & 4);
  return 0;
}

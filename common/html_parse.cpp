/* Help files: loading, splitting into pages and parsing pages into element lists. */
#include <string.h>

#include "MemMgr.h"
#include "html.h"
#include "html_internal.h"
#include "utils.h"

HtmlFile *aFile[HTML_MAX_FILES];
int FileIndex = 0;
int CurrentFile = 0;
HtmlPage *pCurrentPage = nullptr;

constexpr char HTMLKeys[] =
    ",nbsp;,iexcl;,cent;,pound;,curren;,yen;,brvbar;,sect;,uml;,copy;,ordf;,laquo;,not;,"
    "shy;,reg;,macr;,deg;,plusmn;,sup2;,sup3;,acute;,micro;,para;,middot;,cedil;,supl;,"
    "ordm;,raquo;,frac14;,frac12;,frac34;,iquest;,Agrave;,Aacute;,Acirc;,Atilde;,Auml;,"
    "Aring;,AElig;,Ccedil;,Egrave;,Eacute;,Ecirc;,Euml;,Igrave;,Iacute;,Icirc;,Iuml;,ETH;,"
    "Ntilde;,Ograve;,Oacute;,Ocirc;,Otilde;,Ouml;,times;,Oslash;,Ugrave;,Uacute;,Ucirc;,"
    "Uuml;,Yacute;,THORN;,szlig;,agrave;,aacute;,acirc;,atilde;,auml;,aring;,aelig;,"
    "ccedil;,egrave;,eacute;,ecirc;,euml;,igrave;,iacute;,icirc;,iuml;,eth;,ntilde;,"
    "ograve;,oacute;,ocirc;,otilde;,ouml;,divide;,oslash;,ugrave;,uacute;,ucirc;,uuml;,"
    "yacute;,thorn;,yuml;,";

constexpr int HTMLKeySizes[97] = {0, 5, 6, 5, 6, 7, 4, 7, 5, 4, 5, 5, 6, 4, 4, 4, 5, 4, 7, 5,
                                  5, 6, 6, 5, 7, 6, 5, 5, 6, 7, 7, 7, 7, 7, 7, 6, 7, 5, 6, 6,
                                  7, 7, 7, 6, 5, 7, 7, 6, 5, 4, 7, 7, 7, 6, 7, 5, 6, 7, 7, 7,
                                  6, 5, 7, 6, 6, 7, 7, 6, 7, 5, 6, 6, 7, 7, 7, 6, 5, 7, 7, 6,
                                  5, 4, 7, 7, 7, 6, 7, 5, 7, 7, 7, 7, 6, 5, 7, 6, 5};

constexpr unsigned char HTMLChars[97] = {
    0,   160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175,
    176, 177, 178, 179, 180, 181, 182, 183, 184, 185, 186, 187, 188, 189, 190, 191, 192,
    193, 194, 195, 196, 197, 198, 199, 200, 201, 202, 203, 204, 205, 206, 207, 208, 209,
    210, 211, 212, 213, 214, 215, 216, 217, 218, 219, 220, 221, 222, 223, 224, 225, 226,
    227, 228, 229, 230, 231, 232, 233, 234, 235, 236, 237, 238, 239, 240, 241, 242, 243,
    244, 245, 246, 247, 248, 249, 250, 251, 252, 253, 254, 255};

namespace {

/* The sizes table must agree with the names: name k runs between the k-th and the
 * (k+1)-th comma of the list. */
constexpr bool KeySizesMatchKeys() {
  int k = 0, len = 0;
  for (const char *p = HTMLKeys + 1; *p; ++p) {
    if (*p != ',') {
      ++len;
      continue;
    }
    ++k;
    if (k > 96 || HTMLKeySizes[k] != len || HTMLChars[k] != 159 + k) return false;
    len = 0;
  }
  return k == 96 && HTMLKeySizes[0] == 0;
}
static_assert(KeySizesMatchKeys(), "HTMLKeySizes and HTMLChars must follow HTMLKeys");

constexpr char kFileTags[] = ",html,head,body,/html,";
constexpr char kLinkKeys[] = ",name,href,";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

/* True when text starts with the lower-case word, compared without case. */
bool StartsNoCase(const char *text, const char *word) {
  for (; *word; ++text, ++word) {
    if (Lower(*text) != *word) return false;
  }
  return true;
}

bool EqualNoCase(const char *a, const char *b) {
  for (; *a && *b; ++a, ++b) {
    if (Lower(*a) != Lower(*b)) return false;
  }
  return *a == *b;
}

/* First occurrence of the lower-case word in text, compared without case; null if none. */
char *FindNoCase(char *text, const char *word) {
  for (; *text; ++text) {
    if (Lower(*text) == word[0] && StartsNoCase(text, word)) return text;
  }
  return nullptr;
}

/* A tag that ends the page being parsed: the next html tag, /html, and body for a head. */
char *gPendingName = nullptr; /* such a tag, read by ParseHtml for the file level */
char *gPendingAttr = nullptr;

bool EndsPage(const char *name, const char *end) {
  if (EqualNoCase(name, "html") || EqualNoCase(name, "/html")) return true;
  return end != nullptr && EqualNoCase(end, "head") && EqualNoCase(name, "body");
}

/* Splits tag text in place: leading blanks skipped, the name up to the next blank (cut
 * there), the attribute text after it ("" when none). */
void SplitTag(char *text, char **name, char **attr) {
  while (IsBlank(*text)) ++text;
  *name = text;
  while (*text && !IsBlank(*text)) ++text;
  if (*text) *text++ = '\0';
  *attr = text;
}

/* A comment "<!-- ... -->" starting at the "<" lt; the position after it, the end of the
 * text when it is not closed. Null when lt opens no comment. */
char *SkipComment(char *lt) {
  if (lt[1] != '!' || lt[2] != '-' || lt[3] != '-') return nullptr;
  char *end = strstr(lt + 2, "-->");
  return end ? end + 3 : lt + strlen(lt);
}

/* The character of a numeric reference's value: "?" for 0, control codes and anything
 * above 255, so that no control byte reaches the terminal; tab and newline stay. */
char NumericChar(long value) {
  if (value == '\t' || value == '\n') return static_cast<char>(value);
  if ((value >= 32 && value < 127) || (value >= 160 && value <= 255)) {
    return static_cast<char>(value);
  }
  return '?';
}

/* Decodes the character reference at the "&" r into *out and returns the number of
 * characters it takes; an "&" that starts no complete reference is itself (1). */
int DecodeReference(const char *r, char *out) {
  *out = '&';
  if (r[1] == '#' && IsDigit(r[2])) {
    long value = 0;
    const char *p = r + 2;
    for (; IsDigit(*p); ++p) {
      if (value < 1000000) value = value * 10 + (*p - '0');
    }
    if (*p != ';') return 1;
    *out = NumericChar(value);
    return static_cast<int>(p + 1 - r);
  }
  if (StartsNoCase(r + 1, "quot;")) {
    *out = '"';
    return 6;
  }
  /* A name of letters and digits with its ";" less than 16 characters after the "&". */
  char word[16];
  int n = 0;
  for (const char *p = r + 1; IsAlnum(*p) && n < 14; ++p) word[n++] = *p;
  if (n == 0 || r[1 + n] != ';') return 1;
  word[n++] = ';';
  word[n] = '\0';
  unsigned k = FindToken(word, HTMLKeys);
  if (k == 0 || k > 96) return 1;
  *out = static_cast<char>(HTMLChars[k]);
  return 1 + HTMLKeySizes[k];
}

/* Moves file's position past the next "/html" tag (without case) and its ">"; to the end
 * of the text when there is none. */
void SkipPageSection(HtmlFile *file) {
  char *p = FindNoCase(file->position, "/html");
  char *gt = p ? strchr(p, '>') : nullptr;
  file->position = gt ? gt + 1 : file->position + strlen(file->position);
}

void FreeElements(List *list) {
  for (ListNode *n = list->first; n; n = n->next) {
    HtmlElement *e = static_cast<HtmlElement *>(n->item);
    if (e->data && (e->tag == html::kFitabTag || (e->tag && html::IsLinkTag(e->tag)))) {
      PutMem(e->data);
    }
  }
  ListDelAllItems(list);
}

void FreeHtmlFile(HtmlFile *file) {
  if (!file) return;
  for (ListNode *n = file->pages.first; n; n = n->next) {
    HtmlPage *page = static_cast<HtmlPage *>(n->item);
    if (page == pCurrentPage) pCurrentPage = nullptr;
    if (page == html::gCanvas.page) html::gCanvas.page = nullptr;
    FreeElements(&page->head);
    FreeElements(&page->body);
    ListDelAllItems(&page->links);
    PutMem(page->image);
  }
  ListDelAllItems(&file->pages);
  PutMem(file->name);
  PutMem(file->content);
  PutMem(file);
}

/* A managed copy of the first n characters of text. */
char *CopyN(const char *text, size_t n) {
  char *copy = static_cast<char *>(GetMem(static_cast<int>(n) + 1));
  if (copy) memcpy(copy, text, n);
  return copy;
}

/* Splits the file into pages and parses their heads and bodies; returns the page count. */
int ParsePages(HtmlFile *file) {
  HtmlPage *page = nullptr;
  gPendingName = gPendingAttr = nullptr;
  for (;;) {
    char *name, *attr;
    if (gPendingName) {
      name = gPendingName;
      attr = gPendingAttr;
      gPendingName = gPendingAttr = nullptr;
    } else {
      char *tag = GetKeyWord(file);
      if (!tag) break;
      SplitTag(tag, &name, &attr);
    }
    switch (html::LookupNoCase(name, kFileTags)) {
      case 1: { /* html */
        if (strstr(attr, "SkipPage")) {
          SkipPageSection(file);
          break;
        }
        char *pageName = FindNoCase(attr, "page=\"");
        if (page && !pageName) break; /* the current page goes on */
        page = static_cast<HtmlPage *>(ListPushItem(&file->pages, nullptr, sizeof(HtmlPage)));
        if (!page) return file->pages.count;
        pCurrentPage = page;
        if (pageName) {
          page->name = pageName + 6;
          char *quote = strchr(page->name, '"');
          if (quote) *quote = '\0';
        }
        break;
      }
      case 2: /* head */
        if (page && page->head.count == 0) ParseHtml(file, &page->head, "head");
        break;
      case 3: /* body */
        if (page) ParseHtml(file, &page->body, "body");
        break;
      default:
        break;
    }
  }
  return file->pages.count;
}

}  // namespace

unsigned html::LookupNoCase(const char *word, const char *list) {
  if (!word || !list || !*list || strchr(word, list[0])) return 0;
  return FindTokenC(word, list);
}

bool html::IsLinkTag(const char *tag) { return Lower(tag[0]) == 'a' && tag[1] == '\0'; }

HtmlFile *FindHtmlFile(const char *name) {
  if (!name) return nullptr;
  for (int i = 0; i < FileIndex && i < HTML_MAX_FILES; ++i) {
    if (aFile[i] && aFile[i]->name && strcmp(aFile[i]->name, name) == 0) {
      CurrentFile = i;
      return aFile[i];
    }
  }
  return nullptr;
}

HtmlPage *HtmlFindTarget(HtmlFile *file, const char *target, int *offset) {
  if (!file || !target) return nullptr;
  for (ListNode *n = file->pages.first; n; n = n->next) {
    HtmlPage *page = static_cast<HtmlPage *>(n->item);
    if (page->name && strcmp(page->name, target) == 0) {
      if (offset) *offset = 0;
      return page;
    }
    for (ListNode *l = page->links.first; l; l = l->next) {
      HtmlLink *link = *static_cast<HtmlLink **>(l->item);
      if (link && link->kind == 1 && link->target && strcmp(link->target, target) == 0) {
        if (offset) *offset = link->start;
        return page;
      }
    }
  }
  return nullptr;
}

char *GetKeyWord(HtmlFile *file) {
  if (!file || !file->position) return nullptr;
  char *p = file->position;
  for (;;) {
    char *lt = strchr(p, '<');
    if (!lt) {
      file->position = p + strlen(p);
      return nullptr;
    }
    char *after = SkipComment(lt);
    *lt = '\0'; /* ends the text before the tag */
    if (after) {
      p = after;
      continue;
    }
    char *gt = strchr(lt + 1, '>');
    if (!gt) {
      file->position = lt + 1 + strlen(lt + 1);
      return nullptr;
    }
    *gt = '\0';
    file->position = gt + 1;
    return lt + 1;
  }
}

HtmlElement *AddAtribute(List *list, char *tag, char *data) {
  HtmlElement *e = static_cast<HtmlElement *>(ListPushItem(list, nullptr, sizeof(HtmlElement)));
  if (!e) return nullptr;
  e->tag = tag;
  e->data = data;
  e->length = data ? static_cast<int>(strlen(data)) : 0;
  if (!tag || !html::IsLinkTag(tag)) return e;

  HtmlLink *link = static_cast<HtmlLink *>(GetMem(sizeof(HtmlLink)));
  e->data = link;
  if (!link || !data) return e;
  for (char *word = GetTokenParse(data, " \t\n\r"); word;
       word = GetTokenParse(nullptr, " \t\n\r")) {
    char *eq = strchr(word, '=');
    if (!eq) continue;
    *eq = '\0';
    char *value = eq + 1;
    if (*value == '"') ++value;
    char *quote = strchr(value, '"');
    if (quote) *quote = '\0';
    unsigned key = html::LookupNoCase(word, kLinkKeys);
    if (key == 1 || key == 2) {
      link->target = value;
      link->kind = static_cast<int>(key);
    }
  }
  return e;
}

HtmlFile *ParseHtml(HtmlFile *file, List *list, const char *end) {
  if (!file || !file->position) return file;
  char *r = file->position; /* read position */
  char *w = r;              /* write position of the open run; runs decode in place */
  char *run = nullptr;      /* start of the open run */
  auto endRun = [&]() {
    if (!run) return;
    *w = '\0';
    AddAtribute(list, nullptr, run);
    run = nullptr;
  };
  for (;;) {
    char c = *r;
    if (c == '\0') {
      endRun();
      break;
    }
    if (c == '<') {
      char *after = SkipComment(r);
      endRun();
      if (after) {
        r = after;
        continue;
      }
      char *text = r + 1;
      char *gt = strchr(text, '>');
      if (gt) {
        *gt = '\0';
        r = gt + 1;
      } else {
        r = text + strlen(text);
      }
      char *name, *attr;
      SplitTag(text, &name, &attr);
      if (name[0] == '/' && end && EqualNoCase(name + 1, end)) break;
      if (EndsPage(name, end)) {
        gPendingName = name;
        gPendingAttr = attr;
        break;
      }
      AddAtribute(list, name, attr);
      continue;
    }
    if (c == '&') {
      if (!run) run = w = r;
      r += DecodeReference(r, w++);
      continue;
    }
    if (IsBlank(c)) {
      ++r;
      if (!run) continue; /* white space that opens no run is dropped */
      /* A run of white space keeps its first character; "\r\n" counts as "\n". */
      if (c == '\r' && *r == '\n') c = *r++;
      *w++ = c;
      while (IsBlank(*r)) ++r;
      continue;
    }
    if (!run) run = w = r;
    *w++ = c;
    ++r;
  }
  file->position = r;
  return file;
}

HtmlFile *ParseHtmlFile(const char *name, const char *content) {
  if (!name) return nullptr;
  if (StartsNoCase(name, "http://")) return nullptr;
  if (StartsNoCase(name, "file://")) name += 7;
  const char *hash = strchr(name, '#');
  size_t baseLen = hash ? static_cast<size_t>(hash - name) : strlen(name);
  const char *anchor = hash ? hash + 1 : "";

  char *base = CopyN(name, baseLen);
  if (!base) return nullptr;
  HtmlFile *file = FindHtmlFile(base);
  if (file && file->pages.count > 0) {
    PutMem(base);
    pCurrentPage = static_cast<HtmlPage *>(file->pages.first->item);
    HtmlPage *target = *anchor ? HtmlFindTarget(file, anchor, nullptr) : nullptr;
    if (target) pCurrentPage = target;
    return file;
  }

  char *text = content ? (*content ? CopyN(content, strlen(content)) : nullptr)
                       : GetSavedFileContent(base, nullptr);
  if (!text || FileIndex >= HTML_MAX_FILES) {
    PutMem(text);
    PutMem(base);
    return nullptr;
  }
  file = static_cast<HtmlFile *>(GetMem(sizeof(HtmlFile)));
  if (!file) {
    PutMem(text);
    PutMem(base);
    return nullptr;
  }
  file->name = base;
  file->content = text;
  file->position = text;
  file->length = static_cast<int>(strlen(text));
  int slot = FileIndex;
  aFile[slot] = file;

  if (ParsePages(file) == 0) {
    aFile[slot] = nullptr;
    FreeHtmlFile(file);
    return nullptr;
  }
  CurrentFile = slot;
  ++FileIndex;
  html::gBudget = html::Budget();
  for (ListNode *n = file->pages.first; n; n = n->next) {
    pCurrentPage = static_cast<HtmlPage *>(n->item);
    PrintTextImage(file);
  }
  pCurrentPage = static_cast<HtmlPage *>(file->pages.first->item);
  HtmlPage *target = *anchor ? HtmlFindTarget(file, anchor, nullptr) : nullptr;
  if (target) pCurrentPage = target;
  return file;
}

void HtmlResetState(void) {
  for (int i = 0; i < HTML_MAX_FILES; ++i) {
    FreeHtmlFile(aFile[i]);
    aFile[i] = nullptr;
  }
  FileIndex = 0;
  CurrentFile = 0;
  pCurrentPage = nullptr;
  gPendingName = gPendingAttr = nullptr;
  html::gCanvas = html::Canvas();
  html::gState = html::InlineState();
  html::gBudget = html::Budget();
}

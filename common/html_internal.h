/* Internals of the html module shared by its sources, its tests and its fuzz target. */
#ifndef COMMON_HTML_INTERNAL_H
#define COMMON_HTML_INTERNAL_H

#include <stdint.h>

#include <string>
#include <vector>

#include "html.h"

/* Releases every loaded file and clears the file table and the layout state, so that a test
 * or a fuzz run starts from an empty module. */
void HtmlResetState(void);

namespace html {

/* Element kinds: the 1-based position of the tag in HtmlKeys, or one of these. */
enum TagCode {
  kUnknown = 0,
  kP = 1,
  kEndP,
  kB,
  kEndB,
  kFont,
  kEndFont,
  kA,
  kEndA,
  kTr,
  kEndTr,
  kBr,
  kTable,
  kFitab, /* a measured table; a tag written "fitab" by an author is unknown */
  kEndTable,
  kTd,
  kEndTd,
  kH1,
  kH6 = kH1 + 5,
  kEndH1,
  kEndH6 = kEndH1 + 5,
  kOl,
  kEndOl,
  kLi,
  kEndLi,
  kDiv,
  kEndDiv,
  kImg,
  kUl,
  kEndUl,
  kText = 100 /* a run of text */
};

/* The tag of a measured table: the element's tag is pointed here, never written over. */
extern const char kFitabTag[];

/* The kind of element e. */
int TagCodeOf(const HtmlElement *e);

/* 1-based position of word in the keyword list, compared without case (ASCII); 0 when
 * absent, when an argument is null or when word holds the list's delimiter. */
unsigned LookupNoCase(const char *word, const char *list);

/* True for an a tag (any case): its element's data is a link record. */
bool IsLinkTag(const char *tag);

/* The page being laid out: one string per line, each as long as its text. */
struct LinkSpan {
  HtmlLink *link;
  int64_t line, column;       /* where the link starts */
  int64_t endLine, endColumn; /* just past its end */
};

struct Canvas {
  HtmlPage *page = nullptr; /* the page whose lines these are; null when none is built */
  std::vector<std::string> rows;
  std::vector<LinkSpan> spans;
  int64_t budget = 0; /* characters (line ends included) the page may still take */
  bool full = false;  /* the budget ran out: later writes are dropped */
};
extern Canvas gCanvas;

/* What the pages of the file being laid out may still write. */
struct Budget {
  const HtmlFile *file = nullptr; /* null: the next page starts a new budget */
  int64_t left = 0;
};
extern Budget gBudget;

/* Writes n characters of text (n copies of text[0] with fill) at (line, column) after blanks
 * up to column; blank turns "\n", "\t" and "\r" into blanks. */
void CanvasWrite(int64_t line, int64_t column, const char *text, int64_t n, bool fill, bool blank);

/* List and link state that runs through a page in element order. */
struct InlineState {
  std::vector<int> lists; /* open lists, innermost last: the ol counter, or -1 for a ul */
  HtmlLink *open = nullptr;
  size_t openSpan = 0; /* its entry in gCanvas.spans while laying out */
};
extern InlineState gState; /* the layout's */

/* A cursor over the elements of the top level or of a table cell. Measuring keeps only the
 * extents of the open cell (line and column then count from its first line and column). */
struct Flow {
  bool measuring = false;
  bool inTable = false;
  int64_t line = 0, column = 0, cellStart = 0;
  int64_t width = 0, height = 0; /* measuring: the cell's extents so far */
  InlineState *state = nullptr;
};

/* Applies an element that does not shape a table (text, paragraphs, headings, breaks,
 * lists, links) to the flow; false for table tags, which the caller handles. */
bool FlowInline(Flow &flow, int code, HtmlElement *e);
/* Ends the open link of the flow, if any: ">" for an href link, and in layout its end
 * recorded and the link appended to the page's links. */
void FlowCloseLink(Flow &flow);
/* Moves the flow n lines down to the start of its cell (column 0 at the top level). */
void FlowNewLine(Flow &flow, int n);

/* Lays out a measured table at its left and top from the body list's cursor up to its
 * /table; returns the line reached. */
int LayTable(HtmlFile *file, HtmlTable *table);

/* True for the tags that shape a table: tr, /tr, td, /td, table, fitab and /table. */
bool IsTableTag(int code);

/* v as an int, cut to the int range. */
inline int ClampInt(int64_t v) {
  return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int>(v);
}

/* Consumes the body elements up to the /table that closes the table whose tag was just
 * read (nested tables included). */
void SkipTable(List *body);

}  // namespace html

#endif

/* Page layout: the title, the body's text, headings, lists and links as lines of text, and
 * the flattened page text with the offsets of its links. Tables are in html_table.cpp. */
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "MemMgr.h"
#include "html.h"
#include "html_internal.h"

const char HtmlKeys[] =
    ",p,/p,b,/b,font,/font,a,/a,tr,/tr,br,table,fitab,/table,td,/td,h1,h2,h3,h4,h5,h6,"
    "/h1,/h2,/h3,/h4,/h5,/h6,ol,/ol,li,/li,div,/div,img,ul,/ul,";

namespace html {

const char kFitabTag[] = "fitab";
Canvas gCanvas;
InlineState gState;
Budget gBudget;

}  // namespace html

using namespace html;

namespace {

constexpr char kTitleTags[] = ",title,/title,";

/* The pages of a file may take 16 MiB of text plus eight bytes per byte of the file (1 GiB
 * at most) together: tables with huge rows or widths cannot exhaust memory. What a page
 * would write beyond that is dropped. */
constexpr int64_t kBudgetBase = int64_t{16} << 20;
constexpr int64_t kBudgetPerByte = 8;
constexpr int64_t kBudgetMax = int64_t{1} << 30;

bool Spend(int64_t n) {
  if (gCanvas.full || n > gCanvas.budget) {
    gCanvas.full = true;
    return false;
  }
  gCanvas.budget -= n;
  return true;
}

void FlowWrite(Flow &f, const char *text, int64_t n) {
  if (n <= 0) return;
  if (f.measuring) {
    f.width = std::max(f.width, f.column + n);
    f.height = std::max(f.height, f.line + 1);
  } else {
    CanvasWrite(f.line, f.column, text, n, false, f.inTable);
  }
  f.column += n;
}

void FlowOpenLink(Flow &f, HtmlLink *link) {
  InlineState &s = *f.state;
  FlowCloseLink(f);
  if (!link) return;
  if (!f.measuring) {
    link->start = ClampInt(f.line);
    link->end = ClampInt(f.column);
    gCanvas.spans.push_back({link, f.line, f.column, f.line, f.column});
    s.openSpan = gCanvas.spans.size() - 1;
  }
  s.open = link;
  if (link->kind == 2) FlowWrite(f, "<", 1);
}

void FlowListItem(Flow &f) {
  std::vector<int> &lists = f.state->lists;
  if (lists.empty()) return;
  FlowNewLine(f, 1);
  char mark[24];
  int &counter = lists.back();
  if (counter >= 0) {
    if (counter < INT32_MAX) ++counter;
    snprintf(mark, sizeof mark, "   %i. ", counter);
  } else {
    snprintf(mark, sizeof mark, "   * ");
  }
  FlowWrite(f, mark, static_cast<int64_t>(strlen(mark)));
}

/* Offset in the flattened text of (line, column); a column past its line's end counts as
 * the line's end, a line past the last as the end of the text. */
int64_t TextOffset(const std::vector<int64_t> &starts, int64_t line, int64_t column) {
  int64_t lines = static_cast<int64_t>(starts.size()) - 1;
  if (line < 0) return 0;
  if (line >= lines) return starts[lines];
  int64_t lineEnd = starts[line + 1] - 1; /* its "\n" */
  return std::min(starts[line] + std::max<int64_t>(column, 0), lineEnd);
}

}  // namespace

int html::TagCodeOf(const HtmlElement *e) {
  if (!e->tag) return kText;
  if (e->tag == kFitabTag) return e->data ? kFitab : kUnknown;
  unsigned k = LookupNoCase(e->tag, HtmlKeys);
  return k == kFitab ? kUnknown : static_cast<int>(k);
}

bool html::IsTableTag(int code) {
  switch (code) {
    case kTr:
    case kEndTr:
    case kTd:
    case kEndTd:
    case kTable:
    case kFitab:
    case kEndTable:
      return true;
    default:
      return false;
  }
}

void html::CanvasWrite(int64_t line, int64_t column, const char *text, int64_t n, bool fill,
                       bool blank) {
  Canvas &c = gCanvas;
  if (n <= 0 || line < 0 || column < 0 || c.full) return;
  if (line >= static_cast<int64_t>(c.rows.size())) {
    if (!Spend(line + 1 - static_cast<int64_t>(c.rows.size()))) return;
    c.rows.resize(static_cast<size_t>(line) + 1);
  }
  std::string &row = c.rows[static_cast<size_t>(line)];
  int64_t end = column + n;
  if (end > static_cast<int64_t>(row.size())) {
    if (!Spend(end - static_cast<int64_t>(row.size()))) return;
    row.resize(static_cast<size_t>(end), ' ');
  }
  char *dst = &row[static_cast<size_t>(column)];
  if (fill) {
    memset(dst, text[0], static_cast<size_t>(n));
  } else {
    memcpy(dst, text, static_cast<size_t>(n));
  }
  if (!blank) return;
  for (int64_t i = 0; i < n; ++i) {
    if (dst[i] == '\n' || dst[i] == '\t' || dst[i] == '\r') dst[i] = ' ';
  }
}

void html::FlowNewLine(Flow &f, int n) {
  f.line += n;
  f.column = f.cellStart;
}

void html::FlowCloseLink(Flow &f) {
  InlineState &s = *f.state;
  HtmlLink *link = s.open;
  if (!link) return;
  s.open = nullptr;
  if (link->kind == 2) FlowWrite(f, ">", 1);
  if (f.measuring) return;
  if (s.openSpan < gCanvas.spans.size() && gCanvas.spans[s.openSpan].link == link) {
    gCanvas.spans[s.openSpan].endLine = f.line;
    gCanvas.spans[s.openSpan].endColumn = f.column;
  }
  if (gCanvas.page) ListPushItem(&gCanvas.page->links, &link, sizeof link);
}

bool html::FlowInline(Flow &f, int code, HtmlElement *e) {
  switch (code) {
    case kText:
      if (e->data) FlowWrite(f, static_cast<const char *>(e->data), e->length);
      return true;
    case kP:
      if (!f.inTable) FlowNewLine(f, 2);
      return true;
    case kEndP:
      if (!f.inTable) FlowNewLine(f, 1);
      return true;
    case kA:
      FlowOpenLink(f, static_cast<HtmlLink *>(e->data));
      return true;
    case kEndA:
      FlowCloseLink(f);
      return true;
    case kOl:
      f.state->lists.push_back(0);
      return true;
    case kUl:
      f.state->lists.push_back(-1);
      return true;
    case kEndOl:
    case kEndUl:
      if (!f.state->lists.empty()) f.state->lists.pop_back();
      FlowNewLine(f, 1);
      return true;
    case kLi:
      FlowListItem(f);
      return true;
    case kBr:
    case kDiv:
      FlowNewLine(f, 1);
      return true;
    case kEndDiv:
      FlowNewLine(f, 2);
      return true;
    default:
      break;
  }
  if (code >= kH1 && code <= kH6) {
    FlowNewLine(f, 1);
    return true;
  }
  if (code >= kEndH1 && code <= kEndH6) {
    FlowNewLine(f, 2);
    return true;
  }
  return !IsTableTag(code); /* b, font, img, /li and unknown tags show nothing */
}

void PrintText(HtmlFile *, int line, int column, const char *text, int count, int fill) {
  if (!text || !gCanvas.page) return;
  CanvasWrite(line, column, text, count, fill != 0, false);
}

int BuildTextImage(HtmlFile *file) {
  HtmlPage *page = pCurrentPage;
  if (!page) return 0;
  if (!file || file != gBudget.file) {
    int64_t size = file && file->length > 0 ? file->length : 0;
    gBudget.file = file;
    gBudget.left = std::min(kBudgetBase + kBudgetPerByte * size, kBudgetMax);
  }
  gCanvas = Canvas();
  gCanvas.page = page;
  gCanvas.budget = gBudget.left;
  gState = InlineState();
  ListDelAllItems(&page->links);

  /* The title: every text between title and /title centred on a line of its own. */
  int64_t line = 0;
  bool inTitle = false;
  for (ListNode *n = page->head.first; n; n = n->next) {
    HtmlElement *e = static_cast<HtmlElement *>(n->item);
    if (e->tag) {
      unsigned k = LookupNoCase(e->tag, kTitleTags);
      if (k) inTitle = k == 1;
      continue;
    }
    if (!inTitle || !e->data) continue;
    int64_t indent = e->length < HTML_TITLE_WIDTH ? (HTML_TITLE_WIDTH - e->length) / 2 : 0;
    CanvasWrite(line, 0, " ", indent, true, false);
    CanvasWrite(line, indent, static_cast<const char *>(e->data), e->length, false, true);
    line += 2;
  }
  page->body.cursor = page->body.first;
  BuildTextBody(file, nullptr, ClampInt(line), 0);
  return page->lines;
}

int BuildTextBody(HtmlFile *file, HtmlTable *table, int line, int column) {
  HtmlPage *page = pCurrentPage;
  if (!page) return line;
  if (table) {
    table->left = column;
    table->top = line;
    return LayTable(file, table);
  }
  List *body = &page->body;
  Flow f;
  f.state = &gState;
  f.line = line;
  f.column = column;
  for (HtmlElement *e; (e = static_cast<HtmlElement *>(ListWalk(body, 1)));) {
    int code = TagCodeOf(e);
    if (FlowInline(f, code, e)) continue;
    if (code == kTable) {
      if (!gState.lists.empty()) FlowNewLine(f, 1);
      ListNode *keep = body->cursor;
      HtmlTable *measured = GetTextTable(file, e, 0);
      body->cursor = keep;
      if (!measured) continue;
      code = kFitab;
    }
    if (code == kFitab) {
      HtmlTable *t = static_cast<HtmlTable *>(e->data);
      int64_t left = f.column, top = f.line;
      BuildTextBody(file, t, ClampInt(top), ClampInt(left));
      f.line = top + t->height;
      f.column = left;
    }
    /* tr, td and their end tags and a stray /table outside a table are ignored. */
  }
  FlowCloseLink(f);
  int64_t rows = gCanvas.page == page ? static_cast<int64_t>(gCanvas.rows.size()) : 0;
  page->lines = ClampInt(std::max(f.line, rows));
  return ClampInt(f.line);
}

char *PrintTextImage(HtmlFile *file) {
  HtmlPage *page = pCurrentPage;
  if (!page) return nullptr;
  if (page->image) return page->image;
  if (gCanvas.page != page) BuildTextImage(file);

  const std::vector<std::string> &rows = gCanvas.rows;
  int64_t lines = std::max(page->lines, 0);
  std::vector<int64_t> starts(static_cast<size_t>(lines) + 1);
  int64_t total = 0;
  for (int64_t i = 0; i < lines; ++i) {
    starts[static_cast<size_t>(i)] = total;
    total += (i < static_cast<int64_t>(rows.size()) ? rows[static_cast<size_t>(i)].size() : 0) + 1;
  }
  starts[static_cast<size_t>(lines)] = total;
  char *text = total < INT32_MAX
                   ? static_cast<char *>(GetMem(ClampInt(std::max<int64_t>(total, 1))))
                   : nullptr;
  if (!text) {
    gCanvas = Canvas();
    return nullptr;
  }
  char *out = text;
  for (int64_t i = 0; i < lines; ++i) {
    if (i < static_cast<int64_t>(rows.size())) {
      const std::string &row = rows[static_cast<size_t>(i)];
      memcpy(out, row.data(), row.size());
      out += row.size();
    }
    *out++ = '\n';
  }
  *out = '\0';
  for (const LinkSpan &span : gCanvas.spans) {
    int64_t start = TextOffset(starts, span.line, span.column);
    int64_t end = std::max(start, TextOffset(starts, span.endLine, span.endColumn));
    span.link->start = ClampInt(start);
    span.link->end = ClampInt(end);
    span.link->length = ClampInt(end - start);
  }
  page->image = text;
  page->length = ClampInt(total);
  gBudget.left = gCanvas.budget;
  gCanvas = Canvas();
  return text;
}

/* Tables: measuring (column widths and row heights), drawing the borders and laying out the
 * cells.
 *
 * Measuring and laying out walk the same elements with the same rules, so a cell's text
 * always fits the column measured for it: text adds up along a line, links count their "<"
 * and ">", and only breaks, headings, divisions and list items start a new line. Rows beyond
 * HTML_MAX_ROWS and cells beyond the counted columns are ignored (their text goes on in the
 * cell before), text outside any cell is not shown, and tables nested deeper than
 * HTML_MAX_NESTING are laid out as the text of their cell. */
#include <string.h>

#include <algorithm>

#include "MemMgr.h"
#include "html.h"
#include "html_internal.h"
#include "utils.h"

using namespace html;

namespace {

constexpr char kTableKeys[] = ",border,cellspacing,cellpadding,width,";
constexpr int64_t kMaxPixels = int64_t{HTML_PIXELS_PER_CHAR} * HTML_MAX_WIDTH;

int gDepth = 0;            /* tables being measured, the innermost included */
InlineState gMeasureState; /* the layout's list and link state, run through by measuring */

struct Width {
  bool given = false;
  bool percent = false;
  int64_t value = 0;
};

/* A width value: a leading double quote skipped, read up to 9 characters (an optional "-"
 * and digits); a percentage when a "%" follows. */
Width ReadWidth(const char *text) {
  Width w;
  if (!text) return w;
  if (*text == '"') ++text;
  int n = 0;
  bool negative = false;
  if (text[n] == '-') {
    negative = true;
    ++n;
  }
  int digits = 0;
  for (; n < 9 && text[n] >= '0' && text[n] <= '9'; ++n, ++digits) {
    w.value = w.value * 10 + (text[n] - '0');
  }
  if (digits == 0) return w;
  w.given = true;
  if (negative) w.value = -w.value;
  w.percent = strchr(text, '%') != nullptr;
  return w;
}

/* A pixel value (cellpadding, cellspacing, border) cut to [0, kMaxPixels]. */
int64_t ReadPixels(const char *text) {
  Width w = ReadWidth(text);
  return std::clamp<int64_t>(w.value, 0, kMaxPixels);
}

/* A computed width: 0 (not given) when not positive, else at most cap. */
int64_t FitWidth(int64_t width, int64_t cap) { return width <= 0 ? 0 : std::min(width, cap); }

struct TableAttributes {
  bool bordered = false;
  int64_t border = 0, spacing = 0, padding = 0; /* pixels */
  Width width;
};

/* Reads the attribute text of a table tag: words key=value (a bare border counts). */
TableAttributes ReadTableAttributes(const char *text) {
  TableAttributes a;
  if (!text) return a;
  for (char *word = GetToken(text, " \t\n\r"); word; word = GetToken(nullptr, " \t\n\r")) {
    char *eq = strchr(word, '=');
    const char *value = eq ? eq + 1 : "";
    if (eq) *eq = '\0'; /* GetToken's own buffer */
    switch (LookupNoCase(word, kTableKeys)) {
      case 1:
        a.bordered = true;
        a.border = *value ? ReadPixels(value) : 1;
        break;
      case 2:
        a.spacing = ReadPixels(value);
        break;
      case 3:
        a.padding = ReadPixels(value);
        break;
      case 4:
        a.width = ReadWidth(value);
        break;
      default:
        break;
    }
  }
  return a;
}

/* The width a td's attribute text gives its column in a table of width characters with
 * padding characters, or 0. */
int64_t CellWidth(const char *text, int64_t width, int64_t padding) {
  if (!text) return 0;
  for (char *word = GetToken(text, " \t\n\r"); word; word = GetToken(nullptr, " \t\n\r")) {
    char *eq = strchr(word, '=');
    if (!eq) continue;
    *eq = '\0';
    if (LookupNoCase(word, ",width,") != 1) continue;
    Width w = ReadWidth(eq + 1);
    if (!w.given) return 0;
    int64_t chars =
        w.percent ? width * w.value / 100 - 2 * padding - 1 : w.value / HTML_PIXELS_PER_CHAR;
    return FitWidth(chars, width);
  }
  return 0;
}

/* A table record with room for its arrays after it, copied from the measurement. */
HtmlTable *MakeRecord(const TableAttributes &a, const std::vector<int64_t> &heights,
                      const std::vector<int64_t> &widths, int64_t width) {
  int64_t rows = static_cast<int64_t>(heights.size());
  int64_t columns = static_cast<int64_t>(widths.size());
  size_t size = sizeof(HtmlTable) + static_cast<size_t>(rows + columns) * sizeof(int);
  HtmlTable *t = static_cast<HtmlTable *>(GetMem(static_cast<int>(size)));
  if (!t) return nullptr;
  t->padding = static_cast<int>(a.padding / HTML_PIXELS_PER_CHAR);
  t->spacing = static_cast<int>(a.spacing / HTML_PIXELS_PER_CHAR);
  t->frame = 1;
  t->bordered = a.bordered ? 1 : 0;
  t->rowHeights = reinterpret_cast<int *>(t + 1);
  t->columnWidths = t->rowHeights + rows;
  int64_t sum = 0, height = rows + 1;
  for (int64_t r = 0; r < rows; ++r) {
    t->rowHeights[r] = ClampInt(heights[static_cast<size_t>(r)]);
    height += t->rowHeights[r];
  }
  for (int64_t c = 0; c < columns; ++c) {
    t->columnWidths[c] = ClampInt(widths[static_cast<size_t>(c)]);
    sum += t->columnWidths[c];
  }
  t->rows = static_cast<int>(rows);
  t->columns = static_cast<int>(columns);
  int64_t natural = 2 * columns * t->padding + columns + 1 + sum;
  if (rows > 0 && columns > 0) { /* a table without cells takes no room */
    t->width = ClampInt(std::max(width, natural));
    t->height = ClampInt(height);
  }
  return t;
}

/* Draws one line of a table: ends at both borders, fill between, joint after each column
 * but the last. */
void DrawLine(const HtmlTable *t, int64_t line, char end, char fill, char joint) {
  int64_t left = t->left;
  CanvasWrite(line, left, &fill, t->width, true, false);
  CanvasWrite(line, left, &end, 1, false, false);
  CanvasWrite(line, left + t->width - 1, &end, 1, false, false);
  int64_t x = left;
  for (int c = 0; c + 1 < t->columns; ++c) {
    x += t->columnWidths[c] + 2 * int64_t{t->padding} + 1;
    CanvasWrite(line, x, &joint, 1, false, false);
  }
}

}  // namespace

void html::SkipTable(List *body) {
  int depth = 0;
  for (HtmlElement *e; (e = static_cast<HtmlElement *>(ListWalk(body, 1)));) {
    int code = TagCodeOf(e);
    if (code == kTable || code == kFitab) {
      ++depth;
    } else if (code == kEndTable) {
      if (depth == 0) return;
      --depth;
    }
  }
}

int GetColumnCnt(void) {
  if (!pCurrentPage) return 0;
  int depth = 0, count = 0, most = 0;
  for (ListNode *n = pCurrentPage->body.cursor; n; n = n->next) {
    int code = TagCodeOf(static_cast<HtmlElement *>(n->item));
    if (code == kTable || code == kFitab) {
      ++depth;
    } else if (code == kEndTable) {
      if (depth == 0) break;
      --depth;
    } else if (depth == 0 && code == kTr) {
      count = 0;
    } else if (depth == 0 && code == kTd && count < HTML_MAX_COLUMNS) {
      most = std::max(most, ++count);
    }
  }
  return most;
}

HtmlTable *GetTextTable(HtmlFile *file, HtmlElement *element, int available) {
  HtmlPage *page = pCurrentPage;
  if (!element || !page) return nullptr;
  if (element->tag == kFitabTag) return static_cast<HtmlTable *>(element->data);
  if (gDepth == 0) gMeasureState = gState;
  ++gDepth;

  TableAttributes a = ReadTableAttributes(static_cast<const char *>(element->data));
  int64_t columns = GetColumnCnt();
  int64_t padding = a.padding / HTML_PIXELS_PER_CHAR;
  int64_t width = 0; /* characters; 0 when not given */
  if (a.width.given) {
    int64_t cap = available > 0 ? available : HTML_MAX_WIDTH;
    if (!a.width.percent) {
      width = (a.width.value - 2 * columns * a.padding - (columns + 1) * a.spacing -
               (columns + 1) * (a.bordered ? a.border : 0)) /
              HTML_PIXELS_PER_CHAR;
    } else if (available > 0) {
      width = available * a.width.value / 100;
    }
    width = FitWidth(width, cap);
  }

  std::vector<int64_t> heights, widths(static_cast<size_t>(columns), 0),
      given(static_cast<size_t>(columns), 0);
  Flow f;
  f.measuring = true;
  f.inTable = true;
  f.state = &gMeasureState;
  int64_t row = -1, cell = -1;
  bool open = false; /* a cell is open: its content counts */
  int ignore = 0;    /* depth inside tables laid out as text */
  List *body = &page->body;
  for (HtmlElement *e; (e = static_cast<HtmlElement *>(ListWalk(body, 1)));) {
    int code = TagCodeOf(e);
    if (ignore > 0 && IsTableTag(code)) {
      if (code == kTable || code == kFitab) ++ignore;
      if (code == kEndTable) --ignore;
      continue;
    }
    if (code == kEndTable) break;
    switch (code) {
      case kTr:
        if (row + 1 < HTML_MAX_ROWS) {
          ++row;
          heights.push_back(0);
          cell = -1;
          open = false;
        }
        break;
      case kTd:
        if (row < 0) {
          row = 0;
          heights.push_back(0);
        }
        if (cell + 1 < columns) {
          ++cell;
          open = true;
          f.line = f.column = f.width = f.height = 0;
          if (width > 0 && given[static_cast<size_t>(cell)] == 0) {
            given[static_cast<size_t>(cell)] =
                CellWidth(static_cast<const char *>(e->data), width, padding);
          }
        }
        break;
      case kTable:
      case kFitab: {
        if (!open) {
          SkipTable(body);
          break;
        }
        HtmlTable *nested = nullptr;
        if (code == kFitab) {
          nested = static_cast<HtmlTable *>(e->data);
          SkipTable(body);
        } else if (gDepth < HTML_MAX_NESTING) {
          nested = GetTextTable(file, e, ClampInt(given[static_cast<size_t>(cell)]));
        }
        if (!nested) {
          ++ignore;
          break;
        }
        int64_t top = f.line + (f.column > 0 ? 1 : 0);
        f.width = std::max<int64_t>(f.width, nested->width);
        f.height = std::max<int64_t>(f.height, top + nested->height);
        f.line = top + nested->height;
        f.column = 0;
        break;
      }
      case kEndTr:
      case kEndTd:
        break;
      default:
        if (open) FlowInline(f, code, e);
        break;
    }
    if (open) {
      int64_t &w = widths[static_cast<size_t>(cell)];
      int64_t &h = heights[static_cast<size_t>(row)];
      w = std::max(w, f.width);
      h = std::max(h, f.height);
    }
  }

  for (size_t c = 0; c < widths.size(); ++c) widths[c] = std::max(widths[c], given[c]);
  HtmlTable *t = MakeRecord(a, heights, widths, width);
  --gDepth;
  if (t) {
    element->tag = const_cast<char *>(kFitabTag);
    element->data = t;
  }
  return t;
}

void DrawTableArea(HtmlFile *, HtmlTable *t) {
  if (!t || t->width <= 0 || t->height <= 0) return;
  if (!t->bordered) {
    for (int64_t i = 0; i < t->height && !gCanvas.full; ++i) {
      CanvasWrite(int64_t{t->top} + i, t->left, " ", t->width, true, false);
    }
    return;
  }
  int64_t line = t->top;
  for (int r = 0; r < t->rows && !gCanvas.full; ++r) {
    DrawLine(t, line++, '|', '-', '+');
    for (int i = 0; i < t->rowHeights[r] && !gCanvas.full; ++i) DrawLine(t, line++, '|', ' ', '|');
  }
  DrawLine(t, line, '\'', '-', '+');
  CanvasWrite(t->top, t->left, ",", 1, false, false);
  CanvasWrite(t->top, int64_t{t->left} + t->width - 1, ",", 1, false, false);
}

int html::LayTable(HtmlFile *file, HtmlTable *t) {
  List *body = &pCurrentPage->body;
  DrawTableArea(file, t);
  Flow f;
  f.inTable = true;
  f.state = &gState;
  int64_t left = t->left;
  int64_t rowTop = int64_t{t->top} + 1;
  f.line = rowTop;
  f.column = left + 1;
  f.cellStart = left + t->padding + 1;
  int64_t row = -1, cell = -1;
  bool open = false;
  int ignore = 0;
  for (HtmlElement *e; (e = static_cast<HtmlElement *>(ListWalk(body, 1)));) {
    int code = TagCodeOf(e);
    if (ignore > 0 && IsTableTag(code)) {
      if (code == kTable || code == kFitab) ++ignore;
      if (code == kEndTable) --ignore;
      continue;
    }
    if (code == kEndTable) break;
    switch (code) {
      case kTr:
        if (row + 1 < t->rows) {
          if (row >= 0) rowTop += t->rowHeights[row] + 1;
          ++row;
          cell = -1;
          open = false;
          f.line = rowTop;
          f.column = left + 1;
          f.cellStart = left + t->padding + 1;
        }
        break;
      case kTd:
        if (row < 0) {
          if (t->rows == 0) break;
          row = 0;
        }
        if (cell + 1 < t->columns) {
          ++cell;
          open = true;
          f.cellStart = cell == 0 ? left + t->padding + 1
                                  : f.cellStart + t->columnWidths[cell - 1] + 2 * t->padding + 1;
          f.line = rowTop;
          f.column = f.cellStart;
        }
        break;
      case kTable:
        ++ignore; /* not measured: deeper than the nesting limit, or outside a cell */
        break;
      case kFitab: {
        if (!open) {
          SkipTable(body);
          break;
        }
        HtmlTable *nested = static_cast<HtmlTable *>(e->data);
        int64_t top = f.line + (f.column > f.cellStart ? 1 : 0);
        BuildTextBody(file, nested, ClampInt(top), ClampInt(f.cellStart));
        f.line = top + nested->height;
        f.column = f.cellStart;
        break;
      }
      case kEndTr:
      case kEndTd:
        break;
      default:
        if (open) FlowInline(f, code, e);
        break;
    }
  }
  return ClampInt(f.line);
}

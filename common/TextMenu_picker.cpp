/* Text menu engine: the full-screen choice picker.
 *
 * The choices of a pick-one or pick-many item are laid out in numbered columns on the
 * picker's character screen (TextMenu_screen.cpp), with the item's label as title, the
 * save and cancel labels, the current selection and an option prompt. The user types
 * choice numbers (several at once for pick-many), pages with Return and ends with the
 * save or cancel key. Everything drawn is bounded by the screen as measured for the
 * first page; pages follow one another to the end of the list and then start again. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "NlsUtils.h"
#include "TextMenu.h"
#include "TextMenu_internal.h"
#include "utils.h"

using namespace textmenu;

namespace {

constexpr int kFirstRow = 3;    /* row of a column's first choice */
constexpr int kFrameRows = 6;   /* rows that are not choices: title, frame, prompt */
constexpr int kMarkWidth = 4;   /* " ->" and a blank before the number */
constexpr int kNeedRows = 7;    /* the smallest screen that shows one row of choices */
constexpr int kSizeMargin = 20; /* width beyond half the widest choice */

TextScreen screen;                 /* the picker's screen, measured per first page */
int firstColumn = 0;               /* first column of the page on screen */
int columnWidths[TM_PICK_COLUMNS]; /* widest choice of each column of the page */
std::string selectionText;         /* current selection, at most a screen line */

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

/* The choices of a kind-9/10 item as the engine's tokenizer splits them (at most ChoiceCnt),
 * read with a scan of their own so that the shared scan (pChoiceText) is left alone. */
std::vector<std::string> SplitChoices(const TextMenuItem *item) {
  std::vector<std::string> out;
  if (item == nullptr || item->pChoices == nullptr || item->ChoiceCnt <= 0) return out;
  char token[TOKEN_SIZE];
  char *cursor = nullptr;
  for (const char *text = item->pChoices; static_cast<int>(out.size()) < item->ChoiceCnt &&
                                          GetTokenD(text, ",", &cursor, token) != nullptr;
       text = nullptr)
    out.emplace_back(token);
  return out;
}

/* Choice index (0-based) as shown: without its marker. *available is false for a choice
 * that cannot be chosen: a leading blank, or a pick-many choice beyond the 32 of the mask. */
std::string Shown(const TextMenuItem *item, const std::string &raw, int index, bool *available) {
  bool ok = raw.empty() || raw[0] != ' ';
  if (item->Kind == TM_KIND_PICK_MANY && index >= TM_MAX_PICK_MANY) ok = false;
  if (available != nullptr) *available = ok;
  return !raw.empty() && (raw[0] == ' ' || raw[0] == '_') ? raw.substr(1) : raw;
}

bool IsChosen(const TextMenuItem *item, intptr_t value, int index) {
  if (item->Kind == TM_KIND_PICK_ONE) return Low32(value) == index;
  return index < TM_MAX_PICK_MANY && (static_cast<uint32_t>(value) >> index & 1u) != 0;
}

/* Rows of choices per column on the screen. */
int RowsPerColumn(const TextScreen *s) {
  return s->Rows - kFrameRows > 0 ? s->Rows - kFrameRows : 1;
}

/* Width of the choice numbers: two digits, more for lists beyond 99 choices. */
int NumberWidth(int count) {
  int digits = 2;
  for (int n = count; n >= 100; n /= 10) ++digits;
  return digits;
}

/* The label as shown: a "~k " hot-key label from its fourth character. */
const char *ShownLabel(const TextMenuItem *item) {
  const char *label = item->pLabel != nullptr ? item->pLabel : "";
  if (label[0] == '~') return strlen(label) >= 3 ? label + 3 : "";
  return label;
}

void FetchLabels() {
  if (VPATTYMENU_SAVE == nullptr) NlsTtyMenuCvt(&VPATTYMENU_SAVE, 201);
  if (VPATTYMENU_CANCEL == nullptr) NlsTtyMenuCvt(&VPATTYMENU_CANCEL, 202);
  if (VPATTYMENU_CURSEL == nullptr) NlsTtyMenuCvt(&VPATTYMENU_CURSEL, 203);
  if (VPATTYMENU_CURSELTRUNC == nullptr) NlsTtyMenuCvt(&VPATTYMENU_CURSELTRUNC, 204);
  if (VPATTYMENU_OPTION == nullptr) NlsTtyMenuCvt(&VPATTYMENU_OPTION, 205);
}

const char *Label(const char *text) { return text != nullptr ? text : ""; }

/* The save or cancel key: the label's first character in lower case. Digits always choose,
 * so a label that starts with a digit (or is empty, as the key of a missing message is)
 * gives the key fallback instead. */
char KeyOf(const char *label, char fallback) {
  char c = Lower(Label(label)[0]);
  return c == '\0' || IsDigit(c) ? fallback : c;
}

/* A selection line: fmt (one "%s") with text; a text that cannot be a format for one string
 * is shown as it is. */
std::string SelectionLine(const char *fmt, const std::string &text) {
  char signature[4];
  int n = NlsFormatSignature(fmt, signature, sizeof signature);
  if (n == 1 && signature[0] == 's') return Format(fmt, text.c_str());
  if (n == 0) return Format(fmt);
  return Label(fmt);
}

/* The three terminal-size messages and a wait for a line. */
void TooSmall(int width) {
  Text small(MenuFormat(25, 206, "")), size(MenuFormat(25, 207, "ii")),
      need(MenuFormat(25, 208, "ii"));
  fputs(Format(small.get()).c_str(), stdout);
  fputs(Format(size.get(), screen.Cols, screen.Rows).c_str(), stdout);
  fputs(Format(need.get(), width, kNeedRows).c_str(), stdout);
  char line[LINEBUF_SIZE];
  ReadInputLine(line, sizeof line);
}

/* The current selection over the whole list, cut once it is longer than a screen line. */
std::string Selection(const TextMenuItem *item, const std::vector<std::string> &choices) {
  std::string text;
  for (int i = 0; i < static_cast<int>(choices.size()); ++i) {
    if (!IsChosen(item, item->Value, i)) continue;
    if (item->Kind == TM_KIND_PICK_ONE) return Shown(item, choices[i], i, nullptr);
    text += Shown(item, choices[i], i, nullptr) + " ";
    if (static_cast<int>(text.size()) > screen.Cols) break;
  }
  return text;
}

/* Previous, then Value, the state formats and the item's Callback, told of the change. */
void ApplyChange(TextMenu *menu, int index, intptr_t value) {
  TextMenuItem *item = &menu->pItems[index];
  item->Previous = item->Value;
  item->Value = value;
  ProcessStateFormat(menu, index);
  if (index >= ItemCount(menu)) return;
  item = &menu->pItems[index];
  if (item->Kind == TM_KIND_PICK_ONE) RefreshChoiceText(item);
  if (item->Callback != nullptr) item->Callback(menu, item);
}

/* Leading decimal digits as a number; -1 when there are none or they exceed int. */
long LeadingNumber(const std::string &text) {
  long value = 0;
  size_t i = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 2147483647L) return -1;
  }
  return i > 0 ? value : -1;
}

}  // namespace

int GetColumnWidths(TextScreen *s, TextMenuItem *item, int *widths) {
  if (s == nullptr || item == nullptr) return 0;
  const std::vector<std::string> choices = SplitChoices(item);
  const int rows = RowsPerColumn(s);
  int widest = 0;
  for (int i = 0; i < static_cast<int>(choices.size()); ++i) {
    const int len = static_cast<int>(Shown(item, choices[i], i, nullptr).size());
    const int column = i / rows;
    if (widths != nullptr && column < TM_PICK_COLUMNS) {
      if (i % rows == 0) widths[column] = 0;
      if (len > widths[column]) widths[column] = len;
    }
    if (len > widest) widest = len;
  }
  return widest;
}

TextScreen *WriteScreenFrame(TextScreen *s, TextMenuItem *item, const char *selection) {
  if (s == nullptr || s->pData == nullptr || item == nullptr) return s;
  const char *label = ShownLabel(item);
  const int len = static_cast<int>(strlen(label));
  WriteString(SetPosition(s, len < s->Cols ? (s->Cols - len) / 2 : 0, 1), "%.*s", s->Cols, label);
  WriteString(SetPosition(s, 0, s->Rows - 2), "%s", Label(VPATTYMENU_SAVE));
  WriteString(SetPosition(s, s->Cols / 2, s->Rows - 2), "%s", Label(VPATTYMENU_CANCEL));

  const std::string text = selection != nullptr ? selection : "";
  const int fmtLen = static_cast<int>(strlen(Label(VPATTYMENU_CURSEL)));
  std::string line;
  if (static_cast<int>(text.size()) > s->Cols - fmtLen + 2) {
    const int keep = s->Cols - fmtLen - 1 > 0 ? s->Cols - fmtLen - 1 : 0;
    line = SelectionLine(VPATTYMENU_CURSELTRUNC, text.substr(0, static_cast<size_t>(keep)));
  } else {
    line = SelectionLine(VPATTYMENU_CURSEL, text);
  }
  WriteString(SetPosition(s, 0, s->Rows - 1), "%.*s", s->Cols, line.c_str());
  WriteString(SetPosition(s, 0, s->Rows), "%.*s", s->Cols, Label(VPATTYMENU_OPTION));
  return s;
}

int PrintPickOneManyScreen(TextMenuItem *item, uint32_t *unavailable, int start) {
  if (item == nullptr) return -1;
  const std::vector<std::string> choices = SplitChoices(item);
  const int count = static_cast<int>(choices.size());
  if (start == 0 || screen.pData == nullptr) {
    GetTermInfo(&screen);
    firstColumn = 0;
    FetchLabels();
    const int widest = GetColumnWidths(&screen, item, nullptr);
    const int labels =
        static_cast<int>(strlen(Label(VPATTYMENU_SAVE)) + strlen(Label(VPATTYMENU_CANCEL)));
    const int width = labels > widest / 2 + kSizeMargin ? labels : widest / 2 + kSizeMargin;
    if (screen.Rows - kFrameRows < 1 || screen.Cols < width) {
      TooSmall(width);
      return -1;
    }
  }
  if (start < 0 || start > count || screen.pData == nullptr) return -1;
  if (unavailable != nullptr) memset(unavailable, 0, (static_cast<size_t>(count) + 31) / 32 * 4);

  ClearScreen(&screen);
  const int rows = RowsPerColumn(&screen);
  const int digits = NumberWidth(count);
  const int extra = kMarkWidth + digits + 2 - 1; /* number, ") ", less the blank it ends with */
  firstColumn = start / rows;

  /* The columns that fit, from the page's first; a first column wider than the screen is
   * still taken, with the whole width, and its texts are cut. */
  int taken = 0, used = 0;
  for (int c = firstColumn; c * rows < count && taken < TM_PICK_COLUMNS; ++c) {
    int width = 0;
    for (int i = c * rows; i < count && i < (c + 1) * rows; ++i) {
      int len = static_cast<int>(Shown(item, choices[i], i, nullptr).size());
      if (len > width) width = len;
    }
    if (used + width + extra > screen.Cols) {
      if (taken == 0) {
        columnWidths[taken++] = screen.Cols - extra;
        used = screen.Cols;
      }
      break;
    }
    columnWidths[taken++] = width;
    used += width + extra;
  }
  const int shown = taken * rows < count - start ? taken * rows : count - start;
  const int spare = taken >= 2 ? (screen.Cols - used) / taken : 0;

  selectionText = Selection(item, choices);
  for (int k = 0, x = 0; k < shown; ++k) {
    const int column = k / rows, i = start + k;
    if (k > 0 && k % rows == 0) x += columnWidths[column - 1] + extra + spare;
    const int y = kFirstRow + k % rows;
    bool available;
    std::string text = Shown(item, choices[i], i, &available);
    if (!available && unavailable != nullptr) unavailable[k / 32] |= 1u << (k % 32);
    if (IsChosen(item, item->Value, i)) WriteString(SetPosition(&screen, x, y), " ->");
    if (available) WriteString(SetPosition(&screen, x + kMarkWidth, y), "%*d) ", digits, i + 1);
    const int at = x + kMarkWidth + digits + 2;
    const int room = screen.Cols - at;
    if (static_cast<int>(text.size()) > room)
      text = room > 3 ? text.substr(0, static_cast<size_t>(room - 3)) + "..."
                      : text.substr(0, static_cast<size_t>(room > 0 ? room : 0));
    WriteString(SetPosition(&screen, at, y), "%s", text.c_str());
  }
  WriteScreenFrame(&screen, item, selectionText.c_str());
  Refresh(&screen);
  const int prompt = static_cast<int>(strlen(Label(VPATTYMENU_OPTION)));
  MoveCursor(&screen, prompt < screen.Cols ? prompt : screen.Cols - 1, screen.Rows);
  fflush(stdout);
  return shown;
}

TextMenu *ProcessStateValue(TextMenu *menu, int index, const char *preset) {
  if (menu == nullptr || index < 0 || index >= ItemCount(menu)) return menu;
  TextMenuItem *item = &menu->pItems[index];
  if (item->Kind != TM_KIND_PICK_ONE && item->Kind != TM_KIND_PICK_MANY) return menu;
  const intptr_t kept = item->Value;
  std::string input = preset != nullptr ? preset : "";
  bool usePreset = !input.empty();
  std::vector<uint32_t> unavailable;
  char line[LINEBUF_SIZE];
  int start = 0;
  for (;;) {
    if (index >= ItemCount(menu)) return menu; /* a callback rebuilt the menu */
    item = &menu->pItems[index];
    const std::vector<std::string> choices = SplitChoices(item);
    const int count = static_cast<int>(choices.size());
    unavailable.assign(static_cast<size_t>(count) / 32 + 1, 0);
    const int shown = PrintPickOneManyScreen(item, unavailable.data(), start);
    if (shown < 0) return menu;
    const int next = start + shown < count ? start + shown : 0;

    if (usePreset) {
      usePreset = false;
    } else if (ReadInputLine(line, sizeof line)) {
      input = line;
    } else { /* end of input: as the cancel key */
      ApplyChange(menu, index, kept);
      return menu;
    }
    const char c = input.empty() ? '\0' : Lower(input[0]);
    if (c != '\0' && c == KeyOf(VPATTYMENU_SAVE, MENUVAL_SAVE)) return menu;
    if (c != '\0' && c == KeyOf(VPATTYMENU_CANCEL, MENUVAL_CANCEL)) {
      ApplyChange(menu, index, kept);
      return menu;
    }
    if (!IsAlnum(c)) { /* an empty line, or no choice: the next page */
      start = next;
      continue;
    }

    intptr_t working = item->Value;
    int takenCount = 0;
    for (size_t at = 0; at < input.size();) {
      const size_t end = input.find_first_of(", \t", at);
      const std::string token = input.substr(at, end == std::string::npos ? end : end - at);
      at = end == std::string::npos ? input.size() : end + 1;
      if (token.empty() || !IsAlnum(token[0])) continue;
      const long n = LeadingNumber(token);
      if (n < 1 || n > count) continue;
      bool available;
      Shown(item, choices[n - 1], static_cast<int>(n) - 1, &available);
      if (!available) continue;
      if (item->Kind == TM_KIND_PICK_ONE)
        working = n - 1;
      else
        working = static_cast<intptr_t>(static_cast<uint32_t>(working) ^ 1u << (n - 1));
      ++takenCount;
    }
    if (takenCount == 0) {
      start = next;
      continue;
    }
    ApplyChange(menu, index, working); /* and the same page again */
  }
}

namespace textmenu {

/* Selecting a pick-many item opens the picker on it; a preset option ("5 1,3") is its
 * first input. Changed when the mask differs afterwards. */
unsigned char PickManyChoices(TextMenu *menu, int index, const char *option) {
  if (menu == nullptr || index < 0 || index >= ItemCount(menu)) return 0;
  const intptr_t before = menu->pItems[index].Value;
  ProcessStateValue(menu, index, option);
  return index < ItemCount(menu) && menu->pItems[index].Value != before;
}

}  // namespace textmenu

/* Text menu engine: the menu screen. The terminal is cleared through the command table's
 * "clear", then the title, one line per visible item (number or hot key, label, dotted
 * leader and value), rows of cells and the prompt line are printed in 80 columns. */
#include <stdio.h>
#include <string.h>

#include <string>

#include "SysCmd.h"
#include "TextMenu.h"
#include "TextMenu_internal.h"
#include "utils.h"

using namespace textmenu;

namespace {

constexpr int kLineWidth = 80;
constexpr int kDefaultColumns = 3;

/* The text a hot-key label shows: from its fourth character, "" when it is shorter. */
const char *HotKeyText(const char *label) { return strlen(label) >= 3 ? label + 3 : ""; }

/* Columns of a row item: its Value, 3 when 0 or outside what 80 columns can hold. */
int Columns(const TextMenuItem &item) {
  intptr_t n = item.Value;
  return n >= 1 && n <= kLineWidth ? static_cast<int>(n) : kDefaultColumns;
}

void PrintValue(TextMenuItem *item) {
  switch (item->Kind) {
    case TM_KIND_PICK_ONE: {
      RefreshChoiceText(item);
      const char *text = item->pChoiceText;
      if (text == nullptr || text[0] == ' ') {
        fputs(" [ ]", stdout);
      } else {
        if (text[0] == '_') ++text;
        printf(" [%i. %s]", Low32(item->Value) + 1, text);
      }
      break;
    }
    case TM_KIND_PICK_MANY: {
      const uint32_t mask = static_cast<uint32_t>(item->Value);
      Text open(MenuText(mask == 1 ? 271 : 270));
      fputs(open.get(), stdout);
      if (mask != 1) {
        const int choices = item->ChoiceCnt < TM_MAX_PICK_MANY ? item->ChoiceCnt : TM_MAX_PICK_MANY;
        const char *separator = "";
        for (int k = 0; k < choices; ++k) {
          if ((mask >> k & 1u) == 0) continue;
          printf("%s%d", separator, k + 1);
          separator = ",";
        }
      }
      fputs("]", stdout);
      break;
    }
    case TM_KIND_NAME:
    case TM_KIND_TEXT:
      printf(" [%s]", ItemText(item));
      break;
    case TM_KIND_INT:
      printf(" [%i]", Low32(item->Value));
      break;
    case TM_KIND_FLOAT:
      printf(" [%.3f]", static_cast<double>(TextMenuFloat(item->Value)));
      break;
    default:
      break;
  }
}

/* The selectable form of an item: hot key or number, then text. */
void PrintSelectable(const TextMenuItem &item, const char *text) {
  if (item.pLabel[0] == '~')
    printf(" %c) %s ", item.pLabel[1], HotKeyText(text));
  else
    printf("%2i) %s ", static_cast<int>(item.Key), text);
}

void PrintPromptLine(uint16_t flags) {
  Text format(MenuFormat(25, 510, "sss"));
  Text store((flags & (TM_FLAG_STORE_NAMED | TM_FLAG_STORE_EXIT)) ? MenuText(230) : nullptr);
  Text help((flags & TM_FLAG_HELP) ? MenuText(231) : nullptr);
  Text leave((flags & TM_FLAG_NO_LEAVE) ? nullptr : MenuText(232));
  std::string line = Format(format.get(), store.get(), help.get(), leave.get());
  fwrite(line.data(), 1, line.size(), stdout);
  fflush(stdout);
}

}  // namespace

int PrintMenu(TextMenu *menu, int labelWidth, int titleLength) {
  if (menu == nullptr) return 0;
  fflush(stdout); /* what was printed comes before the clear */
  SysCmd(-CMD_CLEAR, LOG_WARN, "%s", "");

  const char *title = menu->pTitle != nullptr ? menu->pTitle : "";
  int indent = 0;
  if (menu->TitleStyle == TM_TITLE_CENTRED && titleLength < kLineWidth + 1)
    indent = (kLineWidth - titleLength) / 2;
  else if (menu->TitleStyle == TM_TITLE_RIGHT && titleLength < kLineWidth)
    indent = kLineWidth - titleLength;
  if (menu->TitleStyle == TM_TITLE_CENTRED || menu->TitleStyle == TM_TITLE_RIGHT)
    printf("\f\n%*s%s\n\n", indent < 0 ? 0 : indent, "", title);
  else
    printf("\f\n%s:\n\n", title);

  const char *endOfItem = (menu->Flags & TM_FLAG_SINGLE_SPACED) ? "\n" : "\n\n";
  const int count = ItemCount(menu);
  for (int i = 0; i < count; ++i) {
    TextMenuItem *item = &menu->pItems[i];
    bool shown = item->State != TM_STATE_HIDDEN;
    switch (item->Kind) {
      case TM_KIND_SUBMENU: {
        const TextMenu *sub = ValidateMenu(menu, i);
        shown = sub != nullptr;
        if (shown) PrintSelectable(*item, sub->pTitle != nullptr ? sub->pTitle : "");
        break;
      }
      case TM_KIND_ROW:
      case TM_KIND_COLUMNS:
        PrintMenuBarItem(item, item->Kind, &i);
        fputs(endOfItem, stdout);
        continue;
      case TM_KIND_LINE:
      case TM_KIND_PLACEHOLDER:
        if (shown) printf("%s ", item->pLabel);
        break;
      default:
        if (item->State == TM_STATE_INACTIVE)
          printf("%*s  %s ", 2, " ",
                 item->pLabel[0] == '~' ? HotKeyText(item->pLabel) : item->pLabel);
        else if (shown)
          PrintSelectable(*item, item->pLabel);
        break;
    }
    if (!shown) continue;
    if (item->Kind >= TM_KIND_PICK_ONE) {
      for (int k = item->LabelLen; k < labelWidth; ++k) putchar('.');
      PrintValue(item);
    }
    fputs(endOfItem, stdout);
  }
  PrintPromptLine(menu->Flags);
  return count;
}

TextMenuItem *PrintMenuBarItem(TextMenuItem *row, uint32_t kind, int *index) {
  int columns = Columns(*row);
  int width = kLineWidth / columns;
  int position = 0;
  TextMenuItem *last = row;
  for (TextMenuItem *item = row + 1;
       item->pLabel != nullptr &&
       ((kind == TM_KIND_ROW && item->Kind == TM_KIND_LINE) || kind == TM_KIND_COLUMNS);
       ++item) {
    last = item;
    if (index != nullptr) ++*index;
    if (kind == TM_KIND_ROW || item->Kind == TM_KIND_COLUMNS) {
      putchar('\n');
      columns = Columns(*item);
      width = kLineWidth / columns;
      position = 0;
      continue;
    }
    const int len = static_cast<int>(strlen(item->pLabel));
    if (position + len > kLineWidth || (position != 0 && len > width - 5)) {
      putchar('\n');
      position = 0;
    }
    const int pad = width - len - 5;
    if (item->State == TM_STATE_HIDDEN) continue;
    std::string cell = item->pLabel[0] == '~'
                           ? Format(" %c) %s%*s ", item->pLabel[1], HotKeyText(item->pLabel),
                                    pad + 2 < 0 ? 0 : pad + 2, " ")
                           : Format("%2i) %s%*s", static_cast<int>(item->Key), item->pLabel,
                                    pad < 0 ? 0 : pad, " ");
    if (width < 1) cell.clear();
    if (cell.size() >= static_cast<size_t>(width) - 1 && width >= 1) {
      cell.resize(static_cast<size_t>(width) - 1);
      if (!cell.empty()) cell.back() = ' ';
    }
    fputs(cell.c_str(), stdout);
    if (len > width - columns) {
      putchar('\n');
      position = 0;
    } else {
      position += width;
    }
  }
  return last;
}

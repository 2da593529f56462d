/* Text menu engine: the run loop. Prints the menu, reads a line, finds the item or command
 * it names, processes the selection, and handles leaving (apply, return and exit
 * questions) and storing the settings. Sub-menus run as nested calls. */
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>
#include <string>

#include "HelpTty.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "TextMenu.h"
#include "TextMenu_internal.h"
#include "utils.h"

char *pOption = LineBuf;

using namespace textmenu;

namespace textmenu {

/* "h" in a menu with TM_FLAG_HELP: the terminal help runs over pTtyHtmlName (nothing
 * happens without one); the menu is printed again when the user leaves it. */
void OpenMenuHelp() { TtyHtmlHelp(pTtyHtmlName, pTtyHtmlData, pTtyHtmlTitle); }

}  // namespace textmenu

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

/* Leading decimal digits of text as a number; -1 when there are none or they exceed int. */
long LeadingNumber(const char *text) {
  if (text == nullptr || !IsDigit(*text)) return -1;
  long value = 0;
  for (; IsDigit(*text); ++text) {
    value = value * 10 + (*text - '0');
    if (value > 2147483647L) return -1;
  }
  return value;
}

/* Stores the menu tree in the file path. A file that cannot be opened or written is
 * reported on standard error and acknowledged with Return; false then. */
bool StoreSettings(TextMenu *menu, const char *path) {
  FILE *file = OpenFile(nullptr, path, "wt", REPORT_WARN);
  if (file == nullptr) {
    PostMsg("%s", "");
    return false;
  }
  FILE *saved = pOut;
  pOut = file;
  bool ok = StoreMenu(menu) != 0;
  pOut = saved;
  if (fclose(file) != 0) ok = false;
  if (!ok) {
    fprintf(stderr, "ERROR: can't write file, %s: %s\n", path, strerror(errno));
    PostMsg("%s", "");
  }
  return ok;
}

/* "s": the settings file named by the user (TM_FLAG_STORE_NAMED), or ".settings" and the
 * end of the program (TM_FLAG_STORE_EXIT). */
void StoreCommand(TextMenu *menu) {
  if (menu->Flags & TM_FLAG_STORE_NAMED) {
    PromptUser("Enter the settings file name: ", LineBuf);
    std::string name = LineBuf;
    if (ValidateEntry(name.c_str(), TM_SETTINGS_PATTERN) == 0) StoreSettings(menu, name.c_str());
    return;
  }
  if (StoreSettings(menu, TM_SETTINGS_FILE)) {
    fflush(stdout);
    exit(0);
  }
}

/* Kind 9: the choice the option names when it is available, else the next available one
 * after it (or after the current one) in cyclic order. */
unsigned char SelectChoice(TextMenu *menu, int index, const char *option) {
  TextMenuItem *item = &menu->pItems[index];
  const int count = item->ChoiceCnt;
  if (count <= 0 || item->pChoices == nullptr) return 0;
  auto available = [item](int n) {
    const char *text = LookUpChoice(item, n);
    return text != nullptr && text[0] != ' ';
  };
  const long n = LeadingNumber(option);
  int chosen = -1, start;
  if (n >= 1 && n <= count) {
    if (available(static_cast<int>(n))) chosen = static_cast<int>(n) - 1;
    start = static_cast<int>(n) - 1;
  } else {
    const int32_t current = Low32(item->Value);
    start = current >= 0 && current < count ? current : -1;
  }
  for (int k = 1; chosen < 0 && k <= count; ++k) {
    const int j = (start + k) % count;
    if (available(j + 1)) chosen = j;
  }
  if (chosen < 0) return 0;
  item->Previous = item->Value;
  item->Value = chosen;
  item->pChoiceText = LookUpChoice(item, chosen + 1);
  ProcessStateFormat(menu, index);
  return 1;
}

/* Kinds 11-14: the option, or a line typed at the item's prompt, validated and stored. */
unsigned char TakeEntry(TextMenu *menu, int index, const char *option) {
  TextMenuItem *item = &menu->pItems[index];
  std::string entry;
  if (option != nullptr && option[0] != '\0') {
    entry = option;
  } else {
    printf("%s: ", item->pPrompt != nullptr ? item->pPrompt : "");
    if (!ReadInputLine(LineBuf, LINEBUF_SIZE)) return 0;
    entry = LineBuf;
  }
  if (entry.empty()) return 0;
  if (IsTextKind(item->Kind) && entry.size() >= TM_TEXT_SIZE) {
    PostMsg("%s", LengthMessage(0, TM_TEXT_SIZE - 1).c_str());
    return 0;
  }
  if (ValidateEntry(entry.c_str(), item->pFormat) != 0) return 0;

  item = &menu->pItems[index];
  if (IsTextKind(item->Kind)) {
    SetItemText(item, entry.c_str());
    return 1;
  }
  char *end = nullptr;
  errno = 0;
  if (item->Kind == TM_KIND_INT) {
    long value = strtol(entry.c_str(), &end, 10);
    if (IsDigit(entry.back()) && *end == '\0' && errno == 0 && value >= INT32_MIN &&
        value <= INT32_MAX) {
      item->Previous = item->Value;
      item->Value = static_cast<intptr_t>(value);
      return 1;
    }
  } else {
    float value = strtof(entry.c_str(), &end);
    if (end != entry.c_str() && *end == '\0' && std::isfinite(value) && errno == 0) {
      item->Previous = item->Value;
      item->Value = TextMenuFloatBits(value);
      return 1;
    }
  }
  Text format(MenuFormat(25, 1009, "s"));
  PostMsg("%s", Format(format.get(), entry.c_str()).c_str());
  return 0;
}

/* Asks whether to leave the menu (return to the parent, or exit at the top). True when
 * the menu ends; otherwise EntryFunc runs again. */
bool AskToLeave(TextMenu *menu) {
  const bool top = menu->pParent == nullptr;
  Text format(top ? MenuFormat(25, 1018, "s") : MenuFormat(25, 1017, "s"));
  const char *name = top ? my_name : menu->pParent->pTitle;
  std::string question = Format(format.get(), name != nullptr ? name : "");
  if (PromptYN("%s", question.c_str())) {
    FreeMenu(menu);
    if (top) {
      fputs("\n", stdout);
      fflush(stdout);
    }
    return true;
  }
  if (menu->EntryFunc != nullptr) menu->EntryFunc(menu);
  return false;
}

/* An empty line: apply (asking first when the menu has an apply prompt and something
 * changed), then ask to leave. True when the menu ends. */
bool Leave(TextMenu *menu, unsigned char changed) {
  if (menu->pApplyPrompt == nullptr) {
    if (menu->ApplyFunc != nullptr) menu->ApplyFunc(menu);
  } else if (changed && PromptYN("%s", menu->pApplyPrompt)) {
    if (!TestNames(menu)) return false;
    if (menu->ApplyFunc != nullptr) menu->ApplyFunc(menu);
    FreeMenu(menu);
    return true;
  }
  return AskToLeave(menu);
}

/* Length of the title's first line. */
int TitleLength(const TextMenu *menu) {
  return menu->pTitle != nullptr ? static_cast<int>(strcspn(menu->pTitle, "\r\n")) : 0;
}

}  // namespace

int RunMenu(TextMenu *menu, const char *settingsFile, char interactive) {
  if (menu == nullptr) return 0;
  if (menu->EntryFunc != nullptr) menu->EntryFunc(menu);
  if (flExitTextMenu) return 0;
  int labelWidth = InitMenu(menu, 0);

  if (settingsFile != nullptr) {
    if (!OpenInputFile(settingsFile, REPORT_WARN)) {
      TextMenuItem *leave = FindTextMenuItem(menu, TM_KIND_LEAVE_ACTION);
      if (leave != nullptr && leave->Callback != nullptr) leave->Callback(menu, leave);
      return 0;
    }
    LoadMenu(menu);
    CloseInputFile(0);
  }
  if (!interactive) {
    if (menu->ApplyFunc != nullptr) menu->ApplyFunc(menu);
    return 0;
  }

  unsigned char changed = 0;
  for (;;) {
    const int count = PrintMenu(menu, labelWidth, TitleLength(menu));
    if (!ReadInputLine(LineBuf, LINEBUF_SIZE)) {
      Text message(MenuText(1016));
      SysError("%s", message.get());
    }
    if (LineBuf[0] == '\0' && !(menu->Flags & TM_FLAG_NO_LEAVE)) {
      if (Leave(menu, changed)) return 0;
      continue;
    }
    const int selected = FindSelection(menu, 0, count);
    if (selected == 0) continue;
    const int index = selected - 1;
    const uint32_t kindBefore = menu->pItems[index].Kind;
    const unsigned char result = ProcessSelection(menu, index, pOption);
    const uint32_t kind = (menu->Flags & TM_FLAG_KIND_BEFORE) || index >= ItemCount(menu)
                              ? kindBefore
                              : menu->pItems[index].Kind;
    if (flExitTextMenu || (result && kind >= TM_KIND_APPLY && kind <= TM_KIND_LEAVE)) {
      if (!(menu->Flags & TM_FLAG_KEEP_BUFFERS)) FreeMenu(menu);
      return 0;
    }
    if (result && kind == TM_KIND_ACTION && (menu->Flags & TM_FLAG_REINIT))
      labelWidth = InitMenu(menu, 0);
    else if (!changed)
      changed = result;
  }
}

int FindSelection(TextMenu *menu, int, int count) {
  char *p = LineBuf;
  while (*p == ' ' || *p == '\t') ++p;
  while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
  while (*p == ' ' || *p == '\t') ++p;
  pOption = p;

  const int items = ItemCount(menu);
  if (count > items) count = items;
  if (IsDigit(LineBuf[0])) {
    const long n = LeadingNumber(LineBuf);
    for (int i = 0; n > 0 && i < count; ++i) {
      const TextMenuItem &item = menu->pItems[i];
      if (item.pLabel[0] != '~' && item.State == TM_STATE_ACTIVE && item.Key == n) return i + 1;
    }
    return 0;
  }
  const char c = Lower(LineBuf[0]);
  if (c == 'h' && (menu->Flags & TM_FLAG_HELP)) {
    OpenMenuHelp();
    return 0;
  }
  if (c == 's' && (menu->Flags & (TM_FLAG_STORE_NAMED | TM_FLAG_STORE_EXIT))) {
    StoreCommand(menu);
    return 0;
  }
  for (int i = 0; c != '\0' && i < count; ++i) {
    const TextMenuItem &item = menu->pItems[i];
    if (item.pLabel[0] == '~' && item.State == TM_STATE_ACTIVE && item.Key != 0 &&
        Lower(static_cast<char>(item.Key)) == c)
      return i + 1;
  }
  return 0;
}

unsigned char ProcessSelection(TextMenu *menu, int index, const char *option) {
  if (index < 0 || index >= ItemCount(menu)) return 0;
  TextMenuItem *item = &menu->pItems[index];
  unsigned char result;
  switch (item->Kind) {
    case TM_KIND_APPLY:
      if (!TestNames(menu)) return 0;
      [[fallthrough]];
    case TM_KIND_LEAVE_ACTION:
    case TM_KIND_LEAVE:
    case TM_KIND_ACTION:
      return item->Callback == nullptr || item->Callback(menu, item) == nullptr;
    case TM_KIND_SUBMENU: {
      TextMenu *sub = ValidateMenu(menu, index);
      if (sub != nullptr) {
        RunMenu(sub, nullptr, 1);
        if (menu->EntryFunc != nullptr) menu->EntryFunc(menu);
      }
      return 0;
    }
    case TM_KIND_PICK_ONE:
      result = SelectChoice(menu, index, option);
      break;
    case TM_KIND_PICK_MANY:
      return PickManyChoices(menu, index, option);
    case TM_KIND_NAME:
    case TM_KIND_TEXT:
    case TM_KIND_INT:
    case TM_KIND_FLOAT:
      result = TakeEntry(menu, index, option);
      break;
    default:
      return 0;
  }
  if (result) {
    item = &menu->pItems[index];
    if (item->Kind == TM_KIND_PICK_ONE) RefreshChoiceText(item);
    if (item->Callback != nullptr) item->Callback(menu, item);
  }
  return result;
}

int PromptYN(const char *fmt, ...) {
  std::string question = std::string(fmt != nullptr ? fmt : "") + "? [y/n] ";
  va_list ap;
  va_start(ap, fmt);
  int answer = 0;
  for (;;) {
    va_list copy;
    va_copy(copy, ap);
    vprintf(question.c_str(), copy);
    va_end(copy);
    if (!ReadInputLine(LineBuf, LINEBUF_SIZE)) break; /* end of input: no */
    if (LineBuf[0] == 'y' || LineBuf[0] == 'n') {
      answer = LineBuf[0] == 'y';
      break;
    }
  }
  va_end(ap);
  return answer;
}

char *PromptUser(const char *prompt, char *buffer) {
  if (prompt != nullptr) fputs(prompt, stdout);
  if (buffer != nullptr) {
    ReadInputLine(buffer, LINEBUF_SIZE);
    return buffer;
  }
  char line[1024];
  ReadInputLine(line, sizeof line);
  return SaveStr("%s", line);
}

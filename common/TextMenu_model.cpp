/* Text menu engine: the engine's globals, preparing and releasing a menu, and the settings
 * file (storing and loading the values of a menu tree). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>
#include <string>

#include "MemMgr.h"
#include "TextMenu.h"
#include "TextMenu_internal.h"
#include "utils.h"

char flExitTextMenu = 0;
char flLoadedSettings = 0;
const char MENUVAL_SAVE = 's';
const char MENUVAL_CANCEL = 'c';
const char MENUVAL_DEFAULT = 'd';
char *VPATTYMENU_SAVE = nullptr;
char *VPATTYMENU_CANCEL = nullptr;
char *VPATTYMENU_CURSEL = nullptr;
char *VPATTYMENU_CURSELTRUNC = nullptr;
char *VPATTYMENU_OPTION = nullptr;
const char *pTtyHtmlName = nullptr;
const char *pTtyHtmlData = nullptr;
const char *pTtyHtmlTitle = "Help";
TextMenuItem BlankTaskItem = {"",
                              TM_KIND_PLACEHOLDER,
                              TM_STATE_ACTIVE,
                              nullptr,
                              nullptr,
                              nullptr,
                              3,
                              0,
                              0,
                              nullptr,
                              0,
                              nullptr,
                              -1,
                              0,
                              nullptr,
                              0};

intptr_t TextMenuFloatBits(float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  return static_cast<intptr_t>(bits);
}

float TextMenuFloat(intptr_t bits) {
  uint32_t low = static_cast<uint32_t>(bits);
  float value;
  memcpy(&value, &low, sizeof value);
  return value;
}

namespace textmenu {

int ItemCount(const TextMenu *menu) {
  if (menu == nullptr || menu->pItems == nullptr) return 0;
  int n = 0;
  while (menu->pItems[n].pLabel != nullptr) ++n;
  return n;
}

}  // namespace textmenu

using namespace textmenu;

namespace {

/* Sub-menus nest at most this deep in a settings file and in a stored tree. */
constexpr int kMaxDepth = 64;

/* Copies text (null: "") into the 256-byte buffer, cut to 255 characters; text may be the
 * buffer itself. */
void CopyText(char *buffer, const char *text) {
  if (text == nullptr) text = "";
  size_t n = strnlen(text, TM_TEXT_SIZE - 1);
  memmove(buffer, text, n);
  buffer[n] = '\0';
}

/* The text buffer of a kind-11/12 item, taken when it has none yet. */
char *TextBuffer(TextMenuItem *item) {
  if (item->Value == 0) {
    void *buffer = GetMem(TM_TEXT_SIZE);
    if (buffer == nullptr) SysError("%s", OutOfMem);
    item->Value = reinterpret_cast<intptr_t>(buffer);
  }
  return reinterpret_cast<char *>(item->Value);
}

/* Pass 1 of InitMenu for one item: everything that depends on the item alone. */
void PrepareItem(TextMenuItem *item, uint32_t *number) {
  item->LabelLen = static_cast<int32_t>(strlen(item->pLabel));
  item->Saved = -1;
  switch (item->Kind) {
    case TM_KIND_PICK_ONE:
    case TM_KIND_PICK_MANY:
      item->ChoiceCnt = item->pChoices != nullptr ? GetTokenCount(item->pChoices, ",") : 0;
      if (item->Kind == TM_KIND_PICK_ONE) {
        item->Value = item->Default;
      } else {
        if (item->ChoiceCnt > TM_MAX_PICK_MANY) {
          fprintf(stderr,
                  "WARNING: menu item \"%s\" lists %d choices; only the first %d can be "
                  "chosen\n",
                  item->pLabel, item->ChoiceCnt, TM_MAX_PICK_MANY);
          item->ChoiceCnt = TM_MAX_PICK_MANY;
        }
        item->Value = static_cast<intptr_t>(static_cast<uint32_t>(item->Value));
        if (item->Value == 0) item->Default = item->Value = 1;
      }
      item->Previous = item->Default;
      break;
    case TM_KIND_INT:
    case TM_KIND_FLOAT:
      item->Value = item->Default;
      break;
    case TM_KIND_NAME:
    case TM_KIND_TEXT:
      CopyText(TextBuffer(item), reinterpret_cast<const char *>(item->Default));
      break;
    default:
      break;
  }
  if (item->Kind <= TM_KIND_COLUMNS)
    item->Key = 0;
  else if (item->pLabel[0] == '~')
    item->Key = static_cast<unsigned char>(item->pLabel[1]);
  else
    item->Key = (*number)++;
}

/* Writes the value lines of menu and the blocks of its selected sub-menus. path holds the
 * menus being written, so that a tree with a cycle ends. */
void StoreTree(TextMenu *menu, const TextMenu **path, int depth) {
  path[depth] = menu;
  TextMenuItem *items = menu->pItems;
  const int count = ItemCount(menu);
  for (int i = 0; i < count; ++i) {
    const TextMenuItem &item = items[i];
    const int kind = static_cast<int>(item.Kind), state = static_cast<int>(item.State);
    if (item.Kind == TM_KIND_PICK_ONE || item.Kind == TM_KIND_INT) {
      fprintf(pOut, "%i[%i] %i %i\n", i, Low32(item.Value), kind, state);
    } else if (IsTextKind(item.Kind)) {
      /* A sub-menu that never ran has no buffer yet: it would hold its Default. */
      const char *text = item.Value != 0 ? reinterpret_cast<const char *>(item.Value)
                                         : reinterpret_cast<const char *>(item.Default);
      fprintf(pOut, "%i[%.255s] %i %i\n", i, text != nullptr ? text : "", kind, state);
    } else if (item.Kind == TM_KIND_FLOAT) {
      fprintf(pOut, "%i[%.3f] %i %i\n", i, static_cast<double>(TextMenuFloat(item.Value)), kind,
              state);
    }
  }
  for (int i = 0; i < count; ++i) {
    if (items[i].Kind != TM_KIND_SUBMENU) continue;
    TextMenu *sub = ValidateMenu(menu, i);
    if (sub == nullptr || sub->pItems == nullptr || depth + 1 >= kMaxDepth) continue;
    bool onPath = false;
    for (int d = 0; d <= depth; ++d) onPath = onPath || path[d] == sub;
    if (onPath) continue;
    fprintf(pOut, "%i{\n", i);
    StoreTree(sub, path, depth + 1);
    fputs("}\n", pOut);
  }
}

/* ---- Loading ---- */

/* Reads a decimal int at *s (optional sign, no blanks); false when there are no digits or
 * the number does not fit. *s moves past it. */
bool ReadInt(const char **s, long *out) {
  const char *p = *s;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (*p < '0' || *p > '9') return false;
  long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > 2147483648L) return false;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return false;
  *out = value;
  *s = p;
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

/* Reads "kind state" after a "]": blanks, an int, blanks, an int, then only blanks. */
bool ReadTail(const char *s, long *kind, long *state) {
  if (!IsBlank(*s)) return false;
  while (IsBlank(*s)) ++s;
  if (!ReadInt(&s, kind) || !IsBlank(*s)) return false;
  while (IsBlank(*s)) ++s;
  if (!ReadInt(&s, state)) return false;
  while (IsBlank(*s)) ++s;
  return *s == '\0';
}

/* The kinds whose values share a representation: a file may move an item between them. */
int KindFamily(uint32_t kind) {
  switch (kind) {
    case TM_KIND_PICK_ONE:
    case TM_KIND_INT:
      return 1;
    case TM_KIND_NAME:
    case TM_KIND_TEXT:
      return 2;
    case TM_KIND_FLOAT:
      return 3;
    default:
      return 0;
  }
}

/* Skips the lines of a block whose "N{" line was just read, up to its "}". */
void SkipBlock() {
  int depth = 1;
  while (depth > 0 && GetFileLine()) {
    if (LineBuf[0] == '}') {
      --depth;
      continue;
    }
    const char *p = LineBuf;
    long index;
    if (ReadInt(&p, &index) && *p == '{') ++depth;
  }
}

/* A value line "index[value] kind state" (in LineBuf without its line end) for item. The
 * value runs to the last "]" that is followed by the kind and state, so texts with blanks
 * and "]" come back whole; a line without that tail is read as "index" plus one character
 * and a word, with the kind and state after the line's first "]". */
void LoadValue(TextMenuItem *item, const char *valueStart) {
  const int family = KindFamily(item->Kind);
  if (family == 0) return;

  std::string value;
  long kind = 0, state = -1;
  const char *close = nullptr;
  for (const char *p = valueStart + strlen(valueStart); p-- > valueStart;) {
    if (*p == ']' && ReadTail(p + 1, &kind, &state)) {
      close = p;
      break;
    }
  }
  if (close != nullptr) {
    value.assign(valueStart, close);
  } else {
    /* No "] kind state" tail: the word after the character, one "]" stripped from it. */
    kind = 0;
    state = -1;
    const char *p = valueStart;
    while (IsBlank(*p)) ++p;
    const char *end = p;
    while (*end != '\0' && !IsBlank(*end)) ++end;
    value.assign(p, end);
    if (!value.empty() && value.back() == ']') value.pop_back();
    const char *first = strchr(valueStart, ']');
    if (first == nullptr) return;
    const char *rest = first + 1;
    while (IsBlank(*rest)) ++rest;
    if (*rest == '\0') return;
    long k, s;
    if (ReadInt(&rest, &k)) {
      kind = k;
      while (IsBlank(*rest)) ++rest;
      if (ReadInt(&rest, &s)) state = s;
    }
  }

  if (family == 1) {
    const char *p = value.c_str();
    long number;
    if (!ReadInt(&p, &number) || *p != '\0') return;
    item->Value = static_cast<intptr_t>(number);
  } else if (family == 2) {
    CopyText(TextBuffer(item), value.c_str());
  } else {
    char *end = nullptr;
    float number = strtof(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !std::isfinite(number)) return;
    item->Value = TextMenuFloatBits(number);
  }
  if (state >= TM_STATE_ACTIVE && state <= TM_STATE_HIDDEN)
    item->State = static_cast<uint32_t>(state);
  if (kind > 0 && kind <= TM_KIND_FLOAT && KindFamily(static_cast<uint32_t>(kind)) == family)
    item->Kind = static_cast<uint32_t>(kind);
  if (item->Kind == TM_KIND_PICK_ONE) RefreshChoiceText(item);
}

/* Loads the lines of one menu's block: up to its "}" (depth > 0) or the end of the file. */
void LoadBlock(TextMenu *menu, int depth) {
  const int count = ItemCount(menu);
  while (GetFileLine()) {
    size_t len = strlen(LineBuf);
    while (len > 0 && (LineBuf[len - 1] == '\n' || LineBuf[len - 1] == '\r')) LineBuf[--len] = '\0';
    if (LineBuf[0] == '}') {
      if (depth == 0) continue; /* the top level has no closing line */
      TextMenuItem *apply = FindTextMenuItem(menu, TM_KIND_APPLY);
      if (apply != nullptr && apply->Callback != nullptr) {
        for (int i = 0; i < count; ++i)
          if (menu->pItems[i].Kind == TM_KIND_PICK_ONE) RefreshChoiceText(&menu->pItems[i]);
        apply->Callback(menu, apply);
      }
      return;
    }
    const char *p = LineBuf;
    long index;
    if (!ReadInt(&p, &index)) continue;
    const bool known = index >= 0 && index < count;
    if (*p == '{') {
      TextMenu *sub = known ? ValidateMenu(menu, static_cast<int>(index)) : nullptr;
      if (sub != nullptr && sub->pItems != nullptr && depth + 1 < kMaxDepth)
        LoadBlock(sub, depth + 1);
      else
        SkipBlock();
      continue;
    }
    if (!known || *p == '\0') continue;
    LoadValue(&menu->pItems[index], p + 1);
  }
}

}  // namespace

void textmenu::SetItemText(TextMenuItem *item, const char *text) {
  CopyText(TextBuffer(item), text);
}

int32_t InitMenu(TextMenu *menu, int) {
  const int count = ItemCount(menu);
  int32_t longest = 0;
  uint32_t number = 1;
  for (int i = 0; i < count; ++i) {
    PrepareItem(&menu->pItems[i], &number);
    if (menu->pItems[i].LabelLen > longest) longest = menu->pItems[i].LabelLen;
  }
  /* The state formats run once every item is prepared, so that a format may set or use an
   * item after its own. */
  for (int i = 0; i < count; ++i) {
    TextMenuItem *item = &menu->pItems[i];
    if (item->Kind != TM_KIND_PICK_ONE && item->Kind != TM_KIND_PICK_MANY) continue;
    UpdateStateSelection(item);
    ProcessStateFormat(menu, i);
  }
  return longest;
}

TextMenu *FreeMenu(TextMenu *menu) {
  const int count = ItemCount(menu);
  for (int i = 0; i < count; ++i) {
    TextMenuItem *item = &menu->pItems[i];
    if (!IsTextKind(item->Kind)) continue;
    PutMem(reinterpret_cast<void *>(item->Value));
    item->Value = 0;
  }
  return menu;
}

TextMenuItem *FindTextMenuItem(TextMenu *menu, uint32_t kind) {
  const int count = ItemCount(menu);
  for (int i = 0; i < count; ++i)
    if (menu->pItems[i].Kind == kind) return &menu->pItems[i];
  return nullptr;
}

int StoreMenu(TextMenu *menu) {
  if (pOut == nullptr) return 0;
  if (menu != nullptr && menu->pItems != nullptr) {
    const TextMenu *path[kMaxDepth];
    StoreTree(menu, path, 0);
  }
  return fflush(pOut) == 0 && !ferror(pOut);
}

TextMenu *LoadMenu(TextMenu *menu) {
  flLoadedSettings = 1;
  if (menu != nullptr) LoadBlock(menu, 0);
  return menu;
}

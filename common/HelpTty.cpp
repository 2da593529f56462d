/* Terminal help: the help menu of a page (its text, its links as items, Exit Help,
 * Contents and Back), its callbacks, and the help session run as a menu. */
#include "HelpTty.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "MemMgr.h"
#include "NlsUtils.h"
#include "utils.h"

namespace {

constexpr const char *kDefaultLabels[3] = {"~e Exit Help", "~c Contents", "~b Back"};
constexpr int kLabelNumbers[3] = {150, 151, 152}; /* set 20 of pDrvCoreDB */
constexpr char kMaker[] = "Orvel";                /* the maker named in the title */

}  // namespace

TextMenu HelpMenu = {
    nullptr, TM_TITLE_CENTRED,
    nullptr, nullptr,
    nullptr, nullptr,
    nullptr, TM_FLAG_NO_LEAVE | TM_FLAG_REINIT | TM_FLAG_KIND_BEFORE | TM_FLAG_SINGLE_SPACED};
TextMenuItem *HelpMenuItems = nullptr;
int HelpMenuItemCnt = 0;
TextMenuItem HelpCommonItems[HELP_COMMON_ITEMS] = {
    {"", TM_KIND_COLUMNS, 0, nullptr, nullptr, nullptr, 0, 1, 0, nullptr, 0, nullptr, -1, 0,
     nullptr, 0},
    {"", TM_KIND_COLUMNS, 0, nullptr, nullptr, nullptr, 0, 3, 0, nullptr, 0, nullptr, -1, 0,
     nullptr, 0},
    {kDefaultLabels[0], TM_KIND_LEAVE, 0, nullptr, nullptr, nullptr, 0, 0, 0, nullptr, 0, nullptr,
     -1, 0, nullptr, 'e'},
    {kDefaultLabels[1], TM_KIND_ACTION, 0, nullptr, nullptr, nullptr, 0, 0, 0, TtyHelpContents, 0,
     nullptr, -1, 0, nullptr, 'c'},
    {kDefaultLabels[2], TM_KIND_ACTION, 0, nullptr, nullptr, nullptr, 0, 0, 0, TtyHelpBack, 0,
     nullptr, -1, 0, nullptr, 'b'},
    {nullptr, 0, 0, nullptr, nullptr, nullptr, 0, 0, 0, nullptr, 0, nullptr, -1, 0, nullptr, 0},
};

namespace {

std::vector<char *> gBuilt;  /* labels and title made by the last build */
char *gGivenTitle = nullptr; /* the title handed to TtyHtmlHelp */

/* Managed texts of the last build are released before the next one makes new ones. */
void ReleaseBuilt() {
  for (int k = 0; k < 3; ++k) HelpCommonItems[2 + k].pLabel = kDefaultLabels[k];
  for (char *text : gBuilt) PutMem(text);
  gBuilt.clear();
}

char *Keep(char *text) {
  gBuilt.push_back(text);
  return text;
}

/* A label of the form "~k text" whose key k is a printable character other than a digit
 * (digits select numbered items) and a blank. */
bool IsHotKeyLabel(const char *label) {
  const unsigned char key = static_cast<unsigned char>(label[1]);
  return label[0] == '~' && key > ' ' && key < 0x7f && !(key >= '0' && key <= '9') &&
         label[2] == ' ' && label[3] != '\0';
}

/* Labels and keys of Exit Help, Contents and Back from the catalogue; a message that is
 * missing, or is not a hot-key label, keeps the built-in label and key. */
void SetCommonLabels() {
  for (int k = 0; k < 3; ++k) {
    TextMenuItem &item = HelpCommonItems[2 + k];
    char *label = NlsFetchString(pDrvCoreDB, nullptr, NLS_FETCH_SET, 20, kLabelNumbers[k]);
    if (label && IsHotKeyLabel(label)) {
      item.pLabel = Keep(label);
    } else {
      PutMem(label);
      item.pLabel = kDefaultLabels[k];
    }
    item.Key = static_cast<unsigned char>(item.pLabel[1]);
  }
}

/* The title: message 30_22 with the maker's name, or the title given to TtyHtmlHelp when
 * the catalogue has no such message. */
void SetTitle() {
  char *format = NlsFetchFormat(pDrvCoreDB, 30, 22, "s");
  if (format && strcmp(format, "30_22") != 0 && strcmp(format, "Error") != 0) {
    const int n = snprintf(nullptr, 0, format, kMaker);
    std::string title(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) snprintf(&title[0], title.size() + 1, format, kMaker);
    HelpMenu.pTitle = Keep(SaveStr("%s", title.c_str()));
  } else {
    HelpMenu.pTitle = gGivenTitle;
  }
  PutMem(format);
}

/* True when link becomes an item of the page named pageName: every href link, and every
 * name anchor but the one named like the page. Records with neither lead nowhere. */
bool MakesItem(const HtmlLink *link, const char *pageName) {
  if (!link->target) return false;
  return link->kind == 2 || (link->kind == 1 && strcmp(link->target, pageName) != 0);
}

/* The label of a link item: its text in the page, without the "<" ">" of an href link, cut
 * to 127 characters, line ends and other control characters as blanks. Null when the text
 * is empty or lies outside the page text. */
char *LinkLabel(const HtmlPage *page, const HtmlLink *link) {
  if (!page->image) return nullptr;
  int start = link->start, length = link->length;
  if (link->kind == 2) {
    start += 1;
    length -= 2;
  }
  if (start < 0 || length <= 0 || start > page->length || length > page->length - start) {
    return nullptr;
  }
  if (length > HELP_LABEL_SIZE - 1) length = HELP_LABEL_SIZE - 1;
  char label[HELP_LABEL_SIZE];
  for (int i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(page->image[start + i]);
    label[i] = c < ' ' || c == 0x7f ? ' ' : static_cast<char>(c);
  }
  label[length] = '\0';
  return SaveStr("%s", label);
}

void SetLabel(TextMenuItem &item, const char *label) {
  item.pLabel = label;
  item.LabelLen = static_cast<int32_t>(strlen(label));
}

/* Re-draws the menu of the page in view after a move. */
void *Rebuilt(TextMenu *menu, int moved) {
  if (moved) TtyHelpBuildMenuItems(0);
  return menu;
}

}  // namespace

TextMenu *TtyHelpBuildMenuItems(int) {
  ReleaseBuilt();
  HtmlPage *page = pCurrentPage;
  int links = page && page->links.count > 0 ? page->links.count : 0;
  const int maxLinks = INT_MAX / static_cast<int>(sizeof(TextMenuItem)) - 8;
  if (links > maxLinks) links = maxLinks;
  const int needed = links + 1 + HELP_COMMON_ITEMS;
  if (HelpMenuItemCnt < needed) {
    void *grown = AdjustMem(HelpMenuItems, needed * static_cast<int>(sizeof(TextMenuItem)));
    if (!grown) SysError("%s", OutOfMem);
    HelpMenuItems = static_cast<TextMenuItem *>(grown);
    HelpMenuItemCnt = needed;
  }
  HelpMenu.pItems = HelpMenuItems;

  TextMenuItem *item = HelpMenuItems;
  *item = TextMenuItem{};
  item->Kind = TM_KIND_LINE;
  item->Saved = -1;
  SetLabel(*item++, page && page->image ? page->image : "");

  if (page) {
    const char *pageName = page->name ? page->name : "contents";
    uint32_t key = 0;
    int taken = 0;
    for (ListNode *n = page->links.first; n && taken < links; n = n->next, ++taken) {
      HtmlLink *link = *static_cast<HtmlLink **>(n->item);
      if (!link) break;
      if (!MakesItem(link, pageName)) continue;
      char *label = LinkLabel(page, link);
      if (!label) continue;
      *item = TextMenuItem{};
      SetLabel(*item, Keep(label));
      item->Kind = TM_KIND_ACTION;
      item->State = TM_STATE_ACTIVE;
      item->Key = ++key;
      item->Callback = TtyHelpGotoLink;
      item->pUserData = link;
      item->Saved = -1;
      ++item;
    }
  }

  SetCommonLabels();
  for (const TextMenuItem &common : HelpCommonItems) {
    *item = common;
    item->LabelLen = common.pLabel ? static_cast<int32_t>(strlen(common.pLabel)) : 0;
    ++item;
  }
  SetTitle();
  return &HelpMenu;
}

void *TtyHelpGotoLink(TextMenu *menu, TextMenuItem *item) {
  const HtmlLink *link = item ? static_cast<const HtmlLink *>(item->pUserData) : nullptr;
  /* The message stays on the screen until Return: the next menu clears the terminal. */
  if (!ProcessLink(link)) PostMsg("%s", "");
  return Rebuilt(menu, 1);
}

void *TtyHelpContents(TextMenu *menu, TextMenuItem *) { return Rebuilt(menu, HtmlSetHistory(0)); }

void *TtyHelpBack(TextMenu *menu, TextMenuItem *) { return Rebuilt(menu, HtmlSetHistory(-1)); }

const char *TtyHtmlHelp(const char *path, const char *content, const char *title) {
  if (!path || !title) return path;
  if (!HtmlHelp(path, content)) {
    PostMsg("%s", "");
    return path;
  }
  ReleaseBuilt();
  PutMem(gGivenTitle);
  gGivenTitle = SaveStr("%s", title);
  HelpMenu.pTitle = gGivenTitle;
  TtyHelpBuildMenuItems(0);
  RunMenu(&HelpMenu, nullptr, 1);
  return path;
}

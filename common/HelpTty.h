/* Terminal help: a help file shown page by page as a menu of the text menu engine.
 *
 * The menu of a page holds the page text as its first item, one numbered item per link and
 * per anchor of another name (selecting it follows the link), and the common items Exit
 * Help ("e"), Contents ("c") and Back ("b") in a row. The labels of the common items are
 * messages 20_150 to 20_152 and the title message 30_22 of the core catalogue pDrvCoreDB
 * (NlsUtils.h); a missing or malformed message keeps the built-in text.
 *
 * TextMenu and HelpTty call each other: "h" in a menu with TM_FLAG_HELP opens this help
 * (TtyHtmlHelp with pTtyHtmlName, pTtyHtmlData and pTtyHtmlTitle), and the help runs as a
 * menu (RunMenu). Navigation and the history are in html.h.
 *
 * Single-threaded: the help menu and its items are process-wide.
 */
#ifndef COMMON_HELPTTY_H
#define COMMON_HELPTTY_H

#include "TextMenu.h"
#include "html.h"

#ifdef __cplusplus
extern "C" {
#endif

#define HELP_LABEL_SIZE 128 /* a link item's label holds at most 127 characters */
#define HELP_COMMON_ITEMS 6 /* HelpCommonItems, its null-label end included */

/* The help's menu: centred title, items HelpMenuItems, Flags 0x01C1 (an empty line does not
 * leave; single-spaced; the leave test on the kind before the selection). */
extern TextMenu HelpMenu;
/* Managed item array of HelpMenu, rebuilt for every page and grown when a page needs more
 * items; HelpMenuItemCnt is its capacity in items (0 until the first build). */
extern TextMenuItem *HelpMenuItems;
extern int HelpMenuItemCnt;
/* The items after the link items: a one-column row, a three-column row, "~e Exit Help"
 * (leave), "~c Contents" and "~b Back" (actions), and the end of the array. */
extern TextMenuItem HelpCommonItems[HELP_COMMON_ITEMS];

/* Opens the help file path (content, when given, is its text) and runs the help menu until
 * the user leaves it. title is the menu's title when the catalogue has none. Without path
 * or title nothing happens; a file that cannot be loaded is reported (html.h HtmlHelp) and
 * acknowledged with Return. Returns path. */
const char *TtyHtmlHelp(const char *path, const char *content, const char *title);

/* Fills HelpMenu for pCurrentPage: its text, its link items and the common items, with
 * labels, keys and label lengths set, and the title. Out of memory ends the program.
 * Returns &HelpMenu. */
TextMenu *TtyHelpBuildMenuItems(int ignored);

/* Item callbacks of the help menu. Each returns menu (the engine then keeps the menu and
 * prints it again) after rebuilding the items when the position changed: item is read
 * before the rebuild and never after. TtyHelpGotoLink follows the link of item (its
 * pUserData) and waits for Return after an error message; TtyHelpContents and TtyHelpBack
 * (item not used) go to the contents and back. */
void *TtyHelpGotoLink(TextMenu *menu, TextMenuItem *item);
void *TtyHelpContents(TextMenu *menu, TextMenuItem *item);
void *TtyHelpBack(TextMenu *menu, TextMenuItem *item);

#ifdef __cplusplus
}
#endif

#endif

/* Text menu engine: numbered terminal menus with typed items.
 *
 * A client describes a menu as a static TextMenu record whose pItems array ends with an
 * item whose pLabel is null, and hands it to RunMenu. The engine prepares the items
 * (InitMenu), prints the menu (PrintMenu), reads a line from standard input, finds and
 * processes the selection, validates typed entries against entry patterns, switches other
 * items through state formats, and stores and loads the values of a menu tree in a
 * settings file. Every screen text comes from the message catalogue (set 25 of
 * pDrvCoreDB, NlsUtils.h); a missing text shows as its key.
 *
 * Indexes named "index" are zero-based positions in a menu's item array, counting every
 * item; FindSelection alone returns a one-based index (0 = no item).
 *
 * Entry patterns (pFormat of kinds 11-14, and the settings file name): elements read left
 * to right. A(min,max) letters and digits, a(min,max) letters, p(min,max) printable ASCII
 * (the rest of the text from the current position; whole-text length in [min,max]);
 * L(min,max) and t(min,max) length only; d(min,max) decimal digits, value in range;
 * x(min,max) hexadecimal value; f(min,max) decimal number with at most one "."; D(min,max)
 * long double of digits. "+c" after an element adds c to the accepted characters, "-c"
 * refuses c (d). A max of 0 switches the bound check off. "&" tests the next element from
 * the start of the text again; "|" accepts when everything before it passed, otherwise
 * the next alternative is tried; "!(word)" refuses exactly word and accepts anything else
 * at once; blanks are ignored; any other character must match literally. Classes are
 * ASCII only: bytes from 0x80 are never letters. Consequences worth knowing: a passing
 * "!" ends the validation ("!(root)&a(1,8)" accepts "123"); a d element checks the whole
 * text, so a d after a literal never passes; a failure before "&" returns at once, a
 * later "|" is not tried.
 *
 * State formats (pFormat of kinds 9, 10): groups "<letter><triggers>{<targets>}", the
 * letter N (targets inactive), H (hidden), P (apply the target's formats and call its
 * Callback) or S (target "index.value": the value is forced, the old one put aside in
 * Saved and given back when the trigger no longer matches). Triggers are "*" or numbers;
 * the group matches when one equals the item's Value. Sub-menu conditions (pFormat of
 * kind 8): blank-separated conditions over references "N.V", "+N.V", "-N.V" (item N,
 * relative to the kind-8 item with a sign, has Value V), a trailing "A" (and is not
 * active), "!", "&" (binds tighter), "|" and parentheses; Value is then an array of
 * sub-menu pointers, one per condition, and the first condition that holds selects.
 *
 * Settings file: one line per stored value, "index[value] kind state", a line
 * "index{" opening the block of the sub-menu at that index and "}" closing it. Files are
 * untrusted input: lines for items that do not exist or cannot hold the value are
 * skipped, and the rest of the file still loads.
 *
 * TextMenu and HelpTty call each other: "h" in a menu opens the help, and the help is
 * shown as a menu. The engine's numbers, masks and floats live in the low 32 bits of the
 * pointer-sized Default, Value and Previous fields.
 */
#ifndef COMMON_TEXTMENU_H
#define COMMON_TEXTMENU_H

#include <signal.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TEXTMENU_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define TEXTMENU_PRINTF(f, a)
#endif

struct TextMenu;
struct TextMenuItem;

/* Menu functions (ApplyFunc, EntryFunc); the result is not used by the engine. */
typedef void *(*TextMenuFunc)(struct TextMenu *menu);
/* Item callbacks. For kinds 4-7 a null (0) result means "done": the selection counts as a
 * change and, for kinds 4-6, leaves the menu; any other result keeps the menu as it is.
 * For kinds 9-14 the callback is told of a change and its result is not used. A callback
 * may rebuild the menu's item array: the engine re-reads pItems afterwards. */
typedef void *(*TextMenuItemFunc)(struct TextMenu *menu, struct TextMenuItem *item);

/* One item of a menu. */
typedef struct TextMenuItem {
  const char *pLabel;        /* label; "~k Text" is hot key k showing "Text"; null ends the array */
  uint32_t Kind;             /* TM_KIND_* */
  uint32_t State;            /* TM_STATE_* */
  const char *pPrompt;       /* entry prompt, printed as "%s: " */
  char *pChoices;            /* kinds 9, 10: "," separated choices; writable (choice markers) */
  char *pChoiceText;         /* kind 9: current choice, in the shared token buffer */
  intptr_t Default;          /* initial value, in the representation of Value */
  intptr_t Value;            /* current value, see the kinds */
  intptr_t Previous;         /* value before the last change */
  TextMenuItemFunc Callback; /* kinds 4-7 the action; kinds 9-14 told of a change */
  int32_t LabelLen;          /* strlen(pLabel), set by InitMenu */
  const char *pFormat;       /* entry pattern, state formats or sub-menu conditions */
  int32_t Saved;             /* value put aside by an S format; -1 when none */
  int32_t ChoiceCnt;         /* kinds 9, 10: number of choices, set by InitMenu */
  void *pUserData;           /* client data, never read by the engine */
  uint32_t Key;              /* selection key set by InitMenu: number, hot key or 0 */
} TextMenuItem;

/* One menu. */
typedef struct TextMenu {
  const char *pTitle;       /* title; a sub-menu's title is its label in the parent */
  int32_t TitleStyle;       /* TM_TITLE_* */
  const char *pApplyPrompt; /* yes/no question on leaving a changed menu; null: none */
  TextMenuFunc ApplyFunc;   /* applies the settings; may be null */
  struct TextMenu *pParent; /* menu to return to; null for the top menu */
  TextMenuFunc EntryFunc;   /* called on entry, after a sub-menu and after "stay" */
  TextMenuItem *pItems;     /* the items, ended by a null label */
  uint16_t Flags;           /* TM_FLAG_* */
} TextMenu;

/* Item kinds (Kind) and what Value holds. */
#define TM_KIND_LINE 0         /* text line, printed as it is */
#define TM_KIND_ROW 1          /* row marker for the kind-0 items after it */
#define TM_KIND_PLACEHOLDER 2  /* never numbered or selectable (BlankTaskItem) */
#define TM_KIND_COLUMNS 3      /* the following items in columns; Value: columns, 0 = 3 */
#define TM_KIND_APPLY 4        /* apply and leave, once every name item is set */
#define TM_KIND_LEAVE_ACTION 5 /* leave with action; run when a settings file is unreadable */
#define TM_KIND_LEAVE 6        /* leave */
#define TM_KIND_ACTION 7       /* action; the menu stays */
#define TM_KIND_SUBMENU 8      /* Value: the TextMenu *, or an array of them (conditions) */
#define TM_KIND_PICK_ONE 9     /* Value: zero-based choice index */
#define TM_KIND_PICK_MANY 10   /* Value: bit k-1 set when choice k is chosen (32 choices) */
#define TM_KIND_NAME 11        /* Value: 256-byte managed text buffer; must be set to apply */
#define TM_KIND_TEXT 12        /* Value: 256-byte managed text buffer */
#define TM_KIND_INT 13         /* Value: signed 32-bit integer */
#define TM_KIND_FLOAT 14       /* Value: bits of a float (TextMenuFloatBits) */

/* Item states (State). */
#define TM_STATE_ACTIVE 0
#define TM_STATE_INACTIVE 1 /* shown indented without number, not selectable */
#define TM_STATE_HIDDEN 2   /* not shown, not selectable */

/* Title styles (TitleStyle). */
#define TM_TITLE_PLAIN 0   /* "Title:" */
#define TM_TITLE_CENTRED 1 /* centred in 80 columns */
#define TM_TITLE_RIGHT 2   /* right-aligned in 80 columns */

/* Menu flags (Flags). */
#define TM_FLAG_NO_LEAVE 0x0001      /* an empty line does not leave the menu */
#define TM_FLAG_HELP 0x0002          /* "h" opens the terminal help */
#define TM_FLAG_KEEP_BUFFERS 0x0004  /* no FreeMenu when kinds 4-6 or flExitTextMenu end it */
#define TM_FLAG_STORE_NAMED 0x0008   /* "s" asks for a file name and stores the settings */
#define TM_FLAG_STORE_EXIT 0x0010    /* "s" stores ".settings" and ends the program (0) */
#define TM_FLAG_REINIT 0x0040        /* InitMenu again after an action reports a change */
#define TM_FLAG_KIND_BEFORE 0x0080   /* the leave test uses the kind before the selection */
#define TM_FLAG_SINGLE_SPACED 0x0100 /* no empty line after each item */

#define TM_TEXT_SIZE 256                      /* value buffer of kinds 11, 12: 255 characters */
#define TM_MAX_PICK_MANY 32                   /* choices a pick-many mask can hold */
#define TM_SETTINGS_FILE ".settings"          /* file of TM_FLAG_STORE_EXIT */
#define TM_SETTINGS_PATTERN "/A(1,255)+-+_+/" /* pattern of settings file names */

/* ---- Globals ---- */

extern char flExitTextMenu;        /* 1: RunMenu returns at once; running menus end */
extern char flLoadedSettings;      /* set to 1 by LoadMenu */
extern const char MENUVAL_SAVE;    /* 's', for clients */
extern const char MENUVAL_CANCEL;  /* 'c', for clients */
extern const char MENUVAL_DEFAULT; /* 'd', for clients */
/* Labels of the full-screen picker, fetched once from the catalogue; null until then. */
extern char *VPATTYMENU_SAVE;
extern char *VPATTYMENU_CANCEL;
extern char *VPATTYMENU_CURSEL;
extern char *VPATTYMENU_CURSELTRUNC;
extern char *VPATTYMENU_OPTION;
/* What "h" hands to the terminal help: file, contents (null) and title ("Help"). */
extern const char *pTtyHtmlName;
extern const char *pTtyHtmlData;
extern const char *pTtyHtmlTitle;
extern TextMenuItem BlankTaskItem; /* placeholder: kind 2, empty label, Default 3 */
/* Range messages of the d, x and D elements, fetched on the first validation with a
 * pattern and kept for the process. */
extern char *pErrIntRange;
extern char *pErrFloatRange;
extern char *pErrLongRange;
extern char *pOption; /* after FindSelection: the text after the first word of LineBuf */

/* ---- Model, settings files ---- */

/* Prepares every item: label lengths, choice counts, values from Default (kind-10 masks
 * that are not 0 stay), text buffers, keys, Saved = -1; then the kind-9 choice texts and
 * the state formats in item order. A pick-many list of more than 32 choices is cut to 32
 * with a warning on standard error. Returns the longest label length. */
int32_t InitMenu(TextMenu *menu, int ignored);
/* Releases the text buffers of kinds 11 and 12 (PutMem) and sets their Value to null.
 * Returns menu. */
TextMenu *FreeMenu(TextMenu *menu);
/* The first item of that kind, or null. */
TextMenuItem *FindTextMenuItem(TextMenu *menu, uint32_t kind);
/* Writes the values of the menu tree to pOut (utils.h): kinds 9, 11-14 as value lines,
 * then the block of every selected sub-menu. A menu already on the path is not entered
 * again. Returns 1, or 0 when pOut is null or a write failed. */
int StoreMenu(TextMenu *menu);
/* Reads pIn line by line (GetFileLine, LineBuf) and sets the values of the menu tree; a
 * block end calls the menu's first kind-4 Callback. Sets flLoadedSettings. Returns menu. */
TextMenu *LoadMenu(TextMenu *menu);

/* Float values of kind 14: the bits of a float in the low 32 bits. */
intptr_t TextMenuFloatBits(float value);
float TextMenuFloat(intptr_t bits);

/* ---- Entry validation ---- */

/* Tests text against the entry pattern: 0 accepted, 1 number out of range or more than
 * one ".", 2 wrong length, 3 invalid character, 4 refused word. A failure's message has
 * been shown with PostMsg (none when a literal fails before anything matched). A null
 * pattern accepts. */
int ValidateEntry(const char *text, const char *pattern);
/* Prints the message, then "Press <Return> to continue", and waits for a line (LineBuf
 * is overwritten). At end of input it returns at once. */
void PostMsg(const char *fmt, ...) TEXTMENU_PRINTF(1, 2);
/* Reads "(min,max)" or "min,max" from bounds into *min; returns max. */
int getMinMax(const char *bounds, int *min);
/* Null when the length of text (0 for null) lies within bounds (null bounds: exactly 4),
 * else the length message formatted in NlsBuf. */
char *ValidateEntryLen(const char *text, const char *bounds);
/* The first character of text that is not a digit, or 0. */
int ValidateEntryDigit(const char *text);
/* 2 after showing the length message, 3 after "Invalid digit:  %c\n", else 0. */
int ValidateEntryTty(const char *text, const char *bounds);
/* 1 when name holds only letters, digits, "_" and "-"; else 0 after the message and a
 * wait for a line. */
int TestName(const char *name);
/* 1 when every name item (kind 11) before the first hidden item is set; else 0 after the
 * message and a wait for a line. */
int TestNames(TextMenu *menu);

/* ---- Item states and conditions ---- */

/* Tests the reference "N.V", "+N.V" or "-N.V" (relative to base): 0 the item's Value
 * differs (or there is no such item), 1 equal and active, 2 equal and not active. */
int TestState(TextMenu *menu, const char *ref, int base);
/* 1 when the condition holds for base, else 0 (also for a malformed condition). */
int TestStateCondition(TextMenu *menu, const char *cond, int base);
/* The sub-menu the kind-8 item at index selects, or null (inactive, no condition holds). */
TextMenu *ValidateMenu(TextMenu *menu, int index);
/* 1 when the trigger list ("*", or numbers separated by other characters) holds value. */
int TestFormatState(const char *list, intptr_t value);
/* Applies the state formats of the active kind-9/10 item at index. Targets outside the
 * menu are ignored, a P target already being applied is not entered again, S acts on
 * number items only (kinds 9, 10, 13, 14; a negative value cannot be put aside). Returns
 * menu. */
TextMenu *ProcessStateFormat(TextMenu *menu, int index);
/* Moves a kind-9 item off an unavailable choice and refreshes pChoiceText (null when the
 * item stands on no choice). Returns item. */
TextMenuItem *UpdateStateSelection(TextMenuItem *item);
/* Marks choice n (zero-based) unavailable (a blank over its first character), then
 * UpdateStateSelection. n outside the list does nothing. Returns item. */
TextMenuItem *HideStateSelection(TextMenuItem *item, int n);
/* Marks choice n available ("_" over its first character). Returns item. */
TextMenuItem *ShowStateSelection(TextMenuItem *item, int n);

/* ---- Printing ---- */

/* Clears the terminal (the command table's "clear"), prints the title, the items and the
 * prompt line. labelWidth is InitMenu's result, titleLength the length of the title's
 * first line. Returns the number of items in the array. */
int PrintMenu(TextMenu *menu, int labelWidth, int titleLength);
/* Prints the row of columns that the kind-1 or kind-3 item row starts; *index (the row
 * item's index) goes up by one for every item taken. Returns the last item taken. */
TextMenuItem *PrintMenuBarItem(TextMenuItem *row, uint32_t kind, int *index);

/* ---- Run loop ---- */

/* Runs the menu: EntryFunc, InitMenu, the settings file when given (unreadable: the first
 * kind-5 Callback runs instead and RunMenu returns), then ApplyFunc (not interactive) or
 * the interactive loop until the menu is left. End of input in the loop ends the program
 * (status 1) without applying anything. Returns 0. */
int RunMenu(TextMenu *menu, const char *settingsFile, char interactive);
/* The one-based index of the item LineBuf selects among the first count items, or 0
 * (also after "h" and after storing the settings). Sets pOption. */
int FindSelection(TextMenu *menu, int ignored, int count);
/* Processes the item at index with the option text; non-zero when it changed something
 * or ended successfully. */
unsigned char ProcessSelection(TextMenu *menu, int index, const char *option);
/* Asks fmt followed by "? [y/n] " until a line starts with "y" (1) or "n" (0); end of
 * input answers 0. */
int PromptYN(const char *fmt, ...) TEXTMENU_PRINTF(1, 2);
/* Prints prompt and reads a line into buffer (4096 bytes); with a null buffer, reads at
 * most 1023 characters and returns a managed copy (PutMem). At end of input the line is
 * empty. */
char *PromptUser(const char *prompt, char *buffer);

/* ---- Full-screen picker and its character screen ---- */

/* A character screen: Cols x Rows characters in pData, row after row, no line ends. The
 * write position is CurX (column, 0-based) and CurY (row, 1-based); the overlay box is
 * OvlX (column, 0-based), OvlY (row, 1-based), OvlWidth (text characters per line) and
 * OvlHeight (text lines). pData is managed memory (GetMem) or null. */
typedef struct TextScreen {
  int32_t Cols;
  int32_t Rows;
  uint32_t CurX;
  uint32_t CurY;
  int32_t OvlX;
  int32_t OvlY;
  int32_t OvlWidth;
  int32_t OvlHeight;
  char *pData;
} TextScreen;

#define TM_SCREEN_MAX 1024      /* largest Cols and Rows a screen is measured with */
#define TM_SCREEN_TEXT_SIZE 512 /* WriteString formats at most 511 characters */

/* Sets the write position. Returns screen. */
TextScreen *SetPosition(TextScreen *screen, int x, int y);
/* Formats into a 512-byte text and copies it into the buffer at the write position
 * (a CurY outside 1..Rows counts as 1, a CurX above Cols as 0), running on into the
 * following rows but never past the buffer's end. The position does not move. Returns
 * the number of characters copied. */
int WriteString(TextScreen *screen, const char *fmt, ...) TEXTMENU_PRINTF(2, 3);
/* Fills height rows from row y (0-based), width columns from column x, with ch; the
 * rectangle is cut to the buffer. Returns screen. */
TextScreen *FillArea(TextScreen *screen, int x, int y, int width, int height, int ch);
/* Moves the terminal cursor to the top left and writes the buffer to standard output row
 * by row (a "\n" in the buffer ends its row early; the screen's last character is left
 * out so that the terminal does not scroll), then flushes. Returns screen. */
TextScreen *Refresh(TextScreen *screen);
/* Draws a box of "*" on the terminal at (OvlX, OvlY) holding text (OvlWidth characters a
 * line, OvlHeight lines, a "\n" starts a new line); with wait, a "* Press enter" line
 * follows and a line of standard input is read. The cursor goes back where it was.
 * Returns screen. */
TextScreen *Overlay(TextScreen *screen, const char *text, int wait);
/* Fills the first 24 rows of 80 characters (fewer on a smaller screen) with the digits 0
 * to 9 repeating along each row: a test pattern. Returns screen. */
TextScreen *NumberScreen(TextScreen *screen);
/* Sets the overlay box. Returns screen. */
TextScreen *SetOvlInfo(TextScreen *screen, int x, int y, int width, int height);

/* Terminal layer. GetTermInfo measures the terminal of standard output (its window size;
 * else COLUMNS and LINES; else 80 x 24; at most TM_SCREEN_MAX each way), gives the
 * screen a buffer of that size (the old pData is released when the size changed), blanks
 * it and puts the write position at the top left. Returns screen. MoveCursor puts the
 * terminal cursor at column x (0-based) of row y (1-based), within the screen when one is
 * given. ClearScreen blanks the buffer and returns screen. */
TextScreen *GetTermInfo(TextScreen *screen);
void MoveCursor(TextScreen *screen, int x, int y);
TextScreen *ClearScreen(TextScreen *screen);

/* ---- The picker ---- */

#define TM_PICK_COLUMNS 512 /* columns measured by GetColumnWidths */

/* Splits the choices of the kind-9/10 item into columns of Rows - 6 choices (fewer when the
 * list is shorter) and stores the widest choice of each column in widths (TM_PICK_COLUMNS
 * entries; may be null). Returns the widest choice of the whole list, 0 for none. Choices
 * are measured as shown, without their "_" or " " marker. */
int GetColumnWidths(TextScreen *screen, TextMenuItem *item, int *widths);
/* Writes the picker's frame: the item's label centred on row 1, VPATTYMENU_SAVE and
 * VPATTYMENU_CANCEL on row Rows - 2, the selection through VPATTYMENU_CURSEL on row
 * Rows - 1 (cut to the row through VPATTYMENU_CURSELTRUNC) and VPATTYMENU_OPTION on the
 * last row. Returns screen. */
TextScreen *WriteScreenFrame(TextScreen *screen, TextMenuItem *item, const char *selection);
/* Draws the picker page of the kind-9/10 item that begins with choice start (0-based) on
 * the terminal. The page of choice 0 measures the terminal again (GetTermInfo) and fetches
 * the labels (25_201 to 25_205) when they are null. unavailable (null, or (ChoiceCnt + 31)
 * / 32 words) receives bit k for the k-th choice of the page that cannot be chosen.
 * Returns the number of choices shown, or -1 when start is past the list or the terminal
 * is too small (then 25_206 to 25_208 are shown and a line is read). */
int PrintPickOneManyScreen(TextMenuItem *item, uint32_t *unavailable, int start);
/* Runs the picker for the kind-9/10 item at index until the save or cancel key; preset
 * (may be null) is the first input. Each input line is choice numbers separated by ",",
 * blanks or tabs (pick-one takes the last, pick-many switches each), Return for the next
 * page, or the key of VPATTYMENU_SAVE or VPATTYMENU_CANCEL (MENUVAL_SAVE and
 * MENUVAL_CANCEL when a label starts with a digit). Every change sets Previous, applies the
 * state formats and calls the item's Callback; cancel and end of input put back the value
 * from before the picker. Pick-many items offer their first 32 choices. The run loop calls
 * it for a selected pick-many item; clients may call it from an action. Returns menu. */
TextMenu *ProcessStateValue(TextMenu *menu, int index, const char *preset);

/* ---- Pass phrase ---- */

/* The signal handler caught while GetPassPhrase waited; 0 when none. */
extern volatile sig_atomic_t signo;
/* The catcher GetPassPhrase installs: stores sig in signo. */
void handler(int sig);
/* Asks for a secret line on the terminal ("/dev/tty") with echo off and returns it as a
 * new managed string (PutMem), at most 256 characters; the rest of a longer line is read
 * and dropped. Without a terminal the prompt goes to standard error and the phrase is the
 * next line of standard input (read through stdio, after anything already buffered). Each
 * character is waited for at most 60 seconds. SIGINT, SIGHUP, SIGQUIT, SIGTERM, SIGTSTP,
 * SIGTTIN and SIGTTOU end the read at once; the terminal and the signal actions are
 * restored, then the signal is passed on to the process: after a stop the question is
 * asked again; a process that survives the others gets the phrase read so far, with
 * signo still set. errno on return: 0 at the line end or end of input, ETIMEDOUT, EINTR
 * (a signal), or the error that ended the read. When echo cannot be switched off nothing
 * is read: the phrase is empty and the reason is written to standard error. */
char *GetPassPhrase(const char *prompt);

#ifdef __cplusplus
}
#endif

#endif

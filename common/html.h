/* Terminal HTML help: loading help files, parsing their pages and laying them out as text.
 *
 * A help file holds one or more pages, each opened by an html tag (page="name" names it)
 * with a head and a body. Loading splits the file into pages, parses head and body into
 * element lists (tags with their attribute text, and runs of text with character references
 * decoded and white space collapsed) and lays every page out as plain text: a centred
 * title, paragraphs, headings, numbered and bulleted lists, links shown as "<text>" and
 * tables drawn with ASCII borders. Loaded files stay in memory for the rest of the run and
 * are found again by name.
 *
 * Every record and text here is managed memory owned by the module (GetMem); callers read
 * them and never release them. The library never writes into a name or content the caller
 * hands in: it works on its own copies.
 *
 * Single-threaded: the file table and the layout state are process-wide and unguarded.
 */
#ifndef COMMON_HTML_H
#define COMMON_HTML_H

#include "List.h"

#ifdef __cplusplus
extern "C" {
#endif

#define HTML_MAX_FILES 100     /* slots of the loaded-file table */
#define HTML_TITLE_WIDTH 80    /* the title is centred in this many columns */
#define HTML_PIXELS_PER_CHAR 7 /* width and padding attributes are pixels */
#define HTML_MAX_ROWS 1000     /* rows of one table; later tr tags are ignored */
#define HTML_MAX_COLUMNS 1000  /* cells of one row; later td tags are ignored */
#define HTML_MAX_WIDTH 1000    /* a given table or column width is cut to this many characters */
#define HTML_MAX_NESTING 8     /* tables nested deeper are laid out as the text of their cell */

/* A loaded help file. */
typedef struct HtmlFile {
  char *name;     /* the file name as requested, without "file://" and without an anchor */
  char *content;  /* the module's copy of the file text; parsing cuts it in place */
  char *position; /* the parse position in content */
  List pages;     /* HtmlPage records in file order */
  int length;     /* length of the text as loaded */
} HtmlFile;

/* One page of a help file. */
typedef struct HtmlPage {
  char *name;  /* value of the page attribute of the html tag that opened it, or null */
  char *image; /* the laid-out text, one "\n" after every line; null until laid out */
  List head;   /* HtmlElement records between head and its end tag */
  List body;   /* HtmlElement records between body and its end tag */
  List links;  /* items are HtmlLink pointers: the anchors and links placed in the text */
  int lines;   /* number of lines of the text */
  int length;  /* length of the text in bytes */
} HtmlPage;

/* One element of a head or body list. */
typedef struct HtmlElement {
  char *tag;  /* the tag name as written ("p", "/td", "TABLE"); null for a text run */
  void *data; /* attribute text, the decoded text of a run, an HtmlLink for an a tag, and
               * an HtmlTable for a table once it was measured */
  int length; /* length of the data text when the element was made */
} HtmlElement;

/* The record of an a tag. */
typedef struct HtmlLink {
  char *target; /* value of its name or href attribute (points into the content), or null */
  int start;    /* after layout: offset of its first character in the page text */
  int end;      /* after layout: offset just past its last character */
  int length;   /* after layout: end - start, the "<" and ">" of a link included */
  int kind;     /* 1 a name anchor, 2 an href link, 0 neither */
} HtmlLink;

/* A measured table. Widths count characters; the arrays hold rows and columns ints. */
typedef struct HtmlTable {
  int left;          /* column of the left border */
  int top;           /* line of the top border */
  int width;         /* total width, borders included */
  int height;        /* total height in lines, border lines included */
  int padding;       /* cell padding in characters */
  int spacing;       /* cell spacing in characters */
  int frame;         /* always 1: the border's share in percent widths */
  int bordered;      /* 1 when the table has a border attribute */
  int *rowHeights;   /* content lines of each row */
  int *columnWidths; /* content characters of each column */
  int rows;
  int columns;
} HtmlTable;

/* ---- The loaded-file table ---- */

extern HtmlFile *aFile[HTML_MAX_FILES]; /* loaded files; slots 0 .. FileIndex - 1 are used */
extern int FileIndex;                   /* number of slots in use */
extern int CurrentFile;                 /* slot of the file in view */
extern HtmlPage *pCurrentPage;          /* page in view; the layout works on it */

/* ---- Vocabulary ---- */

/* Named character references: a ","-led keyword list of 96 names with their ";". Name k
 * (from 1) stands for the ISO 8859-1 character 159 + k; matched with case. */
extern const char HTMLKeys[];
extern const int HTMLKeySizes[97];        /* length of name k with its ";"; [0] is 0 */
extern const unsigned char HTMLChars[97]; /* the character of name k; [0] is 0 */
/* Tags the layout knows, a ","-led keyword list matched without case: the lists and table
 * tags, headings, paragraphs, links and line breaks. ul and /ul come last. */
extern const char HtmlKeys[];

/* ---- Loading and parsing ---- */

/* Loads the help file name (read whole from disk when content is null, else a copy of
 * content), splits it into pages, parses and lays out every page, and makes its first page
 * current. "http://" names are refused; a leading "file://" is dropped; "#anchor" after the
 * name makes the page named anchor, or the page holding that anchor, current. A file loaded
 * before is served from the table. Returns the module's record, or null when the file cannot
 * be read, has no page or the table is full. */
HtmlFile *ParseHtmlFile(const char *name, const char *content);

/* The loaded file whose name equals name exactly, made the current file; or null. */
HtmlFile *FindHtmlFile(const char *name);

/* Parses elements from file's position into list up to and past the end tag "/" end
 * (without case), a tag that ends the page (html, /html; body for a head), or the end of the
 * text. Returns file. */
HtmlFile *ParseHtml(HtmlFile *file, List *list, const char *end);

/* The text of the next tag of file (between "<" and ">", cut in place), skipping text and
 * comments before it; the position moves past the ">". Null when no complete tag follows. */
char *GetKeyWord(HtmlFile *file);

/* Appends an element {tag, data, length of data} to list; for an a tag (any case) the data
 * becomes a new link record read from the attribute text data (split in place). Returns the
 * element, or null when list is null or memory runs out. */
HtmlElement *AddAtribute(List *list, char *tag, char *data);

/* The page of file named target, else the page holding an anchor (kind 1) named target;
 * *offset (when given) gets the anchor's offset in the page text, 0 for a page. Null when
 * nothing matches. */
HtmlPage *HtmlFindTarget(HtmlFile *file, const char *target, int *offset);

/* ---- Layout (on pCurrentPage) ---- */

/* Lays out pCurrentPage unless it has its text already, and sets the page's image, lines,
 * length and the offsets of its links. Returns the page text (the module's), or null
 * without a current page. */
char *PrintTextImage(HtmlFile *file);

/* Lays out pCurrentPage from scratch: the title, then the body. Returns the line count. */
int BuildTextImage(HtmlFile *file);

/* Lays out body elements from the body list's cursor at (line, column): the whole rest of
 * the body when table is null (and the final line becomes the line count), else the table's
 * borders and cells up to its /table. Returns the line reached. */
int BuildTextBody(HtmlFile *file, HtmlTable *table, int line, int column);

/* Measures the table whose table tag is element, the body list's current position, in a
 * cell of available characters (0 when not given). The element's tag becomes "fitab" and its
 * data the returned record (the module's). Null when element is null. */
HtmlTable *GetTextTable(HtmlFile *file, HtmlElement *element, int available);

/* The largest number of cells in one row of the table at the body list's cursor (nested
 * tables not counted, at most HTML_MAX_COLUMNS); the cursor is left where it was. */
int GetColumnCnt(void);

/* Draws the borders of table, or blanks its area when it has none. */
void DrawTableArea(HtmlFile *file, HtmlTable *table);

/* Writes count characters of text at (line, column) of the page being laid out (count
 * copies of text[0] when fill is set), after blanks up to column. A line is as long as its
 * text: nothing is cut or wrapped. */
void PrintText(HtmlFile *file, int line, int column, const char *text, int count, int fill);

/* ---- Navigation (html_nav.cpp) ----
 *
 * The reader's position is a file slot, a page and a character offset in the page text. The
 * history keeps the positions the reader came from, so that Back returns to them and
 * Contents goes to the first page of the file the help session opened. Links are followed
 * by their record: "#name" goes to the page named name, or to the page holding the anchor
 * name, in the current file; "file#name" and "file" load another file (relative names are
 * read from the directory of the file that holds the link) and push the position left. */

#define HTML_HISTORY_SIZE 100 /* positions the history keeps; later pushes are ignored */

/* A position the reader left. */
typedef struct HtmlHistory {
  int file;       /* file slot */
  HtmlPage *page; /* page in view */
  int targetPos;  /* offset in its text */
} HtmlHistory;

extern HtmlHistory History[HTML_HISTORY_SIZE];
extern int HistoryI;        /* entries of History in use (read-only for callers) */
extern int TargetPos;       /* offset in the current page text where the reader is (0 = top) */
extern char flBuildingFile; /* set while a file loads or a link is followed */

/* Opens the help file path (content, when given, is its text) for a new help session: the
 * history is emptied, the file loaded (ParseHtmlFile) and remembered as the session's
 * contents. Returns 1, or 0 for a null path and after "Error reading HTML buffer
" (content
 * given) or "Error in reading HTML file %s
" on standard output. */
int HtmlHelp(const char *path, const char *content);

/* Follows link (an href link, or a name anchor, which is a place of the current file).
 * Returns 0 after "Error in reading file %s
" (the target) on standard output when the
 * file it names cannot be loaded; the position is then unchanged. Otherwise 1, also when
 * the target names no place of the file (nothing changes then). */
int ProcessLink(const HtmlLink *link);

/* Goes to the page named target, else to the page holding the anchor target, of the
 * current file (a leading "#" is skipped), pushing the position left. Returns 1, or 0 when
 * nothing matches (nothing changes). */
int GoToTarget(const char *target);

/* Pushes the current position onto the history; ignored when it is full. Returns 1 when
 * pushed, else 0. */
int SetHistory(int ignored);

/* mode 0 (Contents): empties the history and goes to the first page of the session's file;
 * mode -1 (Back): goes back to the last position pushed (its offset is not restored).
 * Returns 1 when it went somewhere, 0 when there is nowhere to go (Back with an empty
 * history; Contents already on the contents page with an empty history). */
int HtmlSetHistory(int mode);

/* Follows the first href link of the current page whose text covers offset position, for
 * viewers that select by position; TargetPos becomes position. Ignored while flBuildingFile
 * is set, without a loaded file or when the page has no links. Returns position. */
int HtmlProcessLink(int position);

#ifdef __cplusplus
}
#endif

#endif

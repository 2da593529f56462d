/* queuedb: notes on print queues kept in a record database, a small C program built on
 * the installed library.
 *
 *   queuedb DBFILE [LIST]
 *
 * LIST holds queues as "name:note;name:note"; each is stored in the database DBFILE (made
 * when missing). A menu on the terminal then adds one more queue (its name, a note and a
 * paper size), and every queue of the database is listed. Exit status: 0 done, 1 a queue
 * could not be stored, 2 wrong usage.
 *
 * It shows the library's conventions: texts and records come from GetMem and go back with
 * PutMem; GetToken scans one text at a time for the whole program; the menu engine takes
 * its screen texts from the message catalogue, found through pToolPath.
 *
 * Build it with pkg-config:
 *   cc -o queuedb queuedb.c $(pkg-config --cflags --libs orvelvp) \
 *      -DORVELVP_DATA_DIR="\"$(pkg-config --variable=pkgdatadir orvelvp)\""
 * or with CMake: examples/CMakeLists.txt (find_package(OrvelVP)).
 */
#include <orvelvp/Dbm.h>
#include <orvelvp/MemMgr.h>
#include <orvelvp/NlsUtils.h>
#include <orvelvp/TextMenu.h>
#include <orvelvp/utils.h>
#include <stdio.h>
#include <string.h>

#ifndef ORVELVP_DATA_DIR
#define ORVELVP_DATA_DIR "/usr/local/share/orvelvp"
#endif

/* Names a queue may not take: a keyword list, its first character the delimiter. */
static const char kReserved[] = ",all,none,default,";

static DbT *db;
static int status;

/* Stores the note of one queue; complains and returns 0 when it cannot. */
static int StoreQueue(const char *name, const char *note) {
  if (FindToken(name, kReserved) != 0) {
    fprintf(stderr, "%s: \"%s\" is a reserved name: not stored\n", my_name, name);
    return 0;
  }
  if (!DbmTPutRecord(db, name, note, (int)strlen(note) + 1)) {
    fprintf(stderr, "%s: %s: cannot store the queue %s\n", my_name, db->name, name);
    return 0;
  }
  return 1;
}

/* Stores every "name:note" entry of list. The shared tokenizer serves one scan at a time,
 * so the entries are copied out first and split afterwards. */
static void StoreList(const char *list) {
  int count = GetTokenCount(list, ";");
  char **entries = GetMem(count * (int)sizeof(char *));
  int n = 0;
  for (const char *entry = GetToken(list, ";"); entry && n < count; entry = GetToken(NULL, ";"))
    entries[n++] = SaveStr_(entry);
  for (int i = 0; i < n; ++i) {
    char *name = SaveStr_(GetToken(entries[i], ":"));
    const char *note = GetToken(NULL, ";");
    if (!name[0] || !note) {
      fprintf(stderr, "%s: \"%s\" is not name:note\n", my_name, entries[i]);
      status = 1;
    } else if (!StoreQueue(name, note)) {
      status = 1;
    }
    PutMem(name);
    PutMem(entries[i]);
  }
  PutMem(entries);
}

/* The menu: a name that must be set (kind 11), a note (12), a paper size (9), and the
 * add and quit items. Choice lists are written into by the engine: they live in arrays. */
static char paperChoices[] = "_A4,_Letter,_Legal";
enum { kTitleLine, kName, kNote, kPaper, kAdd, kQuit, kItemCount };
static TextMenuItem items[kItemCount + 1];
static TextMenu menu;

/* ApplyFunc: stores the queue typed into the menu. */
static void *AddQueue(TextMenu *m) {
  const char *name = (const char *)m->pItems[kName].Value;
  const char *note = (const char *)m->pItems[kNote].Value;
  /* The chosen choice without its availability marker ("_A4"). */
  const char *choice = GetTokenN(paperChoices, ",", (int)m->pItems[kPaper].Value + 1);
  char *paper = SaveStr_(choice ? choice + 1 : "?");
  char *text = SaveStr("%s (%s paper)", note ? note : "", paper);
  if (StoreQueue(name, text)) {
    printf("\nAdded %s.\n", name);
  } else {
    status = 1;
  }
  PutMem(text);
  PutMem(paper);
  return NULL;
}
static void *AddAndLeave(TextMenu *m, TextMenuItem *item) {
  (void)item;
  return AddQueue(m);
}
static void *Quit(TextMenu *m, TextMenuItem *item) {
  (void)m;
  (void)item;
  printf("\nNothing added.\n");
  return NULL;
}

static TextMenuItem Item(const char *label, uint32_t kind, const char *prompt, const char *format) {
  TextMenuItem item;
  memset(&item, 0, sizeof item);
  item.pLabel = label;
  item.Kind = kind;
  item.pPrompt = prompt;
  item.pFormat = format;
  item.Saved = -1;
  return item;
}

static void RunQueueMenu(void) {
  items[kTitleLine] = Item("A new print queue", TM_KIND_LINE, NULL, NULL);
  items[kName] = Item("Queue name", TM_KIND_NAME, "Queue name", "A(1,32)+-+_");
  items[kNote] = Item("Note", TM_KIND_TEXT, "Note", "p(0,60)");
  items[kNote].Default = (intptr_t) "new queue";
  items[kPaper] = Item("Paper", TM_KIND_PICK_ONE, NULL, NULL);
  items[kPaper].pChoices = paperChoices;
  items[kAdd] = Item("~a Add", TM_KIND_APPLY, NULL, NULL);
  items[kAdd].Callback = AddAndLeave;
  items[kQuit] = Item("~q Quit", TM_KIND_LEAVE_ACTION, NULL, NULL);
  items[kQuit].Callback = Quit;
  items[kItemCount] = Item(NULL, 0, NULL, NULL);
  menu.pTitle = "Print queues";
  menu.TitleStyle = TM_TITLE_CENTRED;
  menu.ApplyFunc = AddQueue;
  menu.pItems = items;
  RunMenu(&menu, NULL, 1);
  FreeMenu(&menu);
}

/* Every queue of the database, one "name: note" line each, built in managed memory that
 * grows with AdjustMem. */
static void ListQueues(void) {
  DbLinkNode *all = DbmTGetDbLinkList(db, NULL);
  char *text = NULL;
  int length = 0;
  for (DbLinkNode *n = all; n; n = n->next) {
    int more = (int)strlen(n->data) + n->valueLength + 3;
    text = AdjustMem(text, length + more);
    length += snprintf(text + length, (size_t)more + 1, "%s: %s\n", n->data, n->value);
  }
  DbmFreeDbLinkList(all);
  printf("\nQueues in %s:\n%s", db->name, text ? text : "(none)\n");
  PutMem(text);
}

int main(int argc, char **argv) {
  my_name = "queuedb";
  if (argc < 2 || argc > 3 || argv[1][0] == '-') {
    fprintf(stderr, "usage: %s DBFILE [name:note;name:note...]\n", my_name);
    return 2;
  }
  /* The menu's texts: the installed catalogue of the language LANG selects. */
  pToolPath = SaveStr_(ORVELVP_DATA_DIR);
  pDrvCoreDB = NlsOpenDB("CoreString", 0);

  db = DbTOpenFile(argv[1], 0);
  if (!db || db->unreadable) {
    fprintf(stderr, "%s: %s: cannot read the database\n", my_name, argv[1]);
    return 1;
  }
  if (argc == 3) StoreList(argv[2]);
  RunQueueMenu();
  ListQueues();
  DbTClose(db);
  if (pDrvCoreDB) DbTClose(pDrvCoreDB);
  PutMem(pToolPath);
  pToolPath = NULL;
  return status;
}

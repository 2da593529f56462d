/* helpview: shows a help file as the terminal help does.
 *
 * Usage: helpview [-d] FILE [PAGE]. On a terminal, helpview FILE runs the help menu over
 * FILE (FILE#anchor starts at that anchor): the page text, its links as numbered items,
 * and Exit Help, Contents and Back. With -d, with PAGE, or when standard output is not a
 * terminal it prints instead: the page PAGE (a number from 1, or a page name) of FILE, or
 * every page with a form feed between pages, each followed by the targets of its links,
 * numbered in order ("[1] target"); FILE#anchor prints the page of that anchor.
 * Exit status: 0 done, 1 the file or the page cannot be had (or end of input in the menu),
 * 2 wrong usage. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "HelpTty.h"
#include "NlsUtils.h"
#include "html.h"
#include "toolpath.h"
#include "utils.h"

namespace {

constexpr char kUsage[] =
    "usage: helpview [-d] FILE [PAGE]\n"
    "On a terminal, shows the help file FILE as the terminal help: a menu of its page\n"
    "with the links as numbered items, e (Exit Help), c (Contents) and b (Back).\n"
    "With -d, with PAGE or when the output is not a terminal, prints FILE as the help\n"
    "shows it: every page, separated by a form feed, or only PAGE (a number from 1, or\n"
    "the name given by page=\"...\"). FILE#NAME starts at (prints) the page named NAME or\n"
    "holding the anchor NAME. Each printed page ends with the targets of its links,\n"
    "numbered as the help menu numbers them: [1] target.\n";

/* Prints the page's text and the targets of its links. */
void PrintPage(const HtmlPage *page) {
  fwrite(page->image ? page->image : "", 1, page->image ? static_cast<size_t>(page->length) : 0,
         stdout);
  int number = 0;
  for (const ListNode *n = page->links.first; n; n = n->next) {
    const HtmlLink *link = *static_cast<HtmlLink *const *>(n->item);
    if (!link || link->kind != 2) continue;
    if (number == 0) fputs("\n", stdout);
    printf("[%i] %s\n", ++number, link->target ? link->target : "");
  }
}

/* The page numbered (from 1) or named by which, or null. */
HtmlPage *FindPage(HtmlFile *file, const char *which) {
  char *end = nullptr;
  long number = strtol(which, &end, 10);
  bool numeric = *which >= '0' && *which <= '9' && *end == '\0';
  long i = 0;
  for (ListNode *n = file->pages.first; n; n = n->next) {
    HtmlPage *page = static_cast<HtmlPage *>(n->item);
    if (numeric ? ++i == number : page->name && strcmp(page->name, which) == 0) return page;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char **argv) {
  my_name = const_cast<char *>("helpview");
  SetToolDataPath(argv[0]); /* the catalogues: beside the program or installed */
  if (argc == 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
    fputs(kUsage, stdout);
    return 0;
  }
  const bool dump = argc > 1 && strcmp(argv[1], "-d") == 0;
  if (dump) {
    --argc;
    ++argv;
  }
  if (argc < 2 || argc > 3 || argv[1][0] == '-') {
    fputs(kUsage, stderr);
    return 2;
  }
  const char *name = argv[1];
  HtmlFile *file = ParseHtmlFile(name, nullptr);
  if (!file) {
    fprintf(stderr, "Error in reading HTML file %s\n", name);
    return 1;
  }
  if (!dump && argc == 2 && isatty(STDOUT_FILENO)) {
    pDrvCoreDB = NlsOpenDB("CoreString", 0);
    TtyHtmlHelp(name, nullptr, "Help");
    if (pDrvCoreDB) DbTClose(pDrvCoreDB);
    return 0;
  }
  if (argc == 3) {
    HtmlPage *page = FindPage(file, argv[2]);
    if (!page) {
      fprintf(stderr, "helpview: %s has no page %s (pages are numbered from 1)\n", name, argv[2]);
      return 1;
    }
    PrintPage(page);
  } else if (strchr(name, '#')) {
    PrintPage(pCurrentPage);
  } else {
    for (ListNode *n = file->pages.first; n; n = n->next) {
      if (n != file->pages.first) fputs("\f", stdout);
      PrintPage(static_cast<HtmlPage *>(n->item));
    }
  }
  return fflush(stdout) == 0 ? 0 : 1;
}

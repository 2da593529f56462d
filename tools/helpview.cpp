/* helpview: prints a help file's pages as the terminal help lays them out.
 *
 * Usage: helpview FILE [PAGE]. Prints the page PAGE (a number from 1, or a page name) of
 * FILE, or every page with a form feed between pages, each followed by the targets of its
 * links, numbered in order ("[1] target"). FILE#anchor prints the page of that anchor.
 * Exit status: 0 done, 1 the file or the page cannot be had, 2 wrong usage. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "html.h"
#include "utils.h"

namespace {

constexpr char kUsage[] =
    "usage: helpview FILE [PAGE]\n"
    "Prints the help file FILE as the terminal help shows it: every page, separated by a\n"
    "form feed, or only PAGE (a number from 1, or the name given by page=\"...\"). FILE#NAME\n"
    "prints the page named NAME or holding the anchor NAME. Each page ends with the\n"
    "targets of its links, numbered as the help menu numbers them: [1] target.\n";

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
  pToolPath = GetToolPath(argv[0]);
  if (argc == 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
    fputs(kUsage, stdout);
    return 0;
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

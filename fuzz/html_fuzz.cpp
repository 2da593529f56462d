/* Fuzz target of the help: the input is a help file's text (up to its first NUL), loaded
 * with ParseHtmlFile, every page laid out with PrintTextImage. Checks that each page text
 * has the length and line count its page records and that every link lies inside it. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "html.h"
#include "html_internal.h"
#include "utils.h"

namespace {

void CheckPage(HtmlFile *file, HtmlPage *page) {
  pCurrentPage = page;
  const char *text = PrintTextImage(file);
  if (!text || text != page->image) abort();
  if (strlen(text) != static_cast<size_t>(page->length)) abort();
  int lines = 0;
  for (const char *p = text; *p; ++p) lines += *p == '\n';
  if (lines < page->lines || (page->length > 0 && text[page->length - 1] != '\n')) abort();
  for (const ListNode *n = page->links.first; n; n = n->next) {
    const HtmlLink *link = *static_cast<HtmlLink *const *>(n->item);
    if (!link || link->start < 0 || link->start > link->end || link->end > page->length ||
        link->length != link->end - link->start) {
      abort();
    }
    /* An href link starts with its "<" (unless the page ran out of room for its text). */
    if (link->kind == 2 && link->length > 0 && page->length < (8 << 20) &&
        text[link->start] != '<') {
      abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  my_name = const_cast<char *>("html_fuzz");
  std::string content(reinterpret_cast<const char *>(data), size);
  HtmlResetState();
  HtmlFile *file = ParseHtmlFile("fuzz.htm#a", content.c_str());
  if (file) {
    for (ListNode *n = file->pages.first; n; n = n->next) {
      CheckPage(file, static_cast<HtmlPage *>(n->item));
    }
    if (ParseHtmlFile("fuzz.htm", nullptr) != file) abort(); /* served from the table */
  }
  HtmlResetState();
  return 0;
}

/* Help navigation: opening a help session, following links and anchors between pages and
 * files, and the history behind Back and Contents. */
#include <stdio.h>
#include <string.h>

#include <string>

#include "html.h"

HtmlHistory History[HTML_HISTORY_SIZE];
int HistoryI = 0;
int TargetPos = 0;
char flBuildingFile = 0;

namespace {

/* Slot of the file the help session opened: Contents goes to its first page. */
int gSessionFile = 0;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

/* True when text starts with the lower-case word, compared without case. */
bool StartsNoCase(const char *text, const char *word) {
  for (; *word; ++text, ++word) {
    if (Lower(*text) != *word) return false;
  }
  return true;
}

/* The loaded file in slot, or null. */
HtmlFile *FileAt(int slot) {
  return slot >= 0 && slot < FileIndex && slot < HTML_MAX_FILES ? aFile[slot] : nullptr;
}

void Push(int file, HtmlPage *page, int targetPos) {
  if (HistoryI < 0) HistoryI = 0;
  if (HistoryI >= HTML_HISTORY_SIZE) return;
  History[HistoryI++] = HtmlHistory{file, page, targetPos};
}

/* The offset of the anchor after the first "#" of name when it lies on the current page of
 * file; 0 otherwise. */
int AnchorOffset(HtmlFile *file, const char *name) {
  const char *hash = strchr(name, '#');
  int offset = 0;
  if (hash && hash[1] && HtmlFindTarget(file, hash + 1, &offset) == pCurrentPage) return offset;
  return 0;
}

/* The file part of a link target as a name to load: "file://" dropped, and a relative name
 * read from the directory of the file in view, so that a help opened by a full path can
 * follow links to files beside it. "http://" names stay as they are (they are refused). */
std::string FileName(const std::string &part) {
  if (StartsNoCase(part.c_str(), "http://")) return part;
  std::string name = StartsNoCase(part.c_str(), "file://") ? part.substr(7) : part;
  const HtmlFile *current = FileAt(CurrentFile);
  if (name.empty() || name[0] == '/' || !current || !current->name) return name;
  const char *slash = strrchr(current->name, '/');
  if (!slash) return name;
  return std::string(current->name, static_cast<size_t>(slash - current->name) + 1) + name;
}

/* ProcessLink while flBuildingFile is set. */
int Follow(const HtmlLink *link) {
  const char *target = link->target;
  if (!*target) return 1; /* href="" is the page in view */
  /* A name anchor is a place of the current file, as "#name" is. */
  if (link->kind == 1 || target[0] == '#') {
    GoToTarget(target);
    return 1;
  }
  const char *hash = strchr(target, '#');
  const std::string part = hash ? std::string(target, static_cast<size_t>(hash - target)) : target;
  const std::string name = FileName(part);
  const HtmlFile *current = FileAt(CurrentFile);
  if (hash && current && current->name && name == current->name) {
    GoToTarget(hash + 1);
    return 1;
  }

  const int oldFile = CurrentFile, oldPos = TargetPos;
  HtmlPage *const oldPage = pCurrentPage;
  const std::string full = hash ? name + hash : name;
  HtmlFile *file = ParseHtmlFile(full.c_str(), nullptr);
  if (!file) {
    CurrentFile = oldFile;
    pCurrentPage = oldPage;
    printf("Error in reading file %s\n", target);
    return 0;
  }
  TargetPos = AnchorOffset(file, full.c_str());
  /* Another file or page is a step that Back returns from. */
  if (pCurrentPage != oldPage) Push(oldFile, oldPage, oldPos);
  return 1;
}

}  // namespace

int HtmlHelp(const char *path, const char *content) {
  if (!path) return 0;
  HistoryI = 0;
  flBuildingFile = 1;
  HtmlFile *file = ParseHtmlFile(path, content);
  flBuildingFile = 0;
  if (!file) {
    if (content)
      fputs("Error reading HTML buffer\n", stdout);
    else
      printf("Error in reading HTML file %s\n", path);
    return 0;
  }
  gSessionFile = CurrentFile;
  TargetPos = AnchorOffset(file, path);
  return 1;
}

int ProcessLink(const HtmlLink *link) {
  if (!link || !link->target) return 1; /* an a tag without name or href leads nowhere */
  flBuildingFile = 1;
  int result = Follow(link);
  flBuildingFile = 0;
  return result;
}

int GoToTarget(const char *target) {
  HtmlFile *file = FileAt(CurrentFile);
  if (!file || !target) return 0;
  if (*target == '#') ++target;
  int offset = 0;
  HtmlPage *page = HtmlFindTarget(file, target, &offset);
  if (!page) return 0;
  SetHistory(0);
  pCurrentPage = page;
  TargetPos = offset;
  return 1;
}

int SetHistory(int) {
  if (HistoryI >= HTML_HISTORY_SIZE) return 0;
  Push(CurrentFile, pCurrentPage, TargetPos);
  return 1;
}

int HtmlSetHistory(int mode) {
  if (mode == 0) {
    HtmlFile *file = FileAt(gSessionFile);
    if (!file || !file->pages.first) return 0;
    HtmlPage *contents = static_cast<HtmlPage *>(file->pages.first->item);
    if (HistoryI <= 0 && CurrentFile == gSessionFile && pCurrentPage == contents) return 0;
    HistoryI = 0;
    CurrentFile = gSessionFile;
    pCurrentPage = contents;
    TargetPos = 0;
    return 1;
  }
  if (mode != -1) return 0;
  while (HistoryI > 0) {
    const HtmlHistory &entry = History[--HistoryI];
    if (!FileAt(entry.file) || !entry.page) continue;
    CurrentFile = entry.file;
    pCurrentPage = entry.page;
    return 1;
  }
  return 0;
}

int HtmlProcessLink(int position) {
  if (flBuildingFile || FileIndex == 0 || !pCurrentPage) return position;
  for (ListNode *n = pCurrentPage->links.first; n; n = n->next) {
    const HtmlLink *link = *static_cast<HtmlLink **>(n->item);
    if (link && link->kind == 2 && link->start <= position && position < link->end) {
      TargetPos = position;
      ProcessLink(link);
      break;
    }
  }
  return position;
}

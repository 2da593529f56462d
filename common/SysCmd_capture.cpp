/* Output capture: runs a command-table row through a pipe and hands its standard output
 * back as a list of lines or as one managed string, optionally keeping only the lines that
 * contain a pattern.
 *
 * The command line runs as built: no redirection, no log line, no progress dot and no settle
 * time. Callers that want standard error as well add " 2>&1" to their arguments.
 */
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "MemMgr.h"
#include "SysCmd.h"

namespace {

constexpr int kCmdLineSize = 4096; /* the whole command line, NUL included */
constexpr int kPieceSize = 4096;   /* one read: at most 4095 characters of a line */
constexpr int kSpareBytes = 4;     /* kept after each captured text's NUL */

/* Builds the command line of row index with the formatted arguments and opens a pipe on
 * it. Returns the pipe, or null when the index is outside the table, the line does not fit
 * its buffer (a cut command line could run another command) or popen fails. An unresolvable
 * row ends the program with status 0. */
FILE *OpenCmdPipe(int index, const char *fmt, va_list ap) {
  if (index < 0 || index > CMD_LAST) return nullptr;

  SysCommand &row = ComList[index];
  if (index >= 2 && flInitSysCmd && row.dir == nullptr) FillCmdPath(index);

  char line[kCmdLineSize];
  int used = 0;
  if (index >= 2) {
    if (row.dir == nullptr) {
      fprintf(stderr, "ERROR: unable to locate system command '%s'\n", row.name);
      exit(0);
    }
    used = snprintf(line, sizeof line, "%s/%s %s ", row.dir, row.name,
                    row.flags != nullptr ? row.flags : "");
    if (used < 0 || used >= kCmdLineSize) return nullptr;
  } else {
    line[0] = '\0';
  }
  if (fmt != nullptr) {
    int added = vsnprintf(line + used, sizeof line - used, fmt, ap);
    if (added < 0 || added >= kCmdLineSize - used) return nullptr;
  }

  /* Pending output would otherwise be interleaved after the command's own. */
  fflush(stdout);
  return popen(line, "r");
}

/* True when piece passes the filter: a null or empty pattern keeps everything. */
bool Keep(const char *piece, const char *pattern) {
  return pattern == nullptr || pattern[0] == '\0' || strstr(piece, pattern) != nullptr;
}

/* Reads the pipe piece by piece (a line longer than 4095 characters comes as several
 * pieces) and hands every kept piece and its length to take. Closes the pipe. */
template <typename Take>
void ReadPieces(FILE *pipe, const char *pattern, Take take) {
  char piece[kPieceSize];
  while (fgets(piece, sizeof piece, pipe) != nullptr) {
    int length = static_cast<int>(strlen(piece));
    if (length == 0) continue; /* a NUL byte at the start of a read: nothing usable */
    if (Keep(piece, pattern)) take(piece, length);
  }
  pclose(pipe); /* the command's status is not examined */
}

}  // namespace

extern "C" {

/* Returns the first captured line, or null when nothing was kept; the caller releases the
 * list with FreeResponseList. Lines that cannot be allocated are dropped. */
ResponseLine *GetCmdResponse(int index, const char *pattern, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  FILE *pipe = OpenCmdPipe(index, fmt, ap);
  va_end(ap);
  if (pipe == nullptr) return nullptr;

  ResponseLine *head = nullptr;
  ResponseLine *tail = nullptr;
  ReadPieces(pipe, pattern, [&](const char *piece, int length) {
    /* One block: the two pointers, the text, its NUL and the spare bytes. */
    int size = static_cast<int>(sizeof(ResponseLine)) + length + 1 + kSpareBytes;
    auto *record = static_cast<ResponseLine *>(GetMem(size));
    if (record == nullptr) return;
    record->next = nullptr;
    record->str = reinterpret_cast<char *>(record + 1);
    memcpy(record->str, piece, length);
    record->str[length] = '\0';
    if (tail == nullptr)
      head = record;
    else
      tail->next = record;
    tail = record;
  });
  return head;
}

/* Returns the kept lines as one managed string (caller's, PutMem), every line ending in a
 * newline, or null when nothing was kept. */
char *GetCmdResponseStr(int index, const char *pattern, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  FILE *pipe = OpenCmdPipe(index, fmt, ap);
  va_end(ap);
  if (pipe == nullptr) return nullptr;

  char *text = nullptr;
  int textLength = 0;
  ReadPieces(pipe, pattern, [&](const char *piece, int length) {
    /* Room for the piece, a newline it may lack and the NUL. */
    if (length > 0x7fffffff - 2 - textLength) return;
    auto *grown = static_cast<char *>(AdjustMem(text, textLength + length + 2));
    if (grown == nullptr) return; /* out of memory: the piece is dropped */
    text = grown;
    memcpy(text + textLength, piece, length);
    textLength += length;
    if (piece[length - 1] != '\n') text[textLength++] = '\n';
    text[textLength] = '\0';
  });
  return text;
}

/* Releases every record of list; a null list is accepted. Returns list, no longer valid. */
ResponseLine *FreeResponseList(ResponseLine *list) {
  ResponseLine *record = list;
  while (record != nullptr) {
    ResponseLine *next = record->next;
    PutMem(record);
    record = next;
  }
  return list;
}

}  // extern "C"

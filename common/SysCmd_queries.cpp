/* Host queries built on the output capture: process identifiers of a program, free space
 * and sizes of file systems and directories, installed packages, and the forced end of a
 * program's processes.
 *
 * The process and package lists are keyword lists " a b c " assembled in the shared buffer
 * Line and handed back as managed copies. Paths are passed to df and du quoted for the
 * shell, so a blank or a shell character in a path cannot split it or run anything else.
 */
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/types.h>
#include <unistd.h>

#include <string_view>

#include "MemMgr.h"
#include "SysCmd.h"

namespace {

constexpr std::string_view kBlanks = " \t\n";
constexpr int kArgSize = 4096; /* a joined path handed to du: never longer than a command line */
constexpr int kProgramsSize = 512; /* copy of the program list, NUL included */
constexpr int kReportSize = 1024;  /* running-program report, NUL included */
constexpr int kPathSize = 512;     /* directory being walked up by AvailSpace */

/* The n-th field (1-based) of text split on blanks, tabs and newlines; empty when absent. */
std::string_view Field(std::string_view text, int n) {
  size_t pos = 0;
  for (int i = 1;; ++i) {
    pos = text.find_first_not_of(kBlanks, pos);
    if (pos == std::string_view::npos) return {};
    size_t end = text.find_first_of(kBlanks, pos);
    if (end == std::string_view::npos) end = text.size();
    if (i == n) return text.substr(pos, end - pos);
    pos = end;
  }
}

/* Appends " " and word to Line (length *used) when the word and the closing blank still fit;
 * a word that does not fit is left out whole, never cut. */
void AppendWord(size_t *used, std::string_view word) {
  if (word.empty() || *used + 1 + word.size() + 2 > LINE_SIZE) return;
  Line[(*used)++] = ' ';
  memcpy(Line + *used, word.data(), word.size());
  *used += word.size();
  Line[*used] = '\0';
}

/* Closes the keyword list in Line and returns a managed copy, or null when it is empty. */
char *FinishList(size_t used) {
  if (used == 0) return nullptr;
  Line[used++] = ' ';
  Line[used] = '\0';
  return SaveStr_(Line);
}

/* du -s of path: the number that starts its first output line, 0 when there is none. */
double DuSize(const char *path) {
  char *quoted = QuoteWord(path, QUOTE_SHELL);
  ResponseLine *list = GetCmdResponse(CMD_DU, nullptr, "%s", quoted);
  PutMem(quoted);
  if (list == nullptr) return 0;
  double size = strtod(list->str, nullptr);
  FreeResponseList(list);
  return size;
}

}  // namespace

extern "C" {

/* Managed " pid1 pid2 " (caller's, PutMem) of the processes whose command column is exactly
 * program, or null. Overwrites Line. */
char *GetSysPsIdList(const char *program) {
  Line[0] = '\0';
  if (program == nullptr) return nullptr;
  ResponseLine *list = GetCmdResponse(CMD_PS, program, "%s", "");
  size_t used = 0;
  for (ResponseLine *row = list; row != nullptr; row = row->next) {
    /* Columns of ps -e: PID TTY TIME CMD. */
    if (Field(row->str, 4) == program) AppendWord(&used, Field(row->str, 1));
  }
  FreeResponseList(list);
  return FinishList(used);
}

/* Managed report (caller's, PutMem) with "name ( pids )\n" for every program of the comma
 * list that runs, or null when none does. Names beyond the 511 characters the list may hold
 * are ignored, never used cut. A line that no longer fits the 1023-character report is left
 * out; the report is still returned, since that program does run. */
char *CheckProcTableForExecs(const char *programs) {
  if (programs == nullptr) return nullptr;
  std::string_view names(programs);
  if (names.size() >= kProgramsSize) {
    /* Keep whole names only: cut before the name the limit would split. */
    bool boundary = names[kProgramsSize - 1] == ',';
    names = names.substr(0, kProgramsSize - 1);
    if (!boundary) {
      size_t comma = names.rfind(',');
      names = comma == std::string_view::npos ? std::string_view() : names.substr(0, comma);
    }
  }

  char report[kReportSize];
  size_t used = 0;
  report[0] = '\0';
  bool running = false;
  while (!names.empty()) {
    size_t comma = names.find(',');
    std::string_view name = names.substr(0, comma);
    names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
    if (name.empty()) continue;

    char program[kProgramsSize];
    memcpy(program, name.data(), name.size());
    program[name.size()] = '\0';
    char *ids = GetSysPsIdList(program);
    if (ids == nullptr) continue;
    running = true;
    int length = snprintf(report + used, sizeof report - used, "%s (%s)\n", program, ids);
    if (length >= 0 && static_cast<size_t>(length) < sizeof report - used)
      used += length;
    else
      report[used] = '\0'; /* did not fit: drop the partial line */
    PutMem(ids);
  }
  return running ? SaveStr_(report) : nullptr;
}

/* Sends signal 9 to every process of program, stopping at the first one this user may not
 * signal, then sleeps one second. Returns 0. */
int KillProcessByName(const char *program) {
  char *ids = GetSysPsIdList(program);
  if (ids != nullptr) {
    std::string_view rest(ids);
    for (int n = 1;; ++n) {
      std::string_view id = Field(rest, n);
      if (id.empty()) break;
      /* Only a plain positive number is a process: 0 or a negative value would signal a
       * whole process group or every process. */
      char digits[32];
      if (id.size() >= sizeof digits) continue;
      memcpy(digits, id.data(), id.size());
      digits[id.size()] = '\0';
      char *end = nullptr;
      long pid = strtol(digits, &end, 10);
      if (*end != '\0' || pid <= 0 || static_cast<pid_t>(pid) != pid) continue;
      if (kill(static_cast<pid_t>(pid), SIGKILL) != 0 && errno == EPERM) break;
    }
    PutMem(ids);
  }
  sleep(1);
  return 0;
}

/* Fills record from df for the file system holding path. Returns 1 when the header has an
 * "avail" column and the data line either is absent (avail stays 0) or has that field. */
int GetDiskSpace(const char *path, DiskSpace *record) {
  if (record == nullptr) return 0;
  record->avail = 0;
  if (path == nullptr) return 0;
  char *quoted = QuoteWord(path, QUOTE_SHELL);
  ResponseLine *list = GetCmdResponse(CMD_DF, nullptr, "%s", quoted);
  PutMem(quoted);
  if (list == nullptr) return 0;

  /* Position of the first header field that begins with "avail", in any case. */
  int column = 0;
  for (int n = 1;; ++n) {
    std::string_view field = Field(list->str, n);
    if (field.empty()) break;
    if (field.size() >= 5 && strncasecmp(field.data(), "avail", 5) == 0) {
      column = n;
      break;
    }
  }

  int found = 0;
  if (column != 0) {
    ResponseLine *data = list->next;
    if (data == nullptr) {
      found = 1; /* the header alone counts as an answer */
    } else {
      snprintf(record->text, sizeof record->text, "%s", data->str);
      std::string_view field = Field(data->str, column);
      if (!field.empty()) {
        record->avail = strtod(field.data(), nullptr);
        found = 1;
      }
    }
  }
  FreeResponseList(list);
  return found;
}

/* The size du -s reports for path (its first number), 0 when it prints nothing. */
double DUPath(const char *path) {
  if (path == nullptr) return 0;
  return DuSize(path);
}

/* 1 when the file system holding dir (or, while dir does not exist, its nearest existing
 * ancestor) has at least needed free, counting an existing dir/name as free. */
int AvailSpace(const char *dir, const char *name, double needed) {
  if (dir == nullptr) return 0;
  char current[kPathSize];
  int length = snprintf(current, sizeof current, "%s", dir);
  if (length < 0 || length >= kPathSize) return 0;

  DiskSpace space;
  if (name != nullptr && name[0] != '\0' && FindFile(current, name)) {
    char target[kArgSize];
    length = snprintf(target, sizeof target, "%s/%s", current, name);
    if (length < 0 || length >= kArgSize) return 0;
    double taken = DuSize(target);
    GetDiskSpace(current, &space);
    return space.avail + taken >= needed;
  }

  for (;;) {
    if (GetDiskSpace(current, &space)) return space.avail >= needed;
    /* Walk up; stop at "/" or "." (their parents are themselves) and accept only a real
     * ancestor, so the walk always ends. */
    const char *parent = StripFn(current);
    char longParent[kPathSize];
    if (parent[0] == '\0') {
      /* Too long for StripFn's buffer: cut at the last slash here, by the same rule. */
      const char *slash = strrchr(current, '/');
      size_t keep = slash == nullptr ? 0 : (slash == current ? 1 : slash - current);
      if (keep == 0) return 0;
      memcpy(longParent, current, keep);
      longParent[keep] = '\0';
      parent = longParent;
    }
    size_t parentLength = strlen(parent);
    bool dot = strcmp(parent, ".") == 0 && current[0] != '/';
    bool ancestor = parentLength < strlen(current) && strncmp(parent, current, parentLength) == 0;
    if (strcmp(parent, current) == 0 || !(dot || ancestor)) return 0;
    snprintf(current, sizeof current, "%s", parent);
  }
}

/* Managed " pkg1 pkg2 " (caller's, PutMem) of the package names on the pkginfo lines that
 * contain pattern, or null. Overwrites Line. */
char *GetSysPkgList(const char *pattern) {
  Line[0] = '\0';
  ResponseLine *list = GetCmdResponse(CMD_PKGINFO, pattern, "%s", "");
  size_t used = 0;
  /* pkginfo columns: category, package instance, description. */
  for (ResponseLine *row = list; row != nullptr; row = row->next)
    AppendWord(&used, Field(row->str, 2));
  FreeResponseList(list);
  return FinishList(used);
}

/* Placeholder kept for the suite's other tools; returns x. */
int SysGetSubnetMask(int x) { return x; }

}  // extern "C"

// Media staging: the medium's list names the files to copy into the work directory; the
// archive pieces among them ("pkg_tar.*") are joined in list order into one compressed
// archive. Media that keep only upper-case names carry the list as "DISKS".
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "SysCmd.h"
#include "setup.h"

namespace {

constexpr const char *kEndOfList = "end_of_list";
constexpr size_t kEndLen = 11;

// Upper-cases the list up to the marker; the marker and what follows stay as written.
void upcaseList(char *text) {
  for (char *p = text; *p; p++) {
    if (strncmp(p, kEndOfList, kEndLen) == 0) break;
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');  // ASCII only
  }
}

bool isPiece(const char *name) {
  return strncmp(name, "pkg_tar.", 8) == 0 || strncmp(name, "PKG_TAR.", 8) == 0;
}

// Only the first 4095 bytes of a list count. When the list is longer, the name that
// crosses that point was cut and could name another file: it is dropped.
void dropCutName(const char *dir, const char *listName) {
  char *path = SaveStr("%s/%s", dir, listName);
  int size = GetFileSize(path);
  PutMem(path);
  if (size < LINEBUF_SIZE) return;
  char *end = LineBuf + strlen(LineBuf);
  while (end > LineBuf && !strchr(" \t\r\n", end[-1])) end--;
  if (*end)
    PutLogMsg("WARNING_MSG: %s/%s is longer than %d bytes; ignored from \"%s\"\n", dir, listName,
              LINEBUF_SIZE - 1, end);
  *end = '\0';
}

}  // namespace

const char *GetDisksData(const char *dir) {
  const char *listName = "disks";
  if (!GetFileContent(dir, listName)) {
    listName = "DISKS";
    if (!GetFileContent(dir, listName)) ErrorMsg(2, 1, nlsSetupStrCvt(21), MAKER_DIR);
    upcaseList(LineBuf);
  }
  dropCutName(dir, listName);
  return dir;
}

void forEachListedFile(char *list, ListedNameFn fn, void *arg) {
  char *lineState = NULL;
  for (char *line = strtok_r(list, "\n\r", &lineState); line;
       line = strtok_r(NULL, "\n\r", &lineState)) {
    if (strcmp(line, kEndOfList) == 0) break;
    char *nameState = NULL;
    for (char *name = strtok_r(line, " \t\r\n", &nameState); name;
         name = strtok_r(NULL, " \t\r\n", &nameState)) {
      if (strcmp(name, kEndOfList) == 0) break;
      fn(name, arg);
    }
  }
}

void forEachListedPiece(char *list, ListedNameFn fn, void *arg) {
  char *state = NULL;
  for (char *name = strtok_r(list, " \n\r", &state); name; name = strtok_r(NULL, " \n\r", &state)) {
    if (strcmp(name, kEndOfList) == 0) break;
    if (isPiece(name)) fn(name, arg);
  }
}

// Names are taken whole (they are file names on the medium, never cut to a buffer) and reach
// cp as names, whatever the medium's path and the names hold.
void copyMediaFiles(void) {
  GetDisksData(pPathToSetup);
  forEachListedFile(
      LineBuf,
      [](const char *name, void *) {
        SysCmd(CMD_CP, LOG_FATAL, "%s %s", Quoted(QUOTE_SYSCMD, "%s/%s", pPathToSetup, name).str,
               Quoted(QUOTE_SYSCMD, "%s", pOrvelInstallDir).str);
      },
      NULL);
}

// Pieces listed but missing in the work directory are skipped.
void genZFile(void) {
  if (chdir(pOrvelInstallDir) != 0) {
    ErrorMsg(2, 1, "cannot change to the work directory %s: %s", pOrvelInstallDir, strerror(errno));
  }
  GetDisksData(pOrvelInstallDir);
  forEachListedPiece(
      LineBuf,
      [](const char *name, void *) {
        if (!FindFile(pOrvelInstallDir, name)) return;
        SysCmd(-CMD_CAT, LOG_FATAL, "%s >> %s",
               Quoted(QUOTE_SYSCMD, "%s/%s", pOrvelInstallDir, name).str,
               Quoted(QUOTE_SYSCMD, "%s/%s.tar.Z", pOrvelInstallDir, ARCHIVE_BASE).str);
      },
      NULL);
}
